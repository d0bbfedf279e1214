#include "pack/compress.h"

#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "core/payload_compression.h"

namespace lantern::pack {
namespace {

using pe::Done;
using pe::Failure;

struct EncoderFree {
  void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
struct DecoderFree {
  void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

constexpr std::size_t kReadPiece = 1 << 20;

// One file, read in pieces. Gives up as soon as the output reaches the
// file's size: it would be stored as it is anyway.
pe::Result<Compressed> CompressOne(pe::ByteSource& file) {
  const std::uint64_t size = file.Size();
  if (size == 0) return Compressed();
  const std::unique_ptr<ZSTD_CCtx, EncoderFree> encoder(ZSTD_createCCtx());
  if (!encoder) return Failure{"no memory to compress the payload"};
  const auto set = [&](ZSTD_cParameter parameter, int value) {
    return !ZSTD_isError(ZSTD_CCtx_setParameter(encoder.get(), parameter, value));
  };
  if (!set(ZSTD_c_compressionLevel, kCompressionLevel) || !set(ZSTD_c_windowLog, kCompressionWindowLog) ||
      !set(ZSTD_c_checksumFlag, 1) || !set(ZSTD_c_contentSizeFlag, 1) ||
      ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(encoder.get(), size))) {
    return Failure{"the compressor refuses its settings"};
  }
  std::vector<std::uint8_t> input(static_cast<std::size_t>(std::min<std::uint64_t>(size, kReadPiece)));
  std::vector<std::uint8_t> output(ZSTD_CStreamOutSize());
  std::vector<std::uint8_t> compressed;
  for (std::uint64_t done = 0; done < size;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), size - done));
    if (!file.ReadAt(done, std::span(input).first(piece))) return Failure{"a payload file cannot be read"};
    done += piece;
    const ZSTD_EndDirective mode = done == size ? ZSTD_e_end : ZSTD_e_continue;
    ZSTD_inBuffer in{input.data(), piece, 0};
    for (bool finished = false; !finished;) {
      ZSTD_outBuffer out{output.data(), output.size(), 0};
      const std::size_t left = ZSTD_compressStream2(encoder.get(), &out, &in, mode);
      if (ZSTD_isError(left)) return Failure{std::string("compression failed: ") + ZSTD_getErrorName(left)};
      compressed.insert(compressed.end(), output.begin(),
                        output.begin() + static_cast<std::ptrdiff_t>(out.pos));
      if (compressed.size() >= size) return Compressed();
      finished = mode == ZSTD_e_end ? left == 0 : in.pos == in.size;
    }
  }
  return Compressed(std::move(compressed));
}

}  // namespace

pe::Result<std::vector<Compressed>> CompressPayloadFiles(
    std::span<const std::shared_ptr<pe::ByteSource>> files) {
  std::vector<Compressed> results(files.size());
  std::vector<std::string> failures(files.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&]() {
    for (std::size_t i = next++; i < files.size(); i = next++) {
      auto compressed = CompressOne(*files[i]);
      if (compressed) {
        results[i] = std::move(compressed).Value();
      } else {
        failures[i] = compressed.Message();
      }
    }
  };
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < cores && i < files.size(); ++i) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  for (const std::string& failure : failures) {
    if (!failure.empty()) return Failure{failure};
  }
  return results;
}

std::optional<std::uint64_t> FrameContentSize(std::span<const std::uint8_t> bytes) {
  const unsigned long long size = ZSTD_getFrameContentSize(bytes.data(), bytes.size());
  if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR) return std::nullopt;
  return size;
}

pe::Status DecodePayloadFile(pe::ByteSource& file, std::uint64_t offset, std::uint64_t size,
                             std::uint64_t expected, pe::ByteSink& sink) {
  const std::unique_ptr<ZSTD_DCtx, DecoderFree> decoder(ZSTD_createDCtx());
  if (!decoder) return Failure{"no memory to decode the payload"};
  if (ZSTD_isError(ZSTD_DCtx_setParameter(decoder.get(), ZSTD_d_windowLogMax, kCompressionWindowLog))) {
    return Failure{"the decoder refuses its settings"};
  }
  std::vector<std::uint8_t> input(static_cast<std::size_t>(std::min<std::uint64_t>(size, kReadPiece)));
  std::vector<std::uint8_t> output(ZSTD_DStreamOutSize());
  std::uint64_t written = 0;
  std::size_t pending = 1;
  for (std::uint64_t done = 0; done < size;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), size - done));
    if (!file.ReadAt(offset + done, std::span(input).first(piece))) return Failure{"it cannot be read"};
    done += piece;
    ZSTD_inBuffer in{input.data(), piece, 0};
    for (bool more = true; more;) {
      ZSTD_outBuffer out{output.data(), output.size(), 0};
      pending = ZSTD_decompressStream(decoder.get(), &out, &in);
      if (ZSTD_isError(pending)) {
        return Failure{std::string("its compressed data cannot be decoded: ") + ZSTD_getErrorName(pending)};
      }
      written += out.pos;
      if (written > expected) return Failure{"it decodes to more bytes than the catalogue gives"};
      if (!sink.Write(std::span(output).first(out.pos))) return Failure{"it cannot be written"};
      more = in.pos < in.size || out.pos == out.size;
    }
  }
  if (size == 0 || pending != 0) return Failure{"its compressed data ends early"};
  if (written != expected) {
    return Failure{"it decodes to " + std::to_string(written) + " bytes, the catalogue says " +
                   std::to_string(expected)};
  }
  return Done{};
}

}  // namespace lantern::pack
