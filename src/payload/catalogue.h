// The payload catalogue: the "TOOLKIT" resources the program carries, the
// catalogue (resource 101) that names each of them and gives its size, and the
// choice of the front-end program among them.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/result_codes.h"
#include "log/log.h"

namespace lantern {

constexpr wchar_t kPayloadResourceType[] = L"TOOLKIT";
constexpr std::uint32_t kCatalogueId = 101;

// One payload resource found in the program.
struct CResource {
  std::uint32_t id = 0;
  std::uint32_t size = 0;   // from the catalogue; 0 until then
  std::wstring type;        // as the enumeration reported it
  std::wstring file_name;   // relative to the working folder; empty when the catalogue does not list it
  bool compressed = false;  // its bytes are zstd frames that decode to the file
};

// The payload resources, highest id first: every new entry goes to the front
// and the system reports ids in ascending order. Entries are never removed
// during a run, so references to them stay valid.
using ResourceList = std::list<CResource>;

// The catalogue's record for one id.
struct CResourceFile {
  std::uint32_t id = 0;
  std::uint32_t size = 0;
  std::wstring file_name;
  bool operator==(const CResourceFile&) const = default;
};

using CatalogueMap = std::map<std::uint32_t, CResourceFile>;

// Fills `map` from the catalogue text: "id*name*size" triples, where runs of
// '*' count as one separator and numbers follow the leading-integer rule. A
// later entry for an id replaces an earlier one; a trailing id without a name
// is dropped, and a name without a size is stored with size 0 and ends the
// reading. Always 0.
ResultCode ParseCatalogue(std::wstring_view text, CatalogueMap& map);

// Whether a payload file name marks the program to start: ".exe", in any case
// of A to Z, somewhere after the first character.
bool IsProgram(std::wstring_view file_name);
inline bool IsProgram(const CResource& resource) { return IsProgram(resource.file_name); }

// One name the resource enumeration reported: `id` is its integer id, or
// nothing when the resource is named by a text, which is ignored. Puts a new
// resource at the head of `list` and logs it.
void AddResourceName(ResourceList& list, std::wstring_view type, std::optional<std::uint32_t> id,
                     DiagnosticLog& log);

// Gives every resource the catalogue text lists its file name and size, and
// hands back the file name of the listed program with the lowest id (nothing
// when none is listed). An empty text names nothing. Logs each name and then
// "WorkOutFileNames 0".
std::optional<std::wstring> WorkOutFileNames(ResourceList& list, std::wstring_view catalogue_text,
                                             DiagnosticLog& log);

}  // namespace lantern
