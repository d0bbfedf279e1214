#include "pack/compress.h"

// A dictionary of raw content needs the library's advanced interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <functional>
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
struct EncoderDictionaryFree {
  void operator()(ZSTD_CDict* dictionary) const { ZSTD_freeCDict(dictionary); }
};
struct ParametersFree {
  void operator()(ZSTD_CCtx_params* parameters) const { ZSTD_freeCCtxParams(parameters); }
};
using EncoderDictionary = std::unique_ptr<ZSTD_CDict, EncoderDictionaryFree>;

constexpr std::size_t kReadPiece = 1 << 20;

// One file, read in pieces, with the dictionary where one is given. Gives up
// as soon as the output reaches `limit` bytes (at most the file's size): it
// would not be used.
pe::Result<Compressed> CompressOne(pe::ByteSource& file, const ZSTD_CDict* dictionary, std::uint64_t limit) {
  const std::uint64_t size = file.Size();
  if (size == 0) return Compressed();
  limit = std::min(limit, size);
  const std::unique_ptr<ZSTD_CCtx, EncoderFree> encoder(ZSTD_createCCtx());
  if (!encoder) return Failure{"no memory to compress the payload"};
  const auto set = [&](ZSTD_cParameter parameter, int value) {
    return !ZSTD_isError(ZSTD_CCtx_setParameter(encoder.get(), parameter, value));
  };
  if (!set(ZSTD_c_compressionLevel, kCompressionLevel) || !set(ZSTD_c_windowLog, kCompressionWindowLog) ||
      !set(ZSTD_c_checksumFlag, 1) || !set(ZSTD_c_contentSizeFlag, 1) ||
      ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(encoder.get(), size)) ||
      (dictionary && ZSTD_isError(ZSTD_CCtx_refCDict(encoder.get(), dictionary)))) {
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
      if (compressed.size() >= limit) return Compressed();
      finished = mode == ZSTD_e_end ? left == 0 : in.pos == in.size;
    }
  }
  return Compressed(std::move(compressed));
}

// Runs `job` for every index below `count`, a few at a time on the machine's
// cores; the first failure in index order is the result.
pe::Status RunOnCores(std::size_t count, const std::function<pe::Status(std::size_t)>& job) {
  std::vector<std::string> failures(count);
  std::atomic<std::size_t> next{0};
  const auto work = [&]() {
    for (std::size_t i = next++; i < count; i = next++) {
      pe::Status done = job(i);
      if (!done) failures[i] = done.Message();
    }
  };
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < cores && i < count; ++i) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  for (const std::string& failure : failures) {
    if (!failure.empty()) return Failure{failure};
  }
  return Done{};
}

// Every file on its own, or with the dictionary, giving up on a file where
// the output reaches its limit.
pe::Result<std::vector<Compressed>> CompressAll(std::span<const std::shared_ptr<pe::ByteSource>> files,
                                                const ZSTD_CDict* dictionary,
                                                const std::vector<std::uint64_t>& limits) {
  std::vector<Compressed> results(files.size());
  pe::Status done = RunOnCores(files.size(), [&](std::size_t i) -> pe::Status {
    auto compressed = CompressOne(*files[i], dictionary, limits[i]);
    if (!compressed) return compressed.AsFailure();
    results[i] = std::move(compressed).Value();
    return Done{};
  });
  if (!done) return done.AsFailure();
  return results;
}

// The dictionary ready for the encoder: indexed once, then shared by every
// file's encoder (it only reads it), referring to `content` where it lies.
EncoderDictionary PrepareDictionary(std::span<const std::uint8_t> content) {
  const std::unique_ptr<ZSTD_CCtx_params, ParametersFree> parameters(ZSTD_createCCtxParams());
  if (!parameters ||
      ZSTD_isError(
          ZSTD_CCtxParams_setParameter(parameters.get(), ZSTD_c_compressionLevel, kCompressionLevel)) ||
      ZSTD_isError(ZSTD_CCtxParams_setParameter(parameters.get(), ZSTD_c_windowLog, kCompressionWindowLog))) {
    return nullptr;
  }
  return EncoderDictionary(ZSTD_createCDict_advanced2(content.data(), content.size(), ZSTD_dlm_byRef,
                                                      ZSTD_dct_rawContent, parameters.get(),
                                                      ZSTD_defaultCMem));
}

}  // namespace

pe::Result<std::vector<std::uint8_t>> BuildDictionary(std::span<const std::shared_ptr<pe::ByteSource>> files,
                                                      std::uint64_t budget, std::size_t piece) {
  std::uint64_t total = 0;
  for (const auto& file : files) total += file->Size();
  std::vector<std::uint8_t> dictionary;
  const auto read = [&](pe::ByteSource& file, std::uint64_t offset, std::uint64_t end) {
    const std::size_t at = dictionary.size();
    dictionary.resize(at + static_cast<std::size_t>(end - offset));
    return file.ReadAt(offset, std::span(dictionary).subspan(at));
  };
  if (total <= budget) {
    for (const auto& file : files) {
      if (!read(*file, 0, file->Size())) return Failure{"a payload file cannot be read"};
    }
    return dictionary;
  }
  // Piece k starts at k * total / count of the stream: further apart than a
  // piece is long, so they never overlap.
  const std::uint64_t count = piece == 0 ? 0 : budget / piece;
  std::uint64_t k = 0;
  std::uint64_t file_start = 0;
  for (const auto& file : files) {
    const std::uint64_t size = file->Size();
    bool read_to_end = size == 0;
    for (; k < count && k * total / count < file_start + size; ++k) {
      const std::uint64_t offset = k * total / count - file_start;
      const std::uint64_t end = std::min<std::uint64_t>(offset + piece, size);
      if (!read(*file, offset, end)) return Failure{"a payload file cannot be read"};
      read_to_end = end == size;
    }
    // A file is let go of once its last byte has been read: read it, so
    // that a payload of many files does not hold them all open.
    std::uint8_t last = 0;
    if (!read_to_end && !file->ReadAt(size - 1, std::span(&last, 1))) {
      return Failure{"a payload file cannot be read"};
    }
    file_start += size;
  }
  return dictionary;
}

