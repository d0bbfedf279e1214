// A compressed payload file decoded in pieces, straight from the mapped
// resource to its writer: at most one piece of output and the decoder's
// window (4 MB at most) are held at a time, whatever the file's size. Each
// call has its own decoder, so files can be decoded on several threads.
//
// DecodeToWriter comes from one of two small objects, and a program links
// exactly one: decoder_zstd.cpp (the zstd decoder, in the stub that decodes
// and in the tests) or decoder_none.cpp (the plain stub, which then carries
// no decoder at all and fails every compressed file with NoDecoder).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lantern {

// Takes the decoded bytes, piece by piece, in order.
class DecodedBytesWriter {
 public:
  virtual ~DecodedBytesWriter() = default;
  // False, with the system's error, when the bytes could not all be written.
  virtual bool Write(const void* data, std::size_t size, std::uint32_t& error) = 0;
};

enum class DecodeStatus {
  Done,          // the frames decoded whole, to at most `limit` bytes
  Damaged,       // not zstd frames, or their content or checksum is wrong
  Truncated,     // the data ends inside a frame
  TooLarge,      // more than `limit` bytes come out; decoding stopped there
  WindowTooBig,  // a frame needs a larger window than this build allows
  OutOfMemory,   // no memory for the decoder or its output
  WriteFailed,   // the writer refused a piece
  NoDecoder,     // this program was built without the decoder; nothing was written
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::Done;
  std::uint64_t written = 0;      // bytes handed to the writer and taken
  std::size_t decoder_error = 0;  // the decoder's error code, where it gave one
  std::uint32_t write_error = 0;  // the writer's error, for WriteFailed
};

// The output piece: large enough that writes stay few, small enough to be no burden.
constexpr std::size_t kDecodedPieceSize = 256 * 1024;

// Decodes `size` bytes at `data` (one or more zstd frames) into `writer`.
// Stops at the first fault; what was written before it stays written.
DecodeResult DecodeToWriter(const void* data, std::size_t size, std::uint64_t limit,
                            DecodedBytesWriter& writer);

// Words for the log: why decoding stopped ("the data is damaged", ...).
const wchar_t* DecodeStatusText(DecodeStatus status);

}  // namespace lantern
