#include "pe/byte_io.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>

namespace lantern::pe {
namespace {

bool InRange(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

bool CopyOut(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::span<std::uint8_t> out) {
  if (!InRange(offset, out.size(), bytes.size())) return false;
  if (!out.empty()) std::memcpy(out.data(), bytes.data() + offset, out.size());
  return true;
}

// A path as UTF-8 for a message; a name that does not convert is still shown.
std::string ShowPath(const std::filesystem::path& path) {
  try {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  } catch (...) {
    return "(a path that cannot be shown)";
  }
}

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  return CopyOut(bytes_, offset, out);
}

bool SpanSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  return CopyOut(bytes_, offset, out);
}

bool SliceSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (!whole_ || !InRange(offset, out.size(), size_)) return false;
  return whole_->ReadAt(offset_ + offset, out);
}

Result<std::shared_ptr<FileSource>> FileSource::Open(const std::filesystem::path& path) {
  std::error_code error;
  const bool regular = std::filesystem::is_regular_file(path, error);
  if (error || !regular) {
    return Failure{"cannot read " + ShowPath(path) + ": " + (error ? error.message() : "not a file")};
  }
  const std::uint64_t size = std::filesystem::file_size(path, error);
  if (error) return Failure{"cannot read " + ShowPath(path) + ": " + error.message()};
  std::ifstream probe(path, std::ios::binary);
  if (!probe) return Failure{"cannot open " + ShowPath(path)};
  return std::shared_ptr<FileSource>(new FileSource(path, size));
}

bool FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (!InRange(offset, out.size(), size_)) return false;
  if (out.empty()) return true;
  if (!stream_.is_open()) {
    stream_.open(path_, std::ios::binary);
    if (!stream_) return false;
  }
  stream_.clear();
  stream_.seekg(static_cast<std::streamoff>(offset));
  stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  const bool read = stream_.gcount() == static_cast<std::streamsize>(out.size());
  if (!read || offset + out.size() == size_) stream_.close();
  return read;
}

bool MemorySink::Write(std::span<const std::uint8_t> more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return true;
}

bool MemorySink::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> more) {
  if (!InRange(offset, more.size(), bytes.size())) return false;
  std::copy(more.begin(), more.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

Result<std::unique_ptr<FileSink>> FileSink::Create(const std::filesystem::path& path) {
  std::unique_ptr<FileSink> sink(new FileSink(path));
  sink->stream_.open(path, std::ios::binary | std::ios::trunc | std::ios::out);
  if (!sink->stream_) return Failure{"cannot create " + ShowPath(path)};
  return sink;
}

bool FileSink::Write(std::span<const std::uint8_t> more) {
  stream_.write(reinterpret_cast<const char*>(more.data()), static_cast<std::streamsize>(more.size()));
  return static_cast<bool>(stream_);
}

bool FileSink::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> more) {
  const std::streampos end = stream_.tellp();
  if (end < 0 || offset + more.size() > static_cast<std::uint64_t>(end)) return false;
  stream_.seekp(static_cast<std::streamoff>(offset));
  stream_.write(reinterpret_cast<const char*>(more.data()), static_cast<std::streamsize>(more.size()));
  stream_.seekp(end);
  return static_cast<bool>(stream_);
}

Status FileSink::Finish() {
  stream_.flush();
  const bool flushed = static_cast<bool>(stream_);
  stream_.close();
  if (!flushed || stream_.fail()) return Failure{"writing " + ShowPath(path_) + " failed"};
  return Done{};
}

}  // namespace lantern::pe
