#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>

#include "core/format.h"
#include "core/payload_paths.h"
#include "payload/folder_handles_win32.h"
#include "payload/working_folder.h"

namespace lantern {

namespace {

// The working folder's GUID when no new one can be made.
constexpr GUID kFallbackGuid = {0x66EC6C3A, 0x0B4A, 0x4CAB, {0xA2, 0x4A, 0x53, 0xB2, 0xD4, 0x17, 0x6C, 0xD1}};
// The name used when a GUID cannot be written as text.
constexpr wchar_t kFallbackGuidText[] = L"{00000001-0000-0000-0000-000000000001}";
constexpr int kGuidTextRoom = 50;

// The hold on the working folder: enough to list it and to be a current
// directory, and shared for reading and writing but not for deleting, so that
// nobody can rename or delete the folder while it is held.
constexpr ACCESS_MASK kHeldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr ULONG kHeldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kFileOpen = 0x00000001;           // FILE_OPEN
constexpr ULONG kFileCreate = 0x00000002;         // FILE_CREATE
constexpr ULONG kFileDirectoryFile = 0x00000001;  // FILE_DIRECTORY_FILE

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

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  // A drive's root keeps its backslash.
  return path.substr(0, slash == 2 && path[1] == L':' ? slash + 1 : slash);
}

std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
  const UniqueLocalMemory owned(text);
  return text;
}

}  // namespace

FolderSecurity::Token FolderSecurity::ReadToken() {
  Token token;
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return token;
  const UniqueKernelHandle process_token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (GetTokenInformation(raw, TokenElevation, &elevation, sizeof(elevation), &size)) {
    token.elevated = elevation.TokenIsElevated != 0;
  }
  alignas(8) unsigned char user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
  if (GetTokenInformation(raw, TokenUser, user, sizeof(user), &size)) {
    token.user_sid = SidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
  }
  return token;
}

UniqueFileHandle FolderSecurity::CreateFolder(HANDLE parent, const std::wstring& name,
                                              PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK access,
                                              ULONG share, DWORD& error) {
  return OpenInFolder(parent, name, access, share, kFileCreate, kFileDirectoryFile, error, descriptor);
}

bool FolderSecurity::CreateFolderAt(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

bool FolderSecurity::ReadAccess(HANDLE folder, ExistingFolder& facts) {
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                      nullptr, &list, nullptr, &raw) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueLocalMemory descriptor(raw);  // holds the owner and the list too
  facts.owner = SidText(owner);
  facts.has_access_list = list != nullptr;
  facts.entries.clear();
  for (DWORD i = 0; list && i < list->AceCount; ++i) {
    void* raw_entry = nullptr;
    if (!GetAce(list, i, &raw_entry)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(raw_entry);
    AccessEntry entry;
    entry.flags = header->AceFlags;
    switch (header->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE: {
        // These share one layout: the mask, then the SID.
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(raw_entry);
        entry.allow =
            header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        entry.mask = allowed->Mask;
        entry.sid = SidText(const_cast<DWORD*>(&allowed->SidStart));
        break;
      }
      case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        // Not made for files; whoever it names counts as someone else.
        entry.mask = static_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(raw_entry)->Mask;
        entry.sid = L"(object entry)";
        break;
      default:
        continue;  // denials of other kinds, labels and attributes grant nothing
    }
    facts.entries.push_back(std::move(entry));
  }
  return true;
}

SecurityDescriptorBlock SecurityDescriptorBlock::Make(const FolderAccess& access) {
  SecurityDescriptorBlock block;
  std::vector<UniqueLocalMemory> sids;
  auto to_sid = [&sids](const std::wstring& text) -> PSID {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text.c_str(), &sid)) return nullptr;
    sids.emplace_back(sid);
    return sid;
  };

  DWORD list_size = sizeof(ACL);
  std::vector<PSID> entry_sids;
  for (const AccessEntry& entry : access.entries) {
    const PSID sid = to_sid(entry.sid);
    if (!sid) return block;
    entry_sids.push_back(sid);
    list_size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
  }
  std::vector<DWORD> list_bytes((list_size + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* list = reinterpret_cast<PACL>(list_bytes.data());
  if (!InitializeAcl(list, list_size, ACL_REVISION)) return block;
  for (std::size_t i = 0; i < access.entries.size(); ++i) {
    const AccessEntry& entry = access.entries[i];
    const BOOL added = entry.allow
                           ? AddAccessAllowedAceEx(list, ACL_REVISION, entry.flags, entry.mask, entry_sids[i])
                           : AddAccessDeniedAceEx(list, ACL_REVISION, entry.flags, entry.mask, entry_sids[i]);
    if (!added) return block;
  }

  SECURITY_DESCRIPTOR absolute;
  if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION)) return block;
  if (!access.owner.empty()) {
    const PSID owner = to_sid(access.owner);
    if (!owner || !SetSecurityDescriptorOwner(&absolute, owner, FALSE)) return block;
  }
  if (!SetSecurityDescriptorDacl(&absolute, TRUE, list, FALSE) ||
      !SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return block;
  }
  DWORD size = 0;
  MakeSelfRelativeSD(&absolute, nullptr, &size);
  if (size == 0) return block;
  std::vector<unsigned char> bytes(size);
  if (!MakeSelfRelativeSD(&absolute, bytes.data(), &size)) return block;
  block.bytes_ = std::move(bytes);
  return block;
}

