#include <windows.h>

#include "framework/unique_handle_win32.h"
#include "payload/payload_paths.h"
#include "payload/removal.h"

namespace lantern {

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Deletes a junction or symbolic link itself, never what it points to. The
// link is opened as a link and deleted through that handle only when the
// handle really is the link: a system that follows links when it opens them
// would otherwise delete the target, outside the working folder.
void RemoveLink(const std::wstring& path, DiagnosticLog& log) {
  log.LogFormat(L"Deletion link '%s'\n", path);
  const UniqueFileHandle link(CreateFileW(
      path.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION opened;
  if (!link || !GetFileInformationByHandle(link.get(), &opened) ||
      !(opened.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return;  // left in place, and the folders above it with it
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition, sizeof(disposition));
}

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

void DeleteFolderTree(const std::wstring& path, DiagnosticLog& log) {
  // An empty path would make the pattern "\*.*": the whole drive.
  if (path.empty()) return;
  if (IsLink(GetFileAttributesW(path.c_str()))) {
    RemoveLink(path, log);
    return;
  }

  std::wstring prefix = path;
  if (prefix.back() != L'\\') prefix += L'\\';
  // The listing pattern and every entry's path must fit whole; an entry that
  // does not is left in place (and so is its folder) rather than acted on
  // under a shortened name.
  if (JoinPath(prefix, L"*.*", kMaxPath)) {
    const std::wstring pattern = prefix + L"*.*";
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle listing(
        FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &entry, FindExSearchNameMatch, nullptr, 0));
    if (listing) {
      do {
        const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && IsDotOrDotDot(entry.cFileName)) continue;
        const std::wstring full = prefix + entry.cFileName;
        if (full.size() + 1 > kDeletePathRoom) {
          log.LogFormat(L"Path too long to delete '%s'\n", full);
        } else if (IsLink(entry.dwFileAttributes)) {
          RemoveLink(full, log);
        } else if (folder) {
          log.LogFormat(L"Deletion subfolder Folder of '%s'\n", full);
          DeleteFolderTree(full, log);
        } else {
          log.LogFormat(L"Deletion file '%s'\n", full);
          DeleteFileW(full.c_str());
        }
      } while (FindNextFileW(listing.get(), &entry));
    }
  } else {
    log.LogFormat(L"Path too long to delete '%s'\n", path);
  }
  log.LogFormat(L"Remove Folder '%s'\n", path);
  RemoveDirectoryW(path.c_str());
}

void RemoveWorkingFolder(const ResourceList& list, WorkingFolder& folder, DiagnosticLog& log) {
  for (const CResource& resource : list) {
    // Resources the catalogue does not name were never written.
    if (resource.file_name.empty()) continue;
    const std::wstring path = folder.GetFilePath(resource.file_name);
    if (path.empty()) continue;
    log.LogFormat(L"Manual Deletion of '%s'\n", path);
    if (IsLink(GetFileAttributesW(path.c_str()))) {
      RemoveLink(path, log);
    } else {
      DeleteFileW(path.c_str());
    }
  }
  const std::wstring working_folder = folder.Get();
  // The front end ran with the working folder as the current directory.
  SetCurrentDirectoryW(L"\\");
  if (working_folder.empty()) return;  // none was made
  log.LogFormat(L"Deletion Folder of '%s'\n", working_folder);
  DeleteFolderTree(working_folder, log);
}

}  // namespace lantern
