#include "payload/payload_system_win32.h"

// After windows.h, which it needs.
#include <shlobj.h>

#include <climits>

#include "framework/unique_handle_win32.h"

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
  AddResourceName(enumeration.list, module, type_text, reinterpret_cast<std::uintptr_t>(name),
                  enumeration.log);
  return TRUE;
}

}  // namespace

bool Win32PayloadSystem::EnumerateResources(ResourceList& list) {
  Enumeration enumeration{list, log_};
  return EnumResourceNamesW(module_, kPayloadResourceType, AddResource,
                            reinterpret_cast<LONG_PTR>(&enumeration)) != FALSE;
}

PayloadSystem::MapFailure Win32PayloadSystem::MapResource(const CResource& resource, MappedBytes& bytes) {
  const auto module = static_cast<HMODULE>(resource.module);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource.id & 0xFFFF), resource.type.c_str());
  if (!found) return MapFailure::Find;
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) return MapFailure::Load;
  bytes.data = LockResource(loaded);
  if (!bytes.data) return MapFailure::Lock;
  bytes.size = SizeofResource(module, found);
  return MapFailure::None;
}

std::wstring Win32PayloadSystem::FromAnsi(const MappedBytes& bytes) {
  if (bytes.size == 0 || bytes.size > INT_MAX) return {};
  const auto* text = static_cast<const char*>(bytes.data);
  const int length = static_cast<int>(bytes.size);
  const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

void Win32PayloadSystem::CreateFolders(const std::wstring& path) {
  SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}

std::optional<std::uint32_t> Win32PayloadSystem::WriteNewFile(const std::wstring& path,
                                                              const MappedBytes& bytes) {
  const UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  // One write of the whole file straight from the mapped resource. Its own
  // result is not needed: the count tells a short write.
  DWORD written = 0;
  WriteFile(file.get(), bytes.data, bytes.size, &written, nullptr);
  return written;
}

}  // namespace lantern
