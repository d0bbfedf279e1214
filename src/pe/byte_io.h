// Where an image's bytes come from and where a new image goes. Sources are
// read at any offset, a piece at a time, so a large file (a payload of a
// gigabyte, a bootstrapper that carries one) is never held in memory whole;
// sinks take the bytes in order and allow a few bytes already written to be
// set again (the checksum, known only at the end).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "pe/result.h"

namespace lantern::pe {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills `out` with the bytes from `offset` on. False when they are not all
  // there or cannot be read; `out` is then undefined.
  virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// Bytes held in memory, owned by the source.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::vector<std::uint8_t> bytes_;
};

// Bytes held in memory by the caller, who keeps them alive while the source is used.
class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// A range of another source: a resource of an image, a part of a file.
// Reading past the range fails even where the whole goes on.
class SliceSource final : public ByteSource {
 public:
  // The range must lie within `whole`; otherwise every read fails.
  SliceSource(std::shared_ptr<ByteSource> whole, std::uint64_t offset, std::uint64_t size)
      : whole_(std::move(whole)), offset_(offset), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::shared_ptr<ByteSource> whole_;
  std::uint64_t offset_;
  std::uint64_t size_;
};

// A file on disk, measured when it is opened. The file is opened again when
// it is first read and closed once its last byte has been read, so that a
// payload of many files holds only the one being written open.
class FileSource final : public ByteSource {
 public:
  static Result<std::shared_ptr<FileSource>> Open(const std::filesystem::path& path);

  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  const std::filesystem::path& Path() const { return path_; }

 private:
  FileSource(std::filesystem::path path, std::uint64_t size) : path_(std::move(path)), size_(size) {}

  std::filesystem::path path_;
  std::uint64_t size_;
  std::ifstream stream_;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends `bytes`. False when they cannot be written.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Writes `bytes` again over bytes already written, from `offset` on.
  virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
};

class MemorySink final : public ByteSink {
 public:
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;

  std::vector<std::uint8_t> bytes;
};

// A new file (an existing one is replaced). The caller decides where it goes:
// to write safely, write to a new name and rename it once Finish succeeds.
class FileSink final : public ByteSink {
 public:
  static Result<std::unique_ptr<FileSink>> Create(const std::filesystem::path& path);

  bool Write(std::span<const std::uint8_t> bytes) override;
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
  // Flushes and closes the file; whether every byte reached it.
  Status Finish();

 private:
  explicit FileSink(std::filesystem::path path) : path_(std::move(path)) {}

  std::filesystem::path path_;
  std::ofstream stream_;
};

}  // namespace lantern::pe
