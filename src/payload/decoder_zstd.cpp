// DecodeToWriter with the zstd decoder: linked into the stub that decodes
// compressed payloads, and into the tests.
// A dictionary of raw content needs the library's advanced interface.
#define ZSTD_STATIC_LINKING_ONLY
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

DecodingDictionary::~DecodingDictionary() {
  ZSTD_freeDDict(static_cast<ZSTD_DDict*>(prepared_));
  delete[] content_;
}

DecodeResult DecodingDictionary::Load(const void* data, std::size_t size) {
  DecodeResult result;
  // Its header must say how large it is: the whole of it is held, in one
  // allocation of exactly that size, and decoded in one call.
  const unsigned long long content = ZSTD_getFrameContentSize(data, size);
  if (content == ZSTD_CONTENTSIZE_ERROR || content == ZSTD_CONTENTSIZE_UNKNOWN || content == 0) {
    result.status = size == 0 ? DecodeStatus::Truncated : DecodeStatus::Damaged;
    return result;
  }
  if (content > kMaxDictionaryBytes) {
    result.status = DecodeStatus::DictionaryTooLarge;
    return result;
  }
  const std::size_t length = static_cast<std::size_t>(content);
  const std::unique_ptr<ZSTD_DCtx, DecoderFree> decoder(ZSTD_createDCtx());
  std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[length]);
  if (!decoder || !bytes) {
    result.status = DecodeStatus::OutOfMemory;
    return result;
  }
  const std::size_t decoded = ZSTD_decompressDCtx(decoder.get(), bytes.get(), length, data, size);
  if (ZSTD_isError(decoded)) {
    // Among the damage: more output than the header gives (a second frame
    // after it), which the packer never writes.
    const ZSTD_ErrorCode code = ZSTD_getErrorCode(decoded);
    result.status = code == ZSTD_error_srcSize_wrong       ? DecodeStatus::Truncated
                    : code == ZSTD_error_memory_allocation ? DecodeStatus::OutOfMemory
                                                           : DecodeStatus::Damaged;
    result.decoder_error = static_cast<std::size_t>(code);
    return result;
  }
  if (decoded != length) {
    result.status = DecodeStatus::Damaged;
    return result;
  }
  // Raw content whatever its first bytes, referred to where it lies.
  prepared_ =
      ZSTD_createDDict_advanced(bytes.get(), length, ZSTD_dlm_byRef, ZSTD_dct_rawContent, ZSTD_defaultCMem);
  if (!prepared_) {
    result.status = DecodeStatus::OutOfMemory;
    return result;
  }
  content_ = bytes.release();
  size_ = length;
  result.written = length;
  return result;
}

DecodeResult DecodeToWriter(const void* data, std::size_t size, std::uint64_t limit,
                            DecodedBytesWriter& writer, const DecodingDictionary* dictionary) {
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
  if (dictionary && dictionary->Prepared()) {
    // Referred to, not copied, for every frame this decoder meets.
    const std::size_t referred =
        ZSTD_DCtx_refDDict(decoder.get(), static_cast<const ZSTD_DDict*>(dictionary->Prepared()));
    if (ZSTD_isError(referred)) {
      result.status = StatusOfError(referred);
      result.decoder_error = static_cast<std::size_t>(ZSTD_getErrorCode(referred));
      return result;
    }
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
