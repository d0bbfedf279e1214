// The payload catalogue: the "TOOLKIT" resources the program carries, the
// catalogue (resource 101) that names each of them and gives its size, and the
// choice of the front-end program among them.
#pragma once

#include <cstdint>
#include <list>
#include <map>
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
  std::uint32_t size = 0;  // from the catalogue; 0 until then
  std::wstring type;       // as the enumeration reported it
  void* module = nullptr;  // the module that holds it (the program's own)
  std::wstring file_name;  // relative to the working folder; empty when the catalogue does not list it
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

// One name the resource enumeration reported. `name` is the system's name
// value: an integer id when no bit above the low 16 is set, otherwise a text,
// which is ignored. Puts a new resource at the head of `list` and logs it.
void AddResourceName(ResourceList& list, void* module, std::wstring_view type, std::uintptr_t name,
                     DiagnosticLog& log);

// What WorkOutFileNames needs from the system.
class CatalogueSource {
 public:
  virtual ~CatalogueSource() = default;
  // The resource's bytes as text in the thread's ANSI code page; 0 or E_FAIL
  // (having logged why).
  virtual ResultCode ExtractSelf(const CResource& resource, std::wstring& text) = 0;
  // The resource's full path in the working folder; empty when its name
  // cannot make one inside the working folder.
  virtual std::wstring GetFilePath(const CResource& resource) = 0;
};

// Reads the catalogue, gives every listed resource its file name and size, and
// sets `program_path` to the listed program with the lowest id. 0, or the
// failure of reading the catalogue.
ResultCode WorkOutFileNames(ResourceList& list, CatalogueSource& source, std::wstring& program_path,
                            DiagnosticLog& log);

}  // namespace lantern
