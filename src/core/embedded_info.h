// The information block a build can carry at the end of its file: the marker
// "MRDC", the information, and six trailing bytes that are not part of it.
// The bootstrapper copies the information, unread, to "info.xml" in the
// working folder for the front end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace lantern {

// The tail that is read: the bytes from 4,117 before the end of the file up to
// the one before the last. A file must be longer than this to be scanned.
constexpr std::size_t kEmbeddedScanSize = 4116;
constexpr std::size_t kEmbeddedSeekBack = 4117;
constexpr unsigned char kEmbeddedMarker[4] = {'M', 'R', 'D', 'C'};
// The bytes after the information, which are not part of it.
constexpr std::size_t kEmbeddedTrailerSize = 6;
// The most information a block can carry and still be found whole.
constexpr std::size_t kMaxEmbeddedInformation =
    kEmbeddedScanSize - sizeof kEmbeddedMarker - kEmbeddedTrailerSize;
constexpr wchar_t kEmbeddedInfoFileName[] = L"info.xml";

// Where the information lies in the tail (scan buffer offsets).
struct EmbeddedInformation {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// Finds the marker that begins nearest the end of the tail (at buffer
// positions 4111 down to 1) and the information after it, which ends six bytes
// before the end of the file. Nothing when there is no marker or no byte of
// information follows it.
std::optional<EmbeddedInformation> FindEmbeddedInformation(
    std::span<const unsigned char, kEmbeddedScanSize> tail);

// A build whose block is sealed carries this resource (RCDATA); its content
// is not read. The packing tool adds it, so the signature covers it.
constexpr char16_t kSealedInformationName[] = u"LANTERN_SEALED_INFO";
// A sealed block ends its unsigned file at a multiple of this, the alignment
// of a certificate table, so that signing adds no padding after it.
constexpr std::uint32_t kSealedInformationAlignment = 8;

// Sealed: the block is covered by the signature and only it is taken; any
// block added after signing is passed over. Stamped: a block added after
// signing, inside the certificate table, is taken.
enum class InformationMode { Stamped, Sealed };

// Where a file's certificate table lies (its data directory gives a file
// offset, not an address in memory).
struct CertificateTable {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// How many bytes from the start of the file hold the headers this reads.
constexpr std::size_t kHeadersReadSize = 1024;

// The certificate table the headers in `head` (the file's first bytes) name.
// Nothing when the headers are not those of an image, do not fit in `head`,
// or name no table that lies whole within the file's `file_size` bytes.
std::optional<CertificateTable> FindCertificateTable(std::span<const unsigned char> head,
                                                     std::uint64_t file_size);

// Reads `out.size()` bytes at `offset` of the file; false when it cannot.
using ReadFileBytes = std::function<bool(std::uint64_t offset, std::span<unsigned char> out)>;

struct LocatedInformation {
  std::vector<unsigned char> information;  // empty: no block is taken
  std::uint64_t offset = 0;                // where the information begins in the file
  // Sealed only: a block added after signing was found and passed over.
  bool ignored_later_block = false;
};

// The block the bootstrapper takes from its file of `file_size` bytes. The
// signed bytes end where the certificate table begins (or at the end of an
// unsigned file). Stamped: the block at the very end when the file has no
// table or the block's marker lies inside the table; otherwise the block
// that ends where the signed bytes end (a build packed with a block and then
// signed), less up to seven zero bytes at its end, which the signing tool
// padded the file with. Sealed: only the block that ends where the signed
// bytes end, whole (the packing tool aligned it, so nothing was padded).
// Reads the headers and at most two windows of 4,116 bytes; a file of 4,116
// bytes or fewer is not read at all.
LocatedInformation LocateEmbeddedInformation(std::uint64_t file_size, InformationMode mode,
                                             const ReadFileBytes& read);

}  // namespace lantern
