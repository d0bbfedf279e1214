// Files and folders reached one name at a time relative to the handle of the
// folder that holds them, never by a path and never through a link: what a
// handle was opened on cannot be swapped for something else afterwards, and
// a link met on the way is refused (or removed as a link) instead of
// followed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/unique_handle_win32.h"

namespace lantern {

// Opens or creates `name` (one part, no backslash) in the folder open as
// `parent` with the system's own create call (NtCreateFile), never following
// a link at `name` itself. `disposition` and `options` are its FILE_*
// values; FILE_OPEN_REPARSE_POINT and synchronous access are always added.
// An empty handle on failure, with `error` the system error.
UniqueFileHandle OpenInFolder(HANDLE parent, std::wstring_view name, ACCESS_MASK access, ULONG share,
                              ULONG disposition, ULONG options, DWORD& error,
                              PSECURITY_DESCRIPTOR descriptor = nullptr);

// One entry of a folder as the folder lists it: the entry itself, also where
// it is a link that opening would follow.
struct FolderEntry {
  std::wstring name;
  DWORD attributes = 0;
  std::uint64_t file_id = 0;
  bool is_folder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool is_link() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

// Every entry of the folder open as `folder`, as it is now, without "." and
// "..". False when the folder cannot be listed.
bool ListFolder(HANDLE folder, std::vector<FolderEntry>& entries);

// The entry named `name` in the folder's listing, ignoring case as the file
// system does; false when there is none.
bool FindEntry(HANDLE folder, std::wstring_view name, FolderEntry& entry);

// Whether an open handle is a link itself (opened without following it).
bool IsLinkHandle(HANDLE handle);

// The file system's number for what a handle is open on (0 when unknown).
std::uint64_t FileIdOf(HANDLE handle);

// Whether `opened`, just opened as `name` in `parent`, is what the system
// says lies elsewhere: its final path is not the folder's joined with the
// name. A system that follows a link on opening however it was asked shows
// so; a link opened as a link keeps its own path.
bool LiesElsewhere(HANDLE parent, std::wstring_view name, HANDLE opened);

// Whether `opened`, just opened as `name` in `parent`, is the real entry of
// that name: not a link by its handle, not a link in the folder's listing
// (where a system that follows links on opening still shows links to
// folders), not lying elsewhere, and the same file the listing names.
// `listed` receives the listing's entry.
bool IsRealEntry(HANDLE parent, std::wstring_view name, HANDLE opened, FolderEntry& listed);

// Makes the file `name` new in the folder open as `parent`, open for writing
// and shared with nobody. An entry of that name is deleted first (a link as a
// link): writing into whatever stands there could write through a link, or
// into a file linked from elsewhere. A read-only file stays and the creation
// fails, as replacing it would, and so does a link that can only be opened
// as what it points to. An empty handle on failure, with `error`.
UniqueFileHandle CreateFreshFile(HANDLE parent, const std::wstring& name, DWORD& error);

// Sub-folders of the working folder opened in this run and found to be real
// folders, by their path inside it, so that each is made and checked once
// however many files it holds. What a handle was opened on stays what it
// is, so a folder found real once stays the folder writes go to. The handles
// stay open until the cache ends. Safe to use on several threads at once.
class FolderCache {
 public:
  FolderCache() = default;
  FolderCache(const FolderCache&) = delete;
  FolderCache& operator=(const FolderCache&) = delete;

  // The handle kept for `path`; null when there is none.
  HANDLE Find(const std::wstring& path);
  // Keeps `folder` for `path` and returns its handle; the one kept before
  // when another thread got there first.
  HANDLE Keep(const std::wstring& path, UniqueFileHandle folder);

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::unordered_map<std::wstring, UniqueFileHandle> folders_;
};

// The folder that holds the payload file whose normalised name has `parts`:
// each sub-folder opened, with `disposition` (FILE_OPEN or FILE_OPEN_IF), in
// the one above it from the working folder `top`, and used only when it is a
// real folder; the ones known to `cache` are taken from it. Null with `error`
// when one is missing, cannot be made or is not a real folder.
HANDLE OpenParentFolder(HANDLE top, const std::vector<std::wstring>& parts, ACCESS_MASK access,
                        ULONG disposition, FolderCache& cache, DWORD& error);

// Deletes what the handle is open on (it needs DELETE access); a read-only
// file first loses that attribute through the same handle. The system error,
// or 0.
DWORD DeleteOpened(HANDLE handle, bool clear_read_only);

}  // namespace lantern
