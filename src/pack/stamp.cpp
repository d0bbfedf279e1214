#include "pack/stamp.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <random>
#include <system_error>

#include "core/embedded_info.h"
#include "pack/information_block.h"
#include "pack/pending_output.h"
#include "pack/text.h"
#include "pe/certificate_table.h"
#include "pe/der.h"
#include "pe/der_writer.h"
#include "pe/image.h"
#include "pe/signed_data.h"

namespace lantern::pack {
namespace {

constexpr std::size_t kEntryHeaderSize = 8;
// Enough to find a length that is a multiple of 8 whatever the lengths'
// own lengths do as the zeros grow.
constexpr std::size_t kMostFiller = 64;
constexpr std::size_t kSpoolPiece = 1 << 20;

bool Seek(std::FILE* file, std::uint64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

std::uint64_t Tell(std::FILE* file) {
#ifdef _WIN32
  return static_cast<std::uint64_t>(_ftelli64(file));
#else
  return static_cast<std::uint64_t>(ftello(file));
#endif
}

bool IsRegularFile(std::FILE* file) {
#ifdef _WIN32
  // The C library takes a pipe for a file now and then; the system knows.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
#else
  struct stat status {};
  return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
#endif
}

// A stream the caller owns that is a file (the standard input redirected
// from one), read at any offset.
class StreamSource final : public pe::ByteSource {
 public:
  explicit StreamSource(std::FILE* file) : file_(file) {
    if (Seek(file_, 0, SEEK_END)) size_ = Tell(file_);
  }
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    if (out.empty()) return true;
    if (!Seek(file_, offset, SEEK_SET)) return false;
    return std::fread(out.data(), 1, out.size(), file_) == out.size();
  }

 private:
  std::FILE* file_;
  std::uint64_t size_ = 0;
};

// A stream the caller owns (the standard output), written in order.
class StreamSink final : public pe::ByteSink {
 public:
  explicit StreamSink(std::FILE* file) : file_(file) {}
  bool Write(std::span<const std::uint8_t> bytes) override {
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
  }
  bool WriteAt(std::uint64_t, std::span<const std::uint8_t>) override { return false; }
  bool Finish() { return std::fflush(file_) == 0 && std::ferror(file_) == 0; }

 private:
  std::FILE* file_;
};

// A temporary file the standard input is copied into, removed when done.
class Spool {
 public:
  Spool() {
    std::random_device random;
    const std::uint64_t tag = (std::uint64_t{random()} << 32) ^ random();
    std::error_code error;
    path_ = std::filesystem::temp_directory_path(error) / ("lantern-stamp-" + std::to_string(tag) + ".tmp");
  }
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;
  ~Spool() {
    source_.reset();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }

  pe::Result<std::shared_ptr<pe::ByteSource>> Fill(std::FILE* from) {
    {
      auto sink = pe::FileSink::Create(path_);
      if (!sink)
        return pe::Failure{"the standard input cannot be copied to a temporary file: " + sink.Message()};
      std::vector<std::uint8_t> buffer(kSpoolPiece);
      while (true) {
        const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), from);
        if (read != 0 && !sink.Value()->Write(std::span(buffer.data(), read))) {
          return pe::Failure{"the standard input cannot be copied to a temporary file"};
        }
        if (read < buffer.size()) break;
      }
      if (std::ferror(from)) return pe::Failure{"the standard input cannot be read"};
      pe::Status finished = sink.Value()->Finish();
      if (!finished) return pe::Failure{"the standard input cannot be copied to a temporary file"};
    }
    auto file = pe::FileSource::Open(path_);
    if (!file) return file.AsFailure();
    source_ = std::move(file).Value();
    return source_;
  }

 private:
  std::filesystem::path path_;
  std::shared_ptr<pe::ByteSource> source_;
};

// What is written, worked out before anything is.
struct Prepared {
  pe::Image image;
  pe::SignatureEntry entry;
  std::vector<std::uint8_t> pkcs7;
  bool replaced = false;
};

bool HoldsAttribute(std::span<const std::uint8_t> pkcs7) {
  const auto id = pe::der::ObjectIdContent(kStampedInformationAttribute);
  std::vector<std::uint8_t> encoded = pe::der::Encode(static_cast<std::uint8_t>(pe::der::kObjectId), *id);
  return std::search(pkcs7.begin(), pkcs7.end(), encoded.begin(), encoded.end()) != pkcs7.end();
}

pe::Result<Prepared> Prepare(pe::ByteSource& input, const std::string& named,
                             std::span<const std::uint8_t> block) {
  auto image = pe::ReadImage(input);
  if (!image) return pe::Failure{named + " is not a Windows program: " + image.Message()};
  auto entry = pe::ReadSignatureEntry(input, image.Value());
  if (!entry) return pe::Failure{named + ": " + entry.Message()};
  auto stamped = StampedSignature(entry->pkcs7, block);
  if (!stamped) return pe::Failure{named + ": " + stamped.Message()};
  Prepared prepared{std::move(image).Value(), std::move(entry).Value(), std::move(stamped).Value(), false};
  prepared.replaced = HoldsAttribute(prepared.entry.pkcs7);
  return prepared;
}

