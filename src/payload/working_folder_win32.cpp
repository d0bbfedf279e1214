#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>

#include "framework/unique_handle_win32.h"
#include "payload/payload_paths.h"
#include "payload/working_folder.h"

namespace lantern {

namespace {

// The working folder's GUID when no new one can be made.
constexpr GUID kFallbackGuid = {0x66EC6C3A, 0x0B4A, 0x4CAB, {0xA2, 0x4A, 0x53, 0xB2, 0xD4, 0x17, 0x6C, 0xD1}};
// The name used when a GUID cannot be written as text.
constexpr wchar_t kFallbackGuidText[] = L"{00000001-0000-0000-0000-000000000001}";
constexpr int kGuidTextRoom = 50;

// The GUID in registry form, or nothing when it cannot be written as text.
bool GuidText(const GUID& guid, std::wstring& text) {
  wchar_t buffer[kGuidTextRoom] = {};
  if (StringFromGUID2(guid, buffer, kGuidTextRoom) == 0) return false;
  text = buffer;
  return true;
}

// The full path of a joined path, so that the folder is the same wherever the
// current directory goes later (the removal moves it to the drive's root).
std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[kMaxPath] = {};
  const DWORD length = GetFullPathNameW(path.c_str(), kMaxPath, buffer, nullptr);
  if (length == 0 || length >= kMaxPath) return {};
  return std::wstring(buffer, length);
}

}  // namespace

ResultCode WorkingFolder::CreateProbeFile(const std::wstring& root) {
  // Kept whole: a root too long for the joins fails below rather than being
  // cut to a prefix that names another folder.
  root_ = root;
  log_.LogFormat(L"Set temp folder '%s'\n", root_);
  CreateDirectoryW(root_.c_str(), nullptr);  // makes the last level when its parent exists

  GUID guid = {};
  CoCreateGuid(&guid);  // on failure the all-zero GUID serves as well
  std::wstring name;
  if (!GuidText(guid, name)) name = kFallbackGuidText;

  const std::optional<std::wstring> path = JoinPath(root_, name);
  UniqueFileHandle probe;
  if (path) {
    probe.reset(CreateFileW(path->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  }
  const std::wstring shown = path ? *path : root_ + L"\\" + name;
  if (!probe) {
    log_.LogFormat(L"Failed to create temp file '%s'\n", shown);
    return rc::Fail;
  }
  log_.LogFormat(L"Successfully created temp file '%s'\n", shown);
  return rc::Ok;  // closing the handle deletes the probe
}

const std::wstring& WorkingFolder::Get() {
  if (decided_) return folder_;
  decided_ = true;

  GUID guid = {};
  if (!zero_guid_) {
    log_.LogText(L"Set GUID in folder name\n");
    if (FAILED(CoCreateGuid(&guid))) {
      log_.LogText(L"Failed to create GUID using predefined\n");
      guid = kFallbackGuid;
    }
  }
  std::wstring name;
  if (!GuidText(guid, name)) {
    name = kFallbackGuidText;
    log_.LogText(L"Failed to convert GUID to string\n");
  }

  const std::optional<std::wstring> joined = JoinPath(root_, name);
  folder_ = joined ? FullPath(*joined) : std::wstring();
  if (folder_.empty()) {
    // Without a whole path every later step must fail rather than act on a
    // shortened one.
    log_.LogFormat(L"No working folder fits under '%s'\n", root_);
    return folder_;
  }
  SHCreateDirectoryExW(nullptr, folder_.c_str(), nullptr);
  GrantEveryoneReadAndExecute(folder_);
  log_.LogFormat(L"Set the temp folder to be '%s'\n", folder_);
  return folder_;
}

std::wstring WorkingFolder::GetFilePath(std::wstring_view file_name) {
  const std::wstring& folder = Get();
  if (folder.empty()) return {};
  if (file_name.empty()) return folder;
  if (!IsNameInsideFolder(file_name)) return {};
  return JoinPath(folder, file_name).value_or(std::wstring());
}

WorkingFolder& TheWorkingFolder() {
  static WorkingFolder folder(TheLog());
  return folder;
}

void GrantEveryoneReadAndExecute(const std::wstring& path) {
  // The bootstrapper runs elevated and starts the front end from this folder:
  // others may read and run the payload, but must not be able to change it
  // between extraction and launch.
  constexpr std::size_t kPathRoom = 1024;
  if (path.size() >= kPathRoom) return;
  std::wstring object = path;  // the security functions take a writable text

  PACL current = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  if (GetNamedSecurityInfoW(object.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &current, nullptr, &raw_descriptor) != ERROR_SUCCESS) {
    return;
  }
  const UniqueLocalMemory descriptor(raw_descriptor);  // holds `current` too
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  UniqueSid everyone;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put())) return;

  EXPLICIT_ACCESS_W access = {};
  access.grfAccessPermissions = GENERIC_READ | GENERIC_EXECUTE;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  access.Trustee.pMultipleTrustee = nullptr;
  access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.get());

  PACL raw_updated = nullptr;
  if (SetEntriesInAclW(1, &access, current, &raw_updated) != ERROR_SUCCESS) return;
  const UniqueLocalMemory updated(raw_updated);
  SetNamedSecurityInfoW(object.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        raw_updated, nullptr);
}

}  // namespace lantern
