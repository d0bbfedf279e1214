// The catalogue as a hostile build could carry it: parsed on its own (every
// record well formed, and written back out it reads the same), then used to
// name and write the payload, both with any wide character in its names and
// as the extraction reads it in the code page. No file or folder may be made
// anywhere but below the working folder, and the program started is the
// listed one with the lowest id.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii_case.h"
#include "core/code_page.h"
#include "core/payload_paths.h"
#include "fuzz_support.h"
#include "memory_log.h"
#include "payload/catalogue.h"
#include "payload/extraction.h"

namespace lantern {
namespace {

using fuzzing::Show;

constexpr wchar_t kFolder[] = L"C:\\Users\\pat\\AppData\\Local\\Temp\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// Names Windows gives to devices wherever they stand in a path (up to the
// newest versions, which keep it for bare names only): the part before the
// first dot, trailing spaces left out, in any case.
bool IsDeviceName(std::wstring_view component) {
  std::wstring_view base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  const std::wstring lower = LowerAscii(base);
  if (lower == L"con" || lower == L"prn" || lower == L"aux" || lower == L"nul" || lower == L"conin$" ||
      lower == L"conout$") {
    return true;
  }
  if (lower.size() == 4 && (lower.starts_with(L"com") || lower.starts_with(L"lpt"))) {
    const wchar_t n = lower[3];
    return (n >= L'0' && n <= L'9') || n == L'\u00B9' || n == L'\u00B2' || n == L'\u00B3';
  }
  return false;
}

// Where a path below the working folder leads when Windows opens it, worked
// out on its own terms: both slashes separate, "." stays, ".." climbs, and a
// part that is only dots and spaces, a stream, a control character or a
// device does not name a file of the folder. True when it ends strictly
// below the folder.
bool LeadsBelowFolder(std::wstring_view rest) {
  int depth = 0;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = rest.size();
    const std::wstring_view part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (--depth < 0) return false;
      continue;
    }
    if (part.find_first_not_of(L". ") == std::wstring_view::npos) return false;
    for (const wchar_t c : part) {
      if (c < 0x20 || c == L':') return false;
    }
    if (IsDeviceName(part)) return false;
    ++depth;
  }
  return depth >= 1;
}

// A full path that the extraction acts on: the folder, a backslash, and a
// rest that leads below the folder.
bool IsBelowFolder(std::wstring_view path) {
  const std::wstring_view folder(kFolder);
  return path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == L'\\' &&
         LeadsBelowFolder(path.substr(folder.size() + 1));
}

// The payload resources of a program whose catalogue is the input: the
// catalogue itself, one resource for every id it lists (one byte longer than
// listed for odd ids), and one it does not list.
class FuzzPayloadSystem final : public PayloadSystem {
 public:
  FuzzPayloadSystem(const std::uint8_t* data, std::size_t size, const CatalogueMap& listed,
                    DiagnosticLog& log)
      : data_(data), size_(size), listed_(listed), log_(log) {}

  bool EnumerateResources(ResourceList& list) override {
    std::set<std::uint32_t> ids{kCatalogueId, 100};
    for (const auto& [id, record] : listed_) ids.insert(id);
    // A resource id has 16 bits: the system reports a larger value as a name.
    for (const std::uint32_t id : ids) {
      AddResourceName(list, kPayloadResourceType, id <= 0xFFFF ? std::optional(id) : std::nullopt, log_);
    }
    AddResourceName(list, kPayloadResourceType, std::nullopt, log_);  // a name given as a text
    return true;
  }

  MapFailure MapResource(const CResource& resource, MappedBytes& bytes) override {
    if (resource.id == kCatalogueId) {
      bytes = {data_, static_cast<std::uint32_t>(size_)};
      return MapFailure::None;
    }
    const auto record = listed_.find(resource.id);
    const std::uint32_t size = record == listed_.end() ? 7 : record->second.size;
    // The bytes are never read: only the fake writer below sees them.
    bytes = {data_, size + (resource.id & 1u)};
    return MapFailure::None;
  }

  // The catalogue alone is fuzzed here: every file is stored as it is.
  ListRead ReadCompressionList(std::string&) override { return ListRead::Absent; }
  ListRead MapDictionary(MappedBytes&) override {
    FUZZ_CHECK(false, std::string("a dictionary read without a compression list"));
    return ListRead::Absent;
  }
  WriteResult WriteDecodedFile(const std::wstring&, const MappedBytes&, std::uint32_t,
                               const DecodingDictionary*) override {
    FUZZ_CHECK(false, std::string("a file decoded without a compression list"));
    return {};
  }

  std::wstring WorkingFolderPath() override { return kFolder; }

  // As the working folder answers: the folder for no name, the name as
  // Windows reads it below the folder, nothing for a name that would leave it
  // or does not fit.
  std::wstring GetFilePath(const std::wstring& file_name) override {
    if (file_name.empty()) return kFolder;
    const std::optional<std::wstring> normalised = NormalisePayloadName(file_name);
    if (!normalised) return {};
    return JoinPath(kFolder, *normalised).value_or(std::wstring());
  }

