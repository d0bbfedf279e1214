#include "payload/folder_security.h"

#include <algorithm>

#include "core/ascii_case.h"

namespace lantern {

namespace {

// The parties a folder of the run may belong to and be changed by.
bool IsTrusted(std::wstring_view who, bool elevated, std::wstring_view user_sid) {
  if (who == sid::kSystem || who == sid::kAdministrators) return true;
  return !elevated && !user_sid.empty() && who == user_sid;
}

// Entries naming these stand for whoever creates an object inside (only the
// trusted can: nobody else may write there) or for the owner (checked on
// its own).
bool IsPlaceholder(std::wstring_view who) {
  return who == sid::kCreatorOwner || who == sid::kCreatorGroup || who == sid::kOwnerRights;
}

}  // namespace

FolderAccess WorkingFolderAccess(bool elevated, std::wstring_view user_sid) {
  FolderAccess access;
  if (elevated) access.owner = sid::kAdministrators;
  access.entries.push_back({true, sid::kSystem, rights::kFullControl, kInheritedByFilesAndFolders});
  access.entries.push_back({true, sid::kAdministrators, rights::kFullControl, kInheritedByFilesAndFolders});
  if (!elevated && !user_sid.empty()) {
    access.entries.push_back(
        {true, std::wstring(user_sid), rights::kFullControl, kInheritedByFilesAndFolders});
  }
  access.entries.push_back({true, sid::kEveryone, rights::kReadAndExecute, kInheritedByFilesAndFolders});
  return access;
}

ReuseDecision JudgeFolderForReuse(const ExistingFolder& folder, bool elevated, std::wstring_view user_sid) {
  if (folder.is_link) return {ReuseVerdict::Link, {}};
  if (!folder.is_folder) return {ReuseVerdict::NotAFolder, {}};
  if (!IsTrusted(folder.owner, elevated, user_sid)) return {ReuseVerdict::Owner, folder.owner};
  if (!folder.has_access_list) return {ReuseVerdict::NoAccessList, {}};
  // Entries that deny only take access away. Entries inherited by what is
  // made inside count too: the payload would be written with them.
  for (const AccessEntry& entry : folder.entries) {
    if (!entry.allow || (entry.mask & rights::kChanges) == 0) continue;
    if (IsTrusted(entry.sid, elevated, user_sid) || IsPlaceholder(entry.sid)) continue;
    return {ReuseVerdict::OthersMayChange, entry.sid};
  }
  return {ReuseVerdict::Accept, {}};
}

std::wstring WorkingFolderLockName(std::wstring_view folder_path) {
  // FNV-1a over the folded path: a fixed-length name whatever the path's
  // length, free of the backslashes an object name may not hold.
  std::uint64_t hash = 14695981039346656037ull;
  for (const wchar_t c : folder_path) {
    const auto unit = static_cast<std::uint32_t>(static_cast<std::uint16_t>(FoldAscii(c)));
    for (const std::uint32_t byte : {unit & 0xFFu, unit >> 8u}) {
      hash ^= byte;
      hash *= 1099511628211ull;
    }
  }
  // Sixteen upper-case hex digits, written here rather than through the C
  // library's wide printf, which would bring its whole formatter into the
  // bootstrapper for this one line.
  std::wstring name = L"Global\\Lantern.WorkingFolder.0123456789ABCDEF";
  for (std::size_t i = 0; i < 16; ++i) {
    name[name.size() - 1 - i] = L"0123456789ABCDEF"[(hash >> (4 * i)) & 0xFu];
  }
  return name;
}

}  // namespace lantern