SecurityDescriptorBlock WorkingFolder::MakeDescriptor() {
  const FolderSecurity::Token token = security_.ReadToken();
  return SecurityDescriptorBlock::Make(WorkingFolderAccess(token.elevated, token.user_sid));
}

ResultCode WorkingFolder::CreateProbeFile(const std::wstring& root) {
  // Kept whole: a root too long for the joins fails below rather than being
  // cut to a prefix that names another folder.
  root_ = root;
  log_.LogFormat(L"Set temp folder '%s'\n", root_);
  // Makes the last level when its parent exists, protected like the working
  // folder: a root the run makes is no place others may write to either.
  if (GetFileAttributesW(root_.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SecurityDescriptorBlock descriptor = MakeDescriptor();
    if (!descriptor.empty()) security_.CreateFolderAt(root_, descriptor.get());
  }

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

void WorkingFolder::Decide() {
  decided_ = true;
  GUID guid = {};
  if (!zero_guid_) {
    log_.LogText(L"Set GUID in folder name\n");
    if (FAILED(CoCreateGuid(&guid))) {
      log_.LogText(L"Failed to create GUID using predefined\n");
      guid = kFallbackGuid;
    }
  }
  if (!GuidText(guid, name_)) {
    name_ = kFallbackGuidText;
    log_.LogText(L"Failed to convert GUID to string\n");
  }
  const std::optional<std::wstring> joined = JoinPath(root_, name_);
  folder_ = joined ? FullPath(*joined) : std::wstring();
  if (folder_.empty()) {
    // Without a whole path every later step must fail rather than act on a
    // shortened one.
    log_.LogFormat(L"No working folder fits under '%s'\n", root_);
    state_ = State::Unusable;
  }
}

bool WorkingFolder::MakeRoot() {
  const std::wstring root = ParentOf(folder_);
  if (root.empty()) return false;
  // Every missing level, from the top down, made with the working folder's
  // protection.
  std::vector<std::wstring> missing;
  for (std::wstring level = root;
       !level.empty() && GetFileAttributesW(level.c_str()) == INVALID_FILE_ATTRIBUTES;
       level = ParentOf(level)) {
    missing.push_back(level);
    if (ParentOf(level) == level) break;
  }
  if (!missing.empty()) {
    SecurityDescriptorBlock descriptor = MakeDescriptor();
    if (descriptor.empty()) return false;
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
      security_.CreateFolderAt(*level, descriptor.get());
    }
  }
  root_handle_.reset(CreateFileW(root.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                 kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return root_handle_.valid();
}

bool WorkingFolder::TakeLock() {
  SetLastError(0);
  lock_.reset(CreateMutexW(nullptr, FALSE, WorkingFolderLockName(folder_).c_str()));
  // A lock that was already there belongs to a run that still has the folder.
  return lock_.valid() && GetLastError() != ERROR_ALREADY_EXISTS;
}

bool WorkingFolder::Refuse(const std::wstring& why) {
  log_.LogFormat(L"The working folder '%s' %s; it is not used\n", folder_, why);
  handle_.reset();
  state_ = State::Refused;
  return false;
}

void WorkingFolder::Open() {
  state_ = State::Unusable;
  DWORD error = 0;
  if (!MakeRoot()) {
    error = GetLastError();
  } else if (!TakeLock()) {
    lock_.reset();
    Refuse(L"is in use by another run");
    return;
  } else if (SecurityDescriptorBlock descriptor = MakeDescriptor(); descriptor.empty()) {
    error = GetLastError();
  } else {
    handle_ =
        security_.CreateFolder(root_handle_.get(), name_, descriptor.get(), kHeldAccess, kHeldShare, error);
    if (handle_) {
      state_ = State::Usable;
    } else if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
      if (!TakeOver()) return;
    }
  }
  if (state_ == State::Usable) {
    file_id_ = FileIdOf(handle_.get());
  } else {
    log_.LogFormat(L"Failed to make the working folder '%s' %d\n", folder_, static_cast<int>(error));
  }
  log_.LogFormat(L"Set the temp folder to be '%s'\n", folder_);
}

bool WorkingFolder::TakeOver() {
  DWORD error = 0;
  handle_ =
      OpenInFolder(root_handle_.get(), name_, kHeldAccess, kHeldShare, kFileOpen, kFileDirectoryFile, error);
  FolderEntry listed;
  const bool listed_found = FindEntry(root_handle_.get(), name_, listed);
  if (!handle_) {
    if (listed_found && listed.is_link()) return Refuse(L"is a link");
    if (error == ERROR_DIRECTORY || (listed_found && !listed.is_folder())) return Refuse(L"is not a folder");
    return Refuse(Format(L"cannot be opened (%lu)", error));
  }
  ExistingFolder facts;
  facts.is_folder = true;
  facts.is_link = !IsRealEntry(root_handle_.get(), name_, handle_.get(), listed);
  if (!facts.is_link && !security_.ReadAccess(handle_.get(), facts)) {
    return Refuse(Format(L"cannot be checked (%lu)", GetLastError()));
  }
  const FolderSecurity::Token token = security_.ReadToken();
  const ReuseDecision decision = JudgeFolderForReuse(facts, token.elevated, token.user_sid);
  switch (decision.verdict) {
    case ReuseVerdict::Accept:
      state_ = State::Usable;
      return true;
    case ReuseVerdict::Link:
      return Refuse(L"is a link");
    case ReuseVerdict::NotAFolder:
      return Refuse(L"is not a folder");
    case ReuseVerdict::Owner:
      return Refuse(L"belongs to " + (decision.who.empty() ? std::wstring(L"nobody known") : decision.who));
    case ReuseVerdict::NoAccessList:
      return Refuse(L"has no access list");
    case ReuseVerdict::OthersMayChange:
      return Refuse(L"can be changed by " + decision.who);
  }
  return Refuse(L"cannot be checked");
}

ResultCode WorkingFolder::Prepare() {
  Get();
  return state_ == State::Refused ? rc::Fail : rc::Ok;
}

const std::wstring& WorkingFolder::Get() {
  if (!decided_) Decide();
  if (state_ == State::Undecided) Open();
  return folder_;
}

std::wstring WorkingFolder::GetFilePath(std::wstring_view file_name) {
  const std::wstring& folder = Get();
  if (folder.empty()) return {};
  if (file_name.empty()) return folder;
  const std::optional<std::wstring> normalised = NormalisePayloadName(file_name);
  if (!normalised) return {};
  return JoinPath(folder, *normalised).value_or(std::wstring());
}

WorkingFolder::Removal WorkingFolder::DeleteHeldFolder() {
  if (state_ != State::Usable || !root_handle_) return {false, 0};
  handle_.reset();
  DWORD error = 0;
  const UniqueFileHandle folder = OpenInFolder(root_handle_.get(), name_, DELETE | FILE_READ_ATTRIBUTES,
                                               kShareAll, kFileOpen, kFileDirectoryFile, error);
  if (!folder) return {true, error};
  FolderEntry listed;
  // Only the folder this run held: never a link or another folder put in its place.
  if (!IsRealEntry(root_handle_.get(), name_, folder.get(), listed) || FileIdOf(folder.get()) != file_id_) {
    return {false, 0};
  }
  const DWORD deleted = DeleteOpened(folder.get(), false);
  // The name is free for the next run once the folder is gone.
  if (deleted == 0) lock_.reset();
  return {true, deleted};
}

}  // namespace lantern
