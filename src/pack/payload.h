// The payload of a bootstrapper as the packing tool takes it in: which files,
// under which names, with which resource ids, and the rules every name must
// keep so that the bootstrapper extracts exactly these files into its working
// folder and starts the intended front end.
//
// Every rule gives one message for people; the tool and the CMake function
// both show it, before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pe/result.h"

namespace lantern::pack {

using pe::Failure;
using pe::Result;
using pe::Status;

// The resource type of the payload files and the catalogue.
inline constexpr char16_t kPayloadType[] = u"TOOLKIT";
// The id of the catalogue and the first id of the payload files ("TOOLKIT" resources).
constexpr std::uint16_t kCatalogueId = 101;
constexpr std::uint16_t kFirstPayloadId = 102;
// Resource ids are 16 bits, so a payload holds at most this many files.
constexpr std::size_t kMaxPayloadFiles = 0xFFFF - kFirstPayloadId + 1;
// The most payload bytes a bootstrapper carries: 1.5 GB. The image format's
// sizes are 32-bit fields, but the tighter limit is the process: the system
// maps the whole image, payload included, in one piece into the 2 GB of a
// 32-bit process, and Wine keeps about 1.6 GB of them for the program's own
// image; the rest holds the system's libraries, the heap and the threads'
// stacks.
constexpr std::uint64_t kMaxPayloadBytes = 1536ull * 1024 * 1024;

// The refusal of a payload, or of one file of it (`what`), of `size` bytes
// beyond kMaxPayloadBytes.
std::string PayloadTooLarge(const std::string& what, std::uint64_t size);

// A payload file and the name the catalogue gives it (backslashes between folders).
struct PayloadFile {
  std::filesystem::path source;
  std::string name;
};

// A payload file with its resource id and its exact size.
struct CatalogueEntry {
  std::uint16_t id = 0;
  std::string name;
  std::filesystem::path source;
  std::uint64_t size = 0;
};

// Whether the bootstrapper would start a file of this name as its program:
// ".exe", in any case, somewhere after the first character.
bool IsProgramName(std::string_view name);

// Every name can be written into the catalogue and extracted inside the
// working folder, and no two names collide there.
Status CheckPayloadNames(std::span<const std::string> names);

// CheckPayloadNames, and the front end: named and present and a program, or,
// when none is named, no name that the bootstrapper would start instead.
Status CheckPayload(std::string_view front_end, std::span<const std::string> names);

// The files named one by one (each by its file name), then every file below
// `folder` when it is not empty (named by its path relative to the folder,
// with backslashes, in name order). Fails for a file that does not exist or a
// folder that is not one or cannot be read.
Result<std::vector<PayloadFile>> CollectPayload(std::span<const std::filesystem::path> files,
                                                const std::filesystem::path& folder);

// Checks the payload (CheckPayload), measures each file and gives the
// catalogue's entries: the front end first with id 102, the rest in the order
// given with the ids after it.
Result<std::vector<CatalogueEntry>> PlanCatalogue(std::span<const PayloadFile> files,
                                                  std::string_view front_end);

// The catalogue's text: "id*name*size" triples joined by "*".
std::string CatalogueText(std::span<const CatalogueEntry> entries);

}  // namespace lantern::pack