  // As the system writes: folder by folder, each part of the normalised name
  // made in the one above it.
  WriteResult WritePayloadFile(const std::wstring& file_name, const MappedBytes& bytes) override {
    WriteResult result;
    const std::optional<std::wstring> normalised = NormalisePayloadName(file_name);
    if (!normalised) return result;
    std::wstring path = kFolder;
    for (const std::wstring& part : PayloadNameParts(*normalised)) {
      FUZZ_CHECK(
          !part.empty() && part != L"." && part != L".." && part.find_first_of(L"\\/:") == std::wstring::npos,
          "a part that is no single name: " + Show(part));
      path += L'\\' + part;
    }
    FUZZ_CHECK(IsBelowFolder(path), "file written outside: " + Show(path));
    written.push_back(path);
    result.created = true;
    result.written = bytes.size;
    return result;
  }

  std::vector<std::wstring> written;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  const CatalogueMap& listed_;
  DiagnosticLog& log_;
};

// The catalogue text that lists `map`: each record as "id*name*size*", the
// numbers as the signed values they were read as.
std::wstring WriteCatalogue(const CatalogueMap& map) {
  std::wstring text;
  for (const auto& [id, record] : map) {
    text += std::to_wstring(static_cast<std::int32_t>(id)) + L'*' + record.file_name + L'*' +
            std::to_wstring(static_cast<std::int32_t>(record.size)) + L'*';
  }
  return text;
}

void CheckParse(const std::wstring& text, const CatalogueMap& map) {
  for (const auto& [id, record] : map) {
    FUZZ_CHECK(record.id == id, "record filed under another id");
    FUZZ_CHECK(!record.file_name.empty(), "empty name for id " + std::to_string(id));
    FUZZ_CHECK(record.file_name.find(L'*') == std::wstring::npos,
               "separator in name " + Show(record.file_name));
    FUZZ_CHECK(text.find(record.file_name) != std::wstring::npos, "name not from the text");
  }
  CatalogueMap again;
  ParseCatalogue(WriteCatalogue(map), again);
  FUZZ_CHECK(again == map, "written back out, the catalogue reads differently: " + Show(WriteCatalogue(map)));
}

// The program is the listed one with the lowest id among those the system
// reported (ids above 16 bits are names, never reported as ids), and it is
// below the working folder.
void CheckProgram(const CatalogueMap& map, FuzzPayloadSystem& system, const std::wstring& program_path) {
  std::wstring expected;
  for (const auto& [id, record] : map) {
    if (id > 0xFFFF || !IsProgram(record.file_name)) continue;
    expected = system.GetFilePath(record.file_name);
    break;
  }
  FUZZ_CHECK(program_path == expected,
             "program '" + Show(program_path) + "', expected '" + Show(expected) + "'");
  FUZZ_CHECK(program_path.empty() || IsBelowFolder(program_path), "program outside the folder");
}

// The extraction as the program runs it: the catalogue's bytes are read in the
// ANSI code page.
void ExtractAsTheProgramDoes(const std::uint8_t* data, std::size_t size) {
  CatalogueMap map;
  ParseCatalogue(FromAnsiCodePage(std::string_view(reinterpret_cast<const char*>(data), size)), map);
  testing_fakes::MemoryLog log;
  FuzzPayloadSystem system(data, size, map, log.log);
  ResourceList list;
  std::wstring program_path;
  const ResultCode result = ExtractResources(list, system, program_path, log.log);
  FUZZ_CHECK(result == rc::Ok || result == rc::Fail || result == rc::FileCorrupt,
             "unexpected result " + std::to_string(result));
  CheckProgram(map, system, program_path);
}

// Naming and writing with any wide character in the names, as a code page
// richer than the one here can give them: the text `map` was read from is
// named and every named resource written.
void NameAndWriteWideText(const std::uint8_t* data, std::size_t size, const std::wstring& text,
                          const CatalogueMap& map) {
  testing_fakes::MemoryLog log;
  FuzzPayloadSystem system(data, size, map, log.log);
  ResourceList list;
  system.EnumerateResources(list);
  const std::optional<std::wstring> program = WorkOutFileNames(list, text, log.log);
  for (const CResource& resource : list) {
    if (resource.file_name.empty()) continue;
    const ResultCode result = ExtractFile(resource, system, log.log);
    FUZZ_CHECK(result == rc::Ok || result == rc::Fail || result == rc::FileCorrupt,
               "unexpected result " + std::to_string(result));
  }
  CheckProgram(map, system, program ? system.GetFilePath(*program) : std::wstring());
}

}  // namespace
}  // namespace lantern

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;
  const std::wstring text = fuzzing::WideFromBytes(data, size);
  CatalogueMap map;
  FUZZ_CHECK(ParseCatalogue(text, map) == rc::Ok, "the parse never fails");
  CheckParse(text, map);

  NameAndWriteWideText(data, size, text, map);
  ExtractAsTheProgramDoes(data, size);
  return 0;
}
