// Payload compression for `lantern pack --compress` and its reading back for
// `lantern inspect`: each file on its own as zstd frames (level 19, a window
// of at most 4 MB, the content size and a checksum in the frame), kept only
// when it is smaller than the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "pe/byte_io.h"
#include "pe/result.h"

namespace lantern::pack {

// A file's compressed bytes; nothing when they would not be smaller than the
// file (an empty file, random or already compressed data), which is then
// stored as it is.
using Compressed = std::optional<std::vector<std::uint8_t>>;

// Compresses every file, a few at a time on the machine's cores; the result's
// entries follow the files' order. Fails when a file cannot be read.
pe::Result<std::vector<Compressed>> CompressPayloadFiles(
    std::span<const std::shared_ptr<pe::ByteSource>> files);

// The size the frame at the start of `bytes` says its content has; nothing
// when the frame does not say or the bytes are no frame.
std::optional<std::uint64_t> FrameContentSize(std::span<const std::uint8_t> bytes);

// Decodes `size` compressed bytes at `offset` of `file` into `sink`, as the
// bootstrapper does; fails, saying why, when they are damaged or decode to
// anything but `expected` bytes.
pe::Status DecodePayloadFile(pe::ByteSource& file, std::uint64_t offset, std::uint64_t size,
                             std::uint64_t expected, pe::ByteSink& sink);

}  // namespace lantern::pack
