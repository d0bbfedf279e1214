// DecodeToWriter with the zstd decoder: linked into the stub that decodes
// compressed payloads, and into the tests.
#include <zstd.h>
#include <zstd_errors.h>

#include <memory>
#include <new>

#include "core/payload_compression.h"
#include "payload/decoder.h"

namespace lantern {

namespace {

struct DecoderFree {
  void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

DecodeStatus StatusOfError(std::size_t code) {
  switch (ZSTD_getErrorCode(code)) {
    case ZSTD_error_frameParameter_windowTooLarge:
      return DecodeStatus::WindowTooBig;
    case ZSTD_error_memory_allocation:
      return DecodeStatus::OutOfMemory;
    default:
      return DecodeStatus::Damaged;
  }
}

}  // namespace

DecodeResult DecodeToWriter(const void* data, std::size_t size, std::uint64_t limit,
                            DecodedBytesWriter& writer) {
  DecodeResult result;
  const std::unique_ptr<ZSTD_DCtx, DecoderFree> decoder(ZSTD_createDCtx());
  const std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[kDecodedPieceSize]);
  if (!decoder || !piece) {
    result.status = DecodeStatus::OutOfMemory;
    return result;
  }
  const std::size_t set = ZSTD_DCtx_setParameter(decoder.get(), ZSTD_d_windowLogMax, kCompressionWindowLog);
  if (ZSTD_isError(set)) {
    result.status = DecodeStatus::Damaged;
    result.decoder_error = static_cast<std::size_t>(ZSTD_getErrorCode(set));
    return result;
  }

  ZSTD_inBuffer in{data, size, 0};
  // 0 once a frame has ended and no other has begun; no data at all is no frame.
  std::size_t pending = 1;
  while (in.pos < in.size || pending != 0) {
    ZSTD_outBuffer out{piece.get(), kDecodedPieceSize, 0};
    pending = ZSTD_decompressStream(decoder.get(), &out, &in);
    if (ZSTD_isError(pending)) {
      result.status = StatusOfError(pending);
      result.decoder_error = static_cast<std::size_t>(ZSTD_getErrorCode(pending));
      return result;
    }
    if (out.pos > 0) {
      if (out.pos > limit - result.written) {
        result.status = DecodeStatus::TooLarge;
        return result;
      }
      if (!writer.Write(piece.get(), out.pos, result.write_error)) {
        result.status = DecodeStatus::WriteFailed;
        return result;
      }
      result.written += out.pos;
    }
    // The input is used up and the decoder, with room left for output, still
    // waits for more: the data ends in the middle of a frame.
    if (in.pos == in.size && out.pos < out.size && pending != 0) {
      result.status = DecodeStatus::Truncated;
      return result;
    }
  }
  return result;
}

}  // namespace lantern
