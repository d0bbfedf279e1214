#include <windows.h>

#include "core/payload_paths.h"
#include "framework/unique_handle_win32.h"
#include "payload/folder_handles_win32.h"
#include "payload/ordered_jobs.h"
#include "payload/removal.h"
#include "payload/worker_threads_win32.h"

namespace lantern {

namespace {

constexpr ACCESS_MASK kWalkAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr ACCESS_MASK kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kFileOpen = 0x00000001;              // FILE_OPEN
constexpr ULONG kFileDirectoryFile = 0x00000001;     // FILE_DIRECTORY_FILE
constexpr ULONG kFileNonDirectoryFile = 0x00000040;  // FILE_NON_DIRECTORY_FILE

// Files are deleted a few at a time: most of a deletion is waiting for the
// system.
constexpr unsigned kRemovalThreads = 4;

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// What cannot be deleted now (held open by a program the front end left
// running) goes when the system restarts; a folder is scheduled after what
// is in it, which is the order the system deletes them in.
void ScheduleAtRestart(const std::wstring& path, DiagnosticLog& log) {
  const std::wstring target = path.size() >= MAX_PATH ? L"\\\\?\\" + path : path;
  if (MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    log.LogFormat(L"Scheduled for removal at restart '%s'\n", path);
  } else {
    log.LogFormat(L"Failed to schedule removal at restart '%s' %d\n", path, static_cast<int>(GetLastError()));
  }
}

// Deletes a junction or symbolic link itself, never what it points to. The
// link is deleted through its handle only when the handle really is the
// link: a system that follows links when it opens them would otherwise
// delete the target, outside the working folder, so there it stays.
void RemoveLink(HANDLE parent, const std::wstring& name, const std::wstring& path, DiagnosticLog& log) {
  log.LogFormat(L"Deletion link '%s'\n", path);
  DWORD error = 0;
  const UniqueFileHandle link =
      OpenInFolder(parent, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, kFileOpen, 0, error);
  if (!link || !IsLinkHandle(link.get()) || LiesElsewhere(parent, name, link.get())) return;
  DeleteOpened(link.get(), false);
}

// Files are deleted on several threads, but the list of what goes at the
// next restart is one registry value that each scheduling reads and writes
// back whole: one at a time, or entries are lost.
class RestartList {
 public:
  void Schedule(const std::wstring& path, DiagnosticLog& log) {
    AcquireSRWLockExclusive(&lock_);
    ScheduleAtRestart(path, log);
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

void RemoveFile(HANDLE parent, const std::wstring& name, const std::wstring& path, RestartList& restart,
                DiagnosticLog& log) {
  DWORD error = 0;
  const UniqueFileHandle file =
      OpenInFolder(parent, name, kDeleteAccess, kShareAll, kFileOpen, kFileNonDirectoryFile, error);
  // A link to a file that opening followed: what the handle is open on lies
  // outside, so nothing is done through it.
  if (file && LiesElsewhere(parent, name, file.get())) {
    log.LogFormat(L"Deletion link '%s'\n", path);
    return;
  }
  log.LogFormat(L"Deletion file '%s'\n", path);
  // The read-only attribute is cleared on the file itself, never on a link's target.
  if (file) error = DeleteOpened(file.get(), !IsLinkHandle(file.get()));
  if (error != 0 && !IsGone(error)) restart.Schedule(path, log);
}

void DeleteContents(HANDLE folder, const std::wstring& path, DiagnosticLog& log);

// Deletes the (now empty) folder `name` in `parent`, if it still is the real
// folder of that name.
void RemoveEmptyFolder(HANDLE parent, const std::wstring& name, const std::wstring& path,
                       DiagnosticLog& log) {
  DWORD error = 0;
  const UniqueFileHandle folder = OpenInFolder(parent, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                               kFileOpen, kFileDirectoryFile, error);
  if (folder) {
    FolderEntry listed;
    if (!IsRealEntry(parent, name, folder.get(), listed)) return;
    error = DeleteOpened(folder.get(), false);
  }
  if (error != 0 && !IsGone(error)) ScheduleAtRestart(path, log);
}

// Deletes what is in the real folder `name` of `parent`, then the folder.
void RemoveFolder(HANDLE parent, const std::wstring& name, const std::wstring& path, DiagnosticLog& log) {
  {
    DWORD error = 0;
    const UniqueFileHandle folder =
        OpenInFolder(parent, name, kWalkAccess, kShareAll, kFileOpen, kFileDirectoryFile, error);
    FolderEntry listed;
    if (folder && IsRealEntry(parent, name, folder.get(), listed)) {
      DeleteContents(folder.get(), path, log);
    } else if (folder && listed.is_link()) {
      RemoveLink(parent, name, path, log);
      return;
    }
  }
  log.LogFormat(L"Remove Folder '%s'\n", path);
  RemoveEmptyFolder(parent, name, path, log);
}

void DeleteContents(HANDLE folder, const std::wstring& path, DiagnosticLog& log) {
  // The listing is taken whole first: it shows links as links, also where
  // opening one would follow it.
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, entries)) return;
  const std::wstring prefix = (!path.empty() && path.back() == L'\\') ? path : path + L'\\';
  Win32WorkerThreads threads;
  RestartList restart;
  // Plain files between two links or folders are deleted a few at a time,
  // their lines in the listing's order; links and folders one by one.
  std::size_t first_file = 0;
  const auto delete_files = [&](std::size_t end) {
    OrderedJobs files;
    files.count = end - first_file;
    files.run = [&, first = first_file](std::size_t index, DiagnosticLog& lines) {
      const FolderEntry& entry = entries[first + index];
      RemoveFile(folder, entry.name, prefix + entry.name, restart, lines);
      return true;
    };
    RunOrderedJobs(files, &threads, kRemovalThreads, log);
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const FolderEntry& entry = entries[i];
    if (!entry.is_link() && !entry.is_folder()) continue;
    delete_files(i);
    first_file = i + 1;
    const std::wstring full = prefix + entry.name;
    if (entry.is_link()) {
      RemoveLink(folder, entry.name, full, log);
    } else {
      log.LogFormat(L"Deletion subfolder Folder of '%s'\n", full);
      RemoveFolder(folder, entry.name, full, log);
    }
  }
  delete_files(entries.size());
}

// A catalogue file, reached one real folder at a time from the working
// folder. Whatever stands in the way (a link, a file held open) is left to
// the folder walk that follows.
void DeletePayloadFile(HANDLE working_folder, const std::wstring& file_name, FolderCache& folders) {
  const std::optional<std::wstring> normalised = NormalisePayloadName(file_name);
  if (!normalised) return;
  const std::vector<std::wstring> parts = PayloadNameParts(*normalised);
  DWORD error = 0;
  const HANDLE parent = OpenParentFolder(working_folder, parts, kWalkAccess, kFileOpen, folders, error);
  if (!parent) return;
  // A link opened as itself is deleted as a link; one that opening followed
  // lies elsewhere and is left.
  const UniqueFileHandle file =
      OpenInFolder(parent, parts.back(), kDeleteAccess, kShareAll, kFileOpen, kFileNonDirectoryFile, error);
  if (file && !LiesElsewhere(parent, parts.back(), file.get()))
    DeleteOpened(file.get(), !IsLinkHandle(file.get()));
}

}  // namespace

void DeleteFolderTree(const std::wstring& path, DiagnosticLog& log) {
  // An empty path would name the current directory.
  if (path.empty()) return;
  const std::size_t slash = path.find_last_of(L'\\', path.size() - 2);
  std::wstring parent_path = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
  std::wstring name = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
  if (!name.empty() && name.back() == L'\\') name.pop_back();
  const UniqueFileHandle parent(CreateFileW(parent_path.c_str(), kWalkAccess, kShareAll, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!parent || name.empty()) {
    log.LogFormat(L"Remove Folder '%s'\n", path);
    return;
  }
  FolderEntry listed;
  if (FindEntry(parent.get(), name, listed) && listed.is_link()) {
    RemoveLink(parent.get(), name, path, log);
    return;
  }
  RemoveFolder(parent.get(), name, path, log);
}

void RemoveWorkingFolder(const ResourceList& list, WorkingFolder& folder, DiagnosticLog& log) {
  // Resources the catalogue does not name were never written.
  std::vector<const CResource*> files;
  for (const CResource& resource : list) {
    if (!resource.file_name.empty()) files.push_back(&resource);
  }
  const std::wstring working_folder = folder.Get();  // settled before threads share it
  {
    // The sub-folders are held open only while the catalogue's files go.
    FolderCache folders;
    Win32WorkerThreads threads;
    OrderedJobs deletions;
    deletions.count = files.size();
    deletions.run = [&](std::size_t index, DiagnosticLog& lines) {
      const CResource& resource = *files[index];
      const std::wstring path = folder.GetFilePath(resource.file_name);
      if (path.empty()) return true;
      lines.LogFormat(L"Manual Deletion of '%s'\n", path);
      if (folder.handle()) DeletePayloadFile(folder.handle(), resource.file_name, folders);
      return true;
    };
    RunOrderedJobs(deletions, &threads, kRemovalThreads, log);
  }
  // The front end ran with the working folder as the current directory.
  SetCurrentDirectoryW(L"\\");
  if (working_folder.empty()) return;  // none was made
  log.LogFormat(L"Deletion Folder of '%s'\n", working_folder);
  if (folder.handle()) DeleteContents(folder.handle(), working_folder, log);
  log.LogFormat(L"Remove Folder '%s'\n", working_folder);
  const WorkingFolder::Removal removal = folder.DeleteHeldFolder();
  if (removal.ours && removal.error != 0 && !IsGone(removal.error)) ScheduleAtRestart(working_folder, log);
}

}  // namespace lantern
