// zstd frames made for tests, as the packing tool makes them (a checksum, the
// content size, a dictionary where the files share one) or with a larger
// window than a bootstrapper accepts.
#pragma once

#include <zstd.h>

#include <string>
#include <string_view>

namespace lantern::testing_fakes {

inline std::string ZstdFrame(std::string_view data, int window_log = 22) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, window_log);
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
  std::string frame(ZSTD_compressBound(data.size()), '\0');
  const std::size_t size = ZSTD_compress2(context, frame.data(), frame.size(), data.data(), data.size());
  ZSTD_freeCCtx(context);
  frame.resize(ZSTD_isError(size) ? 0 : size);
  return frame;
}

// A frame that refers to `dictionary` as raw content, as the packer makes
// the files of a build whose files share one.
inline std::string ZstdFrameWithDictionary(std::string_view data, std::string_view dictionary) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, 22);
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
  ZSTD_CCtx_refPrefix(context, dictionary.data(), dictionary.size());
  std::string frame(ZSTD_compressBound(data.size()), '\0');
  const std::size_t size = ZSTD_compress2(context, frame.data(), frame.size(), data.data(), data.size());
  ZSTD_freeCCtx(context);
  frame.resize(ZSTD_isError(size) ? 0 : size);
  return frame;
}

// Bytes that compress well but are not all alike: `size` of them.
inline std::string Compressible(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i)
    text += "line " + std::to_string(i % 977) + " of the payload\n";
  text.resize(size);
  return text;
}

}  // namespace lantern::testing_fakes