pe::Result<StampSummary> Write(pe::ByteSource& input, const Prepared& prepared, std::size_t block_size,
                               pe::ByteSink& output) {
  auto written = pe::WriteWithSignature(input, prepared.image, prepared.entry, prepared.pkcs7, output);
  if (!written) return written.AsFailure();
  StampSummary summary;
  summary.output_size = written->output_size;
  summary.information_size = block_size - sizeof kEmbeddedMarker - kEmbeddedTrailerSize;
  summary.replaced = prepared.replaced;
  return summary;
}

}  // namespace

pe::Result<std::vector<std::uint8_t>> StampedSignature(std::span<const std::uint8_t> pkcs7,
                                                       std::span<const std::uint8_t> block) {
  std::vector<std::uint8_t> content(block.begin(), block.end());
  for (std::size_t filler = 0; filler <= kMostFiller; ++filler) {
    const std::vector<std::uint8_t> value =
        pe::der::Encode(static_cast<std::uint8_t>(pe::der::kOctetString), content);
    auto stamped =
        pe::SetUnsignedAttribute(pkcs7, kStampedInformationAttribute, value, pe::SignerChoice::kLast);
    if (!stamped) return stamped.AsFailure();
    if (stamped->size() < block.size() ||
        !std::equal(block.begin(), block.end(), stamped->end() - static_cast<std::ptrdiff_t>(block.size()))) {
      return pe::Failure{"the block would not end the signature"};  // the signature's last signer ends it
    }
    if ((kEntryHeaderSize + stamped->size()) % 8 == 0) return stamped;
    content.insert(content.begin(), std::uint8_t{0});
  }
  return pe::Failure{"no length of the stamped signature is a multiple of 8"};  // cannot happen
}

pe::Result<StampSummary> Stamp(pe::ByteSource& input, const std::string& named,
                               std::span<const std::uint8_t> block, pe::ByteSink& output) {
  auto prepared = Prepare(input, named, block);
  if (!prepared) return prepared.AsFailure();
  return Write(input, prepared.Value(), block.size(), output);
}

pe::Result<StampSummary> StampFile(const StampOptions& options, std::FILE* standard_input,
                                   std::FILE* standard_output) {
  const bool from_stream = options.input == "-";
  const bool to_stream = options.output == "-";
  if (options.output.empty())
    return pe::Failure{"no output is named (-o <file>, or - for the standard output)"};
  auto block = InformationBlockFromFile(options.information, "the information file");
  if (!block) return block.AsFailure();
  std::error_code error;
  if (!to_stream && std::filesystem::is_directory(options.output, error)) {
    return pe::Failure{"the output '" + ShowPath(options.output) + "' is a folder"};
  }

  const std::string named =
      from_stream ? std::string("the standard input") : "the file '" + ShowPath(options.input) + "'";
  Spool spool;
  std::shared_ptr<pe::ByteSource> input;
  if (from_stream && IsRegularFile(standard_input)) {
    input = std::make_shared<StreamSource>(standard_input);
  } else if (from_stream) {
    auto spooled = spool.Fill(standard_input);
    if (!spooled) return spooled.AsFailure();
    input = std::move(spooled).Value();
  } else {
    if (!std::filesystem::is_regular_file(options.input, error))
      return pe::Failure{named + " does not exist"};
    auto file = pe::FileSource::Open(options.input);
    if (!file) return file.AsFailure();
    input = std::move(file).Value();
  }
  auto prepared = Prepare(*input, named, block.Value());
  if (!prepared) return prepared.AsFailure();

  if (to_stream) {
    StreamSink sink(standard_output);
    auto summary = Write(*input, prepared.Value(), block->size(), sink);
    if (summary && !sink.Finish()) return pe::Failure{"writing to the standard output failed"};
    return summary;
  }
  PendingOutput pending(options.output);
  pe::Result<StampSummary> summary = pe::Failure{""};
  {
    auto sink = pe::FileSink::Create(pending.Partial());
    if (!sink)
      return pe::Failure{"the output '" + ShowPath(options.output) +
                         "' cannot be written: " + sink.Message()};
    summary = Write(*input, prepared.Value(), block->size(), *sink.Value());
    pe::Status finished = sink.Value()->Finish();
    if (!summary)
      return pe::Failure{"writing '" + ShowPath(options.output) + "' failed: " + summary.Message()};
    if (!finished)
      return pe::Failure{"writing '" + ShowPath(options.output) + "' failed: " + finished.Message()};
  }
  // The input is closed first: it may be the file the output replaces.
  input.reset();
  pe::Status committed = pending.Commit();
  if (!committed) return committed.AsFailure();
  return summary;
}

}  // namespace lantern::pack
