// Payload compression for `lantern pack --compress` and its reading back for
// `lantern inspect`: each file as its own zstd frame (level 19, a window of
// at most 4 MB, the content size and a checksum in the frame), kept only when
// it is smaller than the file. Files that compress may also share a
// dictionary of raw content: pieces taken evenly through all of them, so
// that a file finds what other files hold, as one solid stream would. It is
// kept only when the files with it and the dictionary itself come out
// smaller than the files without it.
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

// The dictionary's pieces and, at most, its size: chosen by measuring real
// binaries (smaller pieces spread the same bytes more thinly for little
// gain; a larger dictionary finds more but every bootstrapper holds it
// whole while it extracts).
constexpr std::size_t kDictionaryPieceBytes = 8 * 1024;
constexpr std::uint64_t kDictionaryBytes = 2304 * 1024;

// The raw dictionary made from `files`, taken as one stream in their order:
// all of it when it is at most `budget` bytes, otherwise budget / piece
// pieces of `piece` bytes starting evenly through it (one cut short where
// its file ends). Fails when a file cannot be read.
pe::Result<std::vector<std::uint8_t>> BuildDictionary(std::span<const std::shared_ptr<pe::ByteSource>> files,
                                                      std::uint64_t budget = kDictionaryBytes,
                                                      std::size_t piece = kDictionaryPieceBytes);

struct CompressedPayload {
  std::vector<Compressed> files;  // in the files' order
  // The dictionary as it is stored (one zstd frame made without one), when
  // the files need it; nothing when they compress on their own.
  std::optional<std::vector<std::uint8_t>> dictionary;
};

// Compresses every file, a few at a time on the machine's cores: each on its
// own, then, where at least two shrink, those again with a dictionary built
// from them, each keeping the smaller of its two frames; the dictionary stays
// when it wins overall. The same files always give the same bytes. Fails when a file
// cannot be read.
pe::Result<CompressedPayload> CompressPayloadFiles(std::span<const std::shared_ptr<pe::ByteSource>> files,
                                                   std::uint64_t dictionary_budget = kDictionaryBytes);

// The size the frame at the start of `bytes` says its content has; nothing
// when the frame does not say or the bytes are no frame.
std::optional<std::uint64_t> FrameContentSize(std::span<const std::uint8_t> bytes);

// Decodes a stored dictionary (`size` bytes at `offset` of `file`) as the
// bootstrapper does; fails, saying why, when it is damaged or larger than a
// bootstrapper takes.
pe::Result<std::vector<std::uint8_t>> DecodeDictionary(pe::ByteSource& file, std::uint64_t offset,
                                                       std::uint64_t size);

// Decodes `size` compressed bytes at `offset` of `file` into `sink`, as the
// bootstrapper does, referring to `dictionary` where it is not empty; fails,
// saying why, when they are damaged or decode to anything but `expected`
// bytes.
pe::Status DecodePayloadFile(pe::ByteSource& file, std::uint64_t offset, std::uint64_t size,
                             std::uint64_t expected, pe::ByteSink& sink,
                             std::span<const std::uint8_t> dictionary = {});

}  // namespace lantern::pack
