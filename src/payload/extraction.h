// Extraction: the payload resources found, named by the catalogue and written
// byte for byte into the working folder, taken highest id first on a few
// threads, stopping at the first failure; the log reads as if they were
// written one after the other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/result_codes.h"
#include "log/log.h"
#include "payload/catalogue.h"
#include "payload/decoder.h"
#include "payload/ordered_jobs.h"

namespace lantern {

// What extraction needs from the system.
class PayloadSystem {
 public:
  virtual ~PayloadSystem() = default;

  // Adds every payload resource of the program to `list` (AddResourceName).
  // False when the enumeration fails, as it does when there are none.
  virtual bool EnumerateResources(ResourceList& list) = 0;

  // A resource's bytes where the system maps them; they are never copied.
  enum class MapFailure { None, Find, Load, Lock };
  struct MappedBytes {
    const void* data = nullptr;
    std::uint32_t size = 0;
  };
  virtual MapFailure MapResource(const CResource& resource, MappedBytes& bytes) = 0;

  // The bytes of the list of compressed payload resources (RCDATA
  // "LANTERN_COMPRESSED"): Absent when the program carries none, as a build
  // without compressed files does.
  enum class ListRead { Absent, Read, Failed };
  virtual ListRead ReadCompressionList(std::string& text) = 0;
  // The stored dictionary the compressed files share (RCDATA
  // "LANTERN_DICTIONARY"), mapped like a payload resource: Absent when the
  // program carries none.
  virtual ListRead MapDictionary(MappedBytes& bytes) = 0;

  // The working folder's full path (empty when there is none).
  virtual std::wstring WorkingFolderPath() = 0;

  // The working folder joined with a file name as Windows reads it; empty
  // when the name would leave the working folder or the path does not fit.
  virtual std::wstring GetFilePath(const std::wstring& file_name) = 0;

  // Writes a payload file: makes the sub-folders its name holds, replaces a
  // file of that name (never writing through a link) and writes the bytes
  // with one write. Called on several threads at once, for different names
  // (names that are one file, or a file and a folder, are never written at
  // the same time), and with no log of its own: the caller logs what went
  // wrong.
  struct WriteResult {
    bool created = false;                       // false: the file could not be made
    std::uint32_t written = 0;                  // bytes written
    std::uint32_t error = 0;                    // the system error of a failed creation or a short write
    DecodeStatus decoded = DecodeStatus::Done;  // compressed files: how decoding ended
    std::size_t decoder_error = 0;
  };
  virtual WriteResult WritePayloadFile(const std::wstring& file_name, const MappedBytes& bytes) = 0;

  // The threads files are written on; none: the calling thread writes them.
  virtual WorkerThreads* Threads() { return nullptr; }
  // The same for compressed bytes: decodes them (DecodeToWriter, with the
  // dictionary where there is one) into the file in pieces, stopping when
  // more than `limit` bytes would come out.
  virtual WriteResult WriteDecodedFile(const std::wstring& file_name, const MappedBytes& bytes,
                                       std::uint32_t limit, const DecodingDictionary* dictionary) = 0;
};

// How many files are written at once: enough to keep the system busy while
// one thread waits for a file to be made, few enough to leave the machine
// usable.
constexpr unsigned kExtractionThreads = 4;

// Fills `list` with the payload resources, names them from the catalogue (the
// first resource of id 101), sets `program_path` to the listed program's path
// in the working folder and writes every named one, decoding those the
// compression list names (after the dictionary they share, when the list
// says there is one). 0; E_FAIL when the resources cannot be enumerated or
// read, the compression list is not understood, the dictionary is missing or
// cannot be decoded, a file cannot be made or written whole, or its
// compressed data cannot be decoded; 0x80040167 when a file's size differs
// from the catalogue.
ResultCode ExtractResources(ResourceList& list, PayloadSystem& system, std::wstring& program_path,
                            DiagnosticLog& log);

// Writes one resource to its file in the working folder, decoding a
// compressed one with `dictionary` where the build has one. Safe to call on
// several threads at once for different files.
ResultCode ExtractFile(const CResource& resource, PayloadSystem& system, DiagnosticLog& log,
                       const DecodingDictionary* dictionary = nullptr);

// The resource's bytes as text in the thread's ANSI code page (the
// catalogue). 0 or E_FAIL.
ResultCode ReadResourceText(const CResource& resource, PayloadSystem& system, std::wstring& text,
                            DiagnosticLog& log);

}  // namespace lantern
