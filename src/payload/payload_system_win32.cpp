#include "payload/payload_system_win32.h"

#include "core/payload_compression.h"
#include "core/payload_paths.h"
#include "framework/unique_handle_win32.h"
#include "payload/folder_handles_win32.h"

namespace lantern {

namespace {

constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_READ_ATTRIBUTES;
constexpr ULONG kFileOpenIf = 0x00000003;  // FILE_OPEN_IF

struct Enumeration {
  ResourceList& list;
  DiagnosticLog& log;
};

// EnumResourceNamesW's callback; the list arrives through the parameter. It
// never stops the enumeration.
BOOL CALLBACK AddResource(HMODULE, LPCWSTR type, LPWSTR name, LONG_PTR parameter) {
  auto& enumeration = *reinterpret_cast<Enumeration*>(parameter);
  const std::wstring_view type_text = IS_INTRESOURCE(type) ? std::wstring_view() : std::wstring_view(type);
  // A name with a bit above the low 16 set is a text, not an id.
  const std::optional<std::uint32_t> id =
      IS_INTRESOURCE(name)
          ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(name)))
          : std::nullopt;
  AddResourceName(enumeration.list, type_text, id, enumeration.log);
  return TRUE;
}

}  // namespace

bool Win32PayloadSystem::EnumerateResources(ResourceList& list) {
  Enumeration enumeration{list, log_};
  return EnumResourceNamesW(module_, kPayloadResourceType, AddResource,
                            reinterpret_cast<LONG_PTR>(&enumeration)) != FALSE;
}

PayloadSystem::MapFailure Win32PayloadSystem::MapResource(const CResource& resource, MappedBytes& bytes) {
  HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(resource.id & 0xFFFF), resource.type.c_str());
  if (!found) return MapFailure::Find;
  HGLOBAL loaded = LoadResource(module_, found);
  if (!loaded) return MapFailure::Load;
  bytes.data = LockResource(loaded);
  if (!bytes.data) return MapFailure::Lock;
  bytes.size = SizeofResource(module_, found);
  return MapFailure::None;
}

PayloadSystem::ListRead Win32PayloadSystem::MapNamedData(const char16_t* name, MappedBytes& bytes) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  HRSRC found = FindResourceW(module_, reinterpret_cast<const wchar_t*>(name), RT_RCDATA);
  if (!found) return ListRead::Absent;
  HGLOBAL loaded = LoadResource(module_, found);
  bytes.data = loaded ? LockResource(loaded) : nullptr;
  if (!bytes.data) return ListRead::Failed;
  bytes.size = SizeofResource(module_, found);
  return ListRead::Read;
}

PayloadSystem::ListRead Win32PayloadSystem::ReadCompressionList(std::string& text) {
  MappedBytes bytes;
  const ListRead read = MapNamedData(kCompressedPayloadName, bytes);
  if (read == ListRead::Read) text.assign(static_cast<const char*>(bytes.data), bytes.size);
  return read;
}

PayloadSystem::ListRead Win32PayloadSystem::MapDictionary(MappedBytes& bytes) {
  return MapNamedData(kCompressionDictionaryName, bytes);
}

UniqueFileHandle Win32PayloadSystem::CreatePayloadFile(const std::wstring& file_name, DWORD& error) {
  error = ERROR_PATH_NOT_FOUND;
  const std::optional<std::wstring> normalised = NormalisePayloadName(file_name);
  HANDLE parent = folder_.handle();
  if (!normalised || !parent) return {};
  const std::vector<std::wstring> parts = PayloadNameParts(*normalised);

  // Sub-folders: each made or opened in the one above it, and used only when
  // it is a real folder (they inherit the working folder's access); each
  // once, for every file it holds.
  parent = OpenParentFolder(parent, parts, kFolderAccess, kFileOpenIf, folders_, error);
  if (!parent) return {};
  return CreateFreshFile(parent, parts.back(), error);
}

PayloadSystem::WriteResult Win32PayloadSystem::WritePayloadFile(const std::wstring& file_name,
                                                                const MappedBytes& bytes) {
  WriteResult result;
  DWORD error = 0;
  const UniqueFileHandle file = CreatePayloadFile(file_name, error);
  if (!file) {
    result.error = error;
    return result;
  }
  result.created = true;
  // One write of the whole file straight from the mapped resource; the count
  // tells a short write.
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data, bytes.size, &written, nullptr) || written != bytes.size) {
    result.error = GetLastError();
  }
  result.written = written;
  return result;
}

namespace {

// Decoded pieces into an open file.
class FileWriter final : public DecodedBytesWriter {
 public:
  explicit FileWriter(HANDLE file) : file_(file) {}
  bool Write(const void* data, std::size_t size, std::uint32_t& error) override {
    DWORD written = 0;
    if (!WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
      error = GetLastError();
      return false;
    }
    return true;
  }

 private:
  HANDLE file_;
};

}  // namespace

PayloadSystem::WriteResult Win32PayloadSystem::WriteDecodedFile(const std::wstring& file_name,
                                                                const MappedBytes& bytes, std::uint32_t limit,
                                                                const DecodingDictionary* dictionary) {
  WriteResult result;
  DWORD error = 0;
  const UniqueFileHandle file = CreatePayloadFile(file_name, error);
  if (!file) {
    result.error = error;
    return result;
  }
  result.created = true;
  FileWriter writer(file.get());
  const DecodeResult decoded = DecodeToWriter(bytes.data, bytes.size, limit, writer, dictionary);
  result.written = static_cast<std::uint32_t>(decoded.written);  // at most `limit`
  result.error = decoded.write_error;
  result.decoded = decoded.status;
  result.decoder_error = decoded.decoder_error;
  return result;
}

}  // namespace lantern