pe::Result<CompressedPayload> CompressPayloadFiles(std::span<const std::shared_ptr<pe::ByteSource>> files,
                                                   std::uint64_t dictionary_budget) {
  CompressedPayload payload;
  const std::vector<std::uint64_t> no_limits(files.size(), UINT64_MAX);
  auto alone = CompressAll(files, nullptr, no_limits);
  if (!alone) return alone.AsFailure();
  payload.files = std::move(alone).Value();

  // The dictionary is made of the files that compress: pieces of the others
  // (random bytes, compressed archives) would only take its room.
  std::vector<std::shared_ptr<pe::ByteSource>> shrinking;
  std::vector<std::size_t> which;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!payload.files[i]) continue;
    shrinking.push_back(files[i]);
    which.push_back(i);
  }
  // One file alone finds nothing in pieces of itself that its own frame did
  // not: the second pass could not win.
  if (shrinking.size() < 2 || dictionary_budget == 0) return payload;
  auto content = BuildDictionary(shrinking, dictionary_budget);
  if (!content) return content.AsFailure();
  pe::MemorySource content_source(content.Value());
  auto stored = CompressOne(content_source, nullptr, UINT64_MAX);
  if (!stored) return stored.AsFailure();
  if (!stored.Value()) return payload;  // a dictionary that does not compress is no use
  const EncoderDictionary dictionary = PrepareDictionary(content.Value());
  if (!dictionary) return Failure{"no memory to compress the payload"};

  // Each file again with the dictionary, given up once it is no smaller
  // than the file's own frame.
  std::vector<std::uint64_t> limits;
  for (const std::size_t i : which) limits.push_back(payload.files[i]->size());
  auto shared = CompressAll(shrinking, dictionary.get(), limits);
  if (!shared) return shared.AsFailure();
  std::uint64_t saved = 0;
  for (std::size_t j = 0; j < which.size(); ++j) {
    if (shared.Value()[j]) saved += limits[j] - shared.Value()[j]->size();
  }
  if (saved <= stored.Value()->size()) return payload;
  for (std::size_t j = 0; j < which.size(); ++j) {
    if (shared.Value()[j]) payload.files[which[j]] = std::move(shared.Value()[j]);
  }
  payload.dictionary = std::move(stored).Value();
  return payload;
}

std::optional<std::uint64_t> FrameContentSize(std::span<const std::uint8_t> bytes) {
  const unsigned long long size = ZSTD_getFrameContentSize(bytes.data(), bytes.size());
  if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR) return std::nullopt;
  return size;
}

pe::Result<std::vector<std::uint8_t>> DecodeDictionary(pe::ByteSource& file, std::uint64_t offset,
                                                       std::uint64_t size) {
  if (size > ZSTD_compressBound(kMaxDictionaryBytes)) {
    return Failure{"the compression dictionary is larger than a bootstrapper takes"};
  }
  std::vector<std::uint8_t> stored(static_cast<std::size_t>(size));
  if (!file.ReadAt(offset, stored)) return Failure{"the compression dictionary cannot be read"};
  const std::optional<std::uint64_t> content = FrameContentSize(stored);
  if (!content || *content == 0)
    return Failure{"the compression dictionary is no zstd frame that gives its size"};
  if (*content > kMaxDictionaryBytes) {
    return Failure{"the compression dictionary is " + std::to_string(*content) + " bytes, more than the " +
                   std::to_string(kMaxDictionaryBytes) + " a bootstrapper takes"};
  }
  std::vector<std::uint8_t> dictionary(static_cast<std::size_t>(*content));
  const std::size_t decoded =
      ZSTD_decompress(dictionary.data(), dictionary.size(), stored.data(), stored.size());
  if (ZSTD_isError(decoded) || decoded != dictionary.size()) {
    return Failure{std::string("the compression dictionary cannot be decoded") +
                   (ZSTD_isError(decoded) ? std::string(": ") + ZSTD_getErrorName(decoded) : std::string())};
  }
  return dictionary;
}

pe::Status DecodePayloadFile(pe::ByteSource& file, std::uint64_t offset, std::uint64_t size,
                             std::uint64_t expected, pe::ByteSink& sink,
                             std::span<const std::uint8_t> dictionary) {
  const std::unique_ptr<ZSTD_DCtx, DecoderFree> decoder(ZSTD_createDCtx());
  if (!decoder) return Failure{"no memory to decode the payload"};
  if (ZSTD_isError(ZSTD_DCtx_setParameter(decoder.get(), ZSTD_d_windowLogMax, kCompressionWindowLog)) ||
      (!dictionary.empty() &&
       ZSTD_isError(ZSTD_DCtx_loadDictionary_advanced(decoder.get(), dictionary.data(), dictionary.size(),
                                                      ZSTD_dlm_byRef, ZSTD_dct_rawContent)))) {
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
