#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <climits>

#include "framework/unique_handle_win32.h"
#include "payload/extraction.h"

namespace lantern {

namespace {

struct Enumeration {
  ResourceList& list;
  DiagnosticLog& log;
};

// EnumResourceNamesW's callback; the list arrives through the parameter. It
// never stops the enumeration.
BOOL CALLBACK AddResource(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR parameter) {
  auto& enumeration = *reinterpret_cast<Enumeration*>(parameter);
  const std::wstring_view type_text = IS_INTRESOURCE(type) ? std::wstring_view() : std::wstring_view(type);
  AddResourceName(enumeration.list, module, type_text, reinterpret_cast<std::uintptr_t>(name), enumeration.log);
  return TRUE;
}

// A resource's bytes where the system maps them.
struct MappedResource {
  const void* data = nullptr;
  DWORD size = 0;
};

enum class MapFailure { None, Find, Load, Lock };

MapFailure MapResource(const CResource& resource, MappedResource& mapped) {
  const auto module = static_cast<HMODULE>(resource.module);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource.id & 0xFFFF), resource.type.c_str());
  if (!found) return MapFailure::Find;
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) return MapFailure::Load;
  mapped.data = LockResource(loaded);
  if (!mapped.data) return MapFailure::Lock;
  mapped.size = SizeofResource(module, found);
  return MapFailure::None;
}

class Win32CatalogueSource final : public CatalogueSource {
 public:
  Win32CatalogueSource(WorkingFolder& folder, DiagnosticLog& log) : folder_(folder), log_(log) {}
  ResultCode ExtractSelf(const CResource& resource, std::wstring& text) override {
    return lantern::ExtractSelf(resource, text, log_);
  }
  std::wstring GetFilePath(const CResource& resource) override { return folder_.GetFilePath(resource.file_name); }

 private:
  WorkingFolder& folder_;
  DiagnosticLog& log_;
};

// The folder part of a file's path (everything before its last backslash).
std::wstring ParentFolder(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

ResultCode ExtractSelf(const CResource& resource, std::wstring& text, DiagnosticLog& log) {
  MappedResource mapped;
  switch (MapResource(resource, mapped)) {
    case MapFailure::Find: log.LogText(L"ExtractSelf FindResource has failed\n"); return rc::Fail;
    case MapFailure::Load: log.LogText(L"ExtractSelf LoadResource has failed\n"); return rc::Fail;
    case MapFailure::Lock: log.LogText(L"ExtractSelf LockResource has failed\n"); return rc::Fail;
    case MapFailure::None: break;
  }
  text.clear();
  if (mapped.size == 0) return rc::Ok;
  if (mapped.size > INT_MAX) return rc::Fail;
  const auto* bytes = static_cast<const char*>(mapped.data);
  const int length = static_cast<int>(mapped.size);
  const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, nullptr, 0);
  if (needed <= 0) return rc::Ok;
  text.resize(static_cast<std::size_t>(needed));
  const int written = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, text.data(), needed);
  text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return rc::Ok;
}

ResultCode ExtractFile(const CResource& resource, WorkingFolder& folder, DiagnosticLog& log) {
  MappedResource mapped;
  switch (MapResource(resource, mapped)) {
    case MapFailure::Find: log.LogText(L"FindResource has failed\n"); return rc::Fail;
    case MapFailure::Load: log.LogText(L"ResourceLoaded has failed\n"); return rc::Fail;
    case MapFailure::Lock: log.LogText(L"LockResource has failed\n"); return rc::Fail;
    case MapFailure::None: break;
  }

  const std::wstring path = folder.GetFilePath(resource.file_name);
  if (path.empty()) {
    // The name leaves the working folder or makes too long a path: nothing is
    // written anywhere.
    log.LogFormat(L"%s Create file has failed\n", resource.file_name);
    return rc::Fail;
  }
  SHCreateDirectoryExW(nullptr, ParentFolder(path).c_str(), nullptr);  // for names with sub-folders

  const UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    log.LogFormat(L"%s Create file has failed\n", path);
    return rc::Fail;
  }
  // One write of the whole file straight from the mapped resource: no copy.
  DWORD written = 0;
  WriteFile(file.get(), mapped.data, mapped.size, &written, nullptr);
  if (written != mapped.size) return rc::Fail;  // a short write, such as on a full disk
  if (written == resource.size) {
    log.LogFormat(L"%s written Ok\n", path);
    return rc::Ok;
  }
  log.LogFormat(L"%s Write file has failed\n", path);
  return rc::FileCorrupt;
}

ResultCode ExtractResources(void* module, ResourceList& list, std::wstring& program_path, WorkingFolder& folder,
                            DiagnosticLog& log) {
  Enumeration enumeration{list, log};
  if (!EnumResourceNamesW(static_cast<HMODULE>(module), kPayloadResourceType, AddResource,
                          reinterpret_cast<LONG_PTR>(&enumeration))) {
    log.LogText(L"Enumerate Resources has failed\n");
    return rc::Fail;
  }
  log.LogText(L"Enumerate Resources OK \n");

  Win32CatalogueSource source(folder, log);
  ResultCode result = WorkOutFileNames(list, source, program_path, log);
  if (result != rc::Ok) return result;

  for (const CResource& resource : list) {
    if (result != rc::Ok) break;
    if (resource.file_name.empty()) continue;
    result = ExtractFile(resource, folder, log);
    log.LogFormat(L"Extract File %s %x\n", resource.file_name, result);
  }
  return result;
}

}  // namespace lantern
