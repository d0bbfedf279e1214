// A compressed payload file decoded in pieces, straight from the mapped
// resource to its writer: at most one piece of output and the decoder's
// window (4 MB at most) are held at a time, whatever the file's size. Each
// call has its own decoder, so files can be decoded on several threads. A
// build whose files share a dictionary has it decoded once, before the
// first file; every decoder then refers to that one copy.
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
  Done,                // the frames decoded whole, to at most `limit` bytes
  Damaged,             // not zstd frames, or their content or checksum is wrong
  Truncated,           // the data ends inside a frame
  TooLarge,            // more than `limit` bytes come out; decoding stopped there
  WindowTooBig,        // a frame needs a larger window than this build allows
  OutOfMemory,         // no memory for the decoder or its output
  WriteFailed,         // the writer refused a piece
  NoDecoder,           // this program was built without the decoder; nothing was written
  DictionaryTooLarge,  // the dictionary is larger than a bootstrapper takes
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::Done;
  std::uint64_t written = 0;      // bytes handed to the writer and taken
  std::size_t decoder_error = 0;  // the decoder's error code, where it gave one
  std::uint32_t write_error = 0;  // the writer's error, for WriteFailed
};

// The output piece: large enough that writes stay few, small enough to be no burden.
constexpr std::size_t kDecodedPieceSize = 256 * 1024;

// The dictionary of raw content a build's compressed files may refer to:
// decoded once and then only read, by every decoder at the same time.
class DecodingDictionary {
 public:
  DecodingDictionary() = default;
  ~DecodingDictionary();
  DecodingDictionary(const DecodingDictionary&) = delete;
  DecodingDictionary& operator=(const DecodingDictionary&) = delete;

  // Decodes the stored dictionary, `size` bytes at `data`: one zstd frame
  // that says its content size, from 1 byte to kMaxDictionaryBytes
  // (DictionaryTooLarge above). Done, Damaged, Truncated, OutOfMemory, or
  // NoDecoder in the program built without the decoder. Called once.
  DecodeResult Load(const void* data, std::size_t size);

  std::size_t Size() const { return size_; }
  // The decoder's own form of it; null until it is loaded.
  const void* Prepared() const { return prepared_; }

 private:
  unsigned char* content_ = nullptr;
  std::size_t size_ = 0;
  void* prepared_ = nullptr;  // refers to content_, never copies it
};

// Decodes `size` bytes at `data` (one or more zstd frames) into `writer`,
// with the frames referring to `dictionary` where one is given (loaded).
// Stops at the first fault; what was written before it stays written.
DecodeResult DecodeToWriter(const void* data, std::size_t size, std::uint64_t limit,
                            DecodedBytesWriter& writer, const DecodingDictionary* dictionary = nullptr);

// Words for the log: why decoding stopped ("the data is damaged", ...).
const wchar_t* DecodeStatusText(DecodeStatus status);

}  // namespace lantern
