// Who may change the working folder. An elevated run starts a program from
// it, so only the system, the administrators and (when the run is not
// elevated) the user may ever write or delete there: this is the access a new
// folder is made with, and the test a folder that is already there must pass
// before a run takes it over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lantern {

// Well-known security identifiers, in their text form.
namespace sid {
constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kEveryone[] = L"S-1-1-0";
// Placeholders that inheritance replaces with whoever creates the object, and
// the object's owner.
constexpr wchar_t kCreatorOwner[] = L"S-1-3-0";
constexpr wchar_t kCreatorGroup[] = L"S-1-3-1";
constexpr wchar_t kOwnerRights[] = L"S-1-3-4";
}  // namespace sid

// Access rights of files and folders.
namespace rights {
constexpr std::uint32_t kFullControl = 0x001F01FF;     // FILE_ALL_ACCESS
constexpr std::uint32_t kReadAndExecute = 0x001200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
// Every right that changes a file or folder, its contents, its access or its
// place: generic write and all, write data (add file), append data (add
// folder), extended attributes, delete child, write attributes, delete, write
// access list, take ownership, and whatever the maximum is.
constexpr std::uint32_t kChanges = 0x10000000 | 0x40000000 | 0x02000000 | 0x0002 | 0x0004 | 0x0010 | 0x0040 |
                                   0x0100 | 0x00010000 | 0x00040000 | 0x00080000;
}  // namespace rights

// Inheritance flags of an access entry.
constexpr std::uint8_t kInheritedByFilesAndFolders = 0x03;  // OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE

struct AccessEntry {
  bool allow = true;  // false: an entry that denies
  std::wstring sid;
  std::uint32_t mask = 0;
  std::uint8_t flags = 0;
  bool operator==(const AccessEntry&) const = default;
};

// The security a new working folder (and a root the run makes) is created
// with, in one step. Its access list is protected: nothing is inherited from
// the folder above.
struct FolderAccess {
  std::wstring owner;  // empty: the creator's default owner
  std::vector<AccessEntry> entries;
  bool operator==(const FolderAccess&) const = default;
};

// Full control for the system and the administrators, and for the user only
// when the run is not elevated; read and execute for everyone; everything
// inherited by what is made inside. Owned by the administrators when
// elevated.
FolderAccess WorkingFolderAccess(bool elevated, std::wstring_view user_sid);

// What the system tells about a folder that is already there.
struct ExistingFolder {
  bool is_folder = false;
  bool is_link = false;  // a reparse point: a junction or a symbolic link
  std::wstring owner;
  bool has_access_list = false;  // no list at all lets everyone do everything
  std::vector<AccessEntry> entries;
};

enum class ReuseVerdict { Accept, Link, NotAFolder, Owner, NoAccessList, OthersMayChange };

struct ReuseDecision {
  ReuseVerdict verdict = ReuseVerdict::Accept;
  std::wstring who;  // the owner, or whoever else may change the folder
  bool operator==(const ReuseDecision&) const = default;
};

// Whether a run may take over a folder that is already there: a real folder
// (not a link), owned by the system or the administrators (or by the user
// when the run is not elevated), whose access list lets no one else write to
// it or delete anything in it, also through entries that only what is made
// inside would inherit.
ReuseDecision JudgeFolderForReuse(const ExistingFolder& folder, bool elevated, std::wstring_view user_sid);

// The name of the lock that keeps two runs out of one working folder: the
// same for every spelling of the path in upper or lower case.
std::wstring WorkingFolderLockName(std::wstring_view folder_path);

}  // namespace lantern
