#include "payload/folder_handles_win32.h"

#include <winternl.h>

#include <array>

#include "core/when_memory_fails.h"

namespace lantern {

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

// The system's own create call, which alone takes a folder's handle to create
// relative to. ntdll is in every process, so it is found rather than imported.
struct NtFunctions {
  NtCreateFileFn create = nullptr;
  RtlNtStatusToDosErrorFn to_error = nullptr;
};

const NtFunctions& Nt() {
  static const NtFunctions functions = [] {
    NtFunctions found;
    if (const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
      found.create = reinterpret_cast<NtCreateFileFn>(
          reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtCreateFile")));
      found.to_error = reinterpret_cast<RtlNtStatusToDosErrorFn>(
          reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
    return found;
  }();
  return functions;
}

constexpr ULONG kFileOpenReparsePoint = 0x00200000;
constexpr ULONG kFileSynchronousIoNonAlert = 0x00000020;

}  // namespace

UniqueFileHandle OpenInFolder(HANDLE parent, std::wstring_view name, ACCESS_MASK access, ULONG share,
                              ULONG disposition, ULONG options, DWORD& error,
                              PSECURITY_DESCRIPTOR descriptor) {
  error = 0;
  const NtFunctions& nt = Nt();
  // One part only: a separator would let the system walk (and follow links)
  // where no handle checks it.
  if (!nt.create || !nt.to_error || parent == INVALID_HANDLE_VALUE || !parent ||
      name.find_first_of(L"\\/") != std::wstring_view::npos || name.size() > 0x7FFF / sizeof(wchar_t)) {
    error = ERROR_INVALID_PARAMETER;
    return {};
  }
  std::wstring text(name);
  UNICODE_STRING object_name;
  object_name.Buffer = text.data();
  object_name.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  object_name.MaximumLength = object_name.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, parent, descriptor);
  IO_STATUS_BLOCK status_block{};
  HANDLE opened = nullptr;
  const NTSTATUS status =
      nt.create(&opened, access | SYNCHRONIZE, &attributes, &status_block, nullptr, FILE_ATTRIBUTE_NORMAL,
                share, disposition, options | kFileOpenReparsePoint | kFileSynchronousIoNonAlert, nullptr, 0);
  if (status < 0 || !opened) {
    error = nt.to_error(status);
    if (error == 0) error = ERROR_GEN_FAILURE;
    return {};
  }
  return UniqueFileHandle(opened);
}

bool ListFolder(HANDLE folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  // A listing of its own each time, on a new handle of the same folder: a
  // handle's listing may keep what it saw the first time (and the name it
  // was first asked for).
  DWORD error = 0;
  const UniqueFileHandle listing =
      OpenInFolder(folder, L"", FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   0x00000001 /* FILE_OPEN */, 0x00000001 /* FILE_DIRECTORY_FILE */, error);
  if (!listing) return false;
  // Room for a good many entries per call; entries are 8-byte aligned.
  alignas(8) static thread_local std::array<unsigned char, 64 * 1024> buffer;
  FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(listing.get(), query, buffer.data(),
                                      static_cast<DWORD>(buffer.size()))) {
      return GetLastError() == ERROR_NO_MORE_FILES;
    }
    query = FileIdBothDirectoryInfo;
    std::size_t at = 0;
    for (;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
      const std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        entries.push_back(
            {std::wstring(name), info->FileAttributes, static_cast<std::uint64_t>(info->FileId.QuadPart)});
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
}

bool FindEntry(HANDLE folder, std::wstring_view name, FolderEntry& entry) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, entries)) return false;
  for (FolderEntry& listed : entries) {
    if (CompareStringOrdinal(listed.name.data(), static_cast<int>(listed.name.size()), name.data(),
                             static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
      entry = std::move(listed);
      return true;
    }
  }
  return false;
}

bool IsLinkHandle(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) return false;
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::uint64_t FileIdOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return 0;
  return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

namespace {

std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
  return {};
}

}  // namespace

bool LiesElsewhere(HANDLE parent, std::wstring_view name, HANDLE opened) {
  std::wstring expected = FinalPath(parent);
  const std::wstring actual = FinalPath(opened);
  // Where the system cannot tell, the handle's own checks stand alone.
  if (expected.empty() || actual.empty()) return false;
  if (expected.back() != L'\\') expected += L'\\';
  expected += name;
  return CompareStringOrdinal(expected.data(), static_cast<int>(expected.size()), actual.data(),
                              static_cast<int>(actual.size()), TRUE) != CSTR_EQUAL;
}

bool IsRealEntry(HANDLE parent, std::wstring_view name, HANDLE opened, FolderEntry& listed) {
  if (IsLinkHandle(opened) || LiesElsewhere(parent, name, opened)) return false;
  if (!FindEntry(parent, name, listed) || listed.is_link()) return false;
  // Numbers are compared where the file system gives both.
  const std::uint64_t id = FileIdOf(opened);
  return id == 0 || listed.file_id == 0 || id == listed.file_id;
}

UniqueFileHandle CreateFreshFile(HANDLE parent, const std::wstring& name, DWORD& error) {
  constexpr ULONG kFileOpen = 0x00000001;              // FILE_OPEN
  constexpr ULONG kFileCreate = 0x00000002;            // FILE_CREATE
  constexpr ULONG kFileNonDirectoryFile = 0x00000040;  // FILE_NON_DIRECTORY_FILE
  // In a new folder the name is almost always free: one call that only ever
  // makes a new file (never opening what stands there, a link included)
  // spares a look-up, which grows dear as a folder fills. Anything in the
  // way takes the careful path below.
  if (UniqueFileHandle made =
          OpenInFolder(parent, name, GENERIC_WRITE, 0, kFileCreate, kFileNonDirectoryFile, error)) {
    return made;
  }
  if (UniqueFileHandle existing = OpenInFolder(parent, name, DELETE | FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               kFileOpen, kFileNonDirectoryFile, error)) {
    FILE_BASIC_INFO basic{};
    if (LiesElsewhere(parent, name, existing.get())) {
      error = ERROR_CANT_ACCESS_FILE;  // a link that opening follows: neither it nor its target is touched
    } else if (GetFileInformationByHandleEx(existing.get(), FileBasicInfo, &basic, sizeof(basic)) &&
               (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0 && !IsLinkHandle(existing.get())) {
      error = ERROR_ACCESS_DENIED;
    } else {
      error = DeleteOpened(existing.get(), false);
    }
    if (error != 0) return {};
  } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    return {};  // a folder of that name, or a file held open
  }
  return OpenInFolder(parent, name, GENERIC_WRITE, 0, kFileCreate, kFileNonDirectoryFile, error);
}

HANDLE FolderCache::Find(const std::wstring& path) {
  AcquireSRWLockShared(&lock_);
  const auto found = folders_.find(path);
  const HANDLE folder = found == folders_.end() ? nullptr : found->second.get();
  ReleaseSRWLockShared(&lock_);
  return folder;
}

HANDLE FolderCache::Keep(const std::wstring& path, UniqueFileHandle folder) {
  AcquireSRWLockExclusive(&lock_);
  HANDLE kept = folder.get();
  LANTERN_TRY {
    kept = folders_.try_emplace(path, std::move(folder)).first->second.get();
  } LANTERN_CATCH(...) {
    // Not kept for want of memory: the handle serves this once, and the
    // folder is opened again next time.
    kept = nullptr;
  }
  ReleaseSRWLockExclusive(&lock_);
  return kept;
}

HANDLE OpenParentFolder(HANDLE top, const std::vector<std::wstring>& parts, ACCESS_MASK access,
                        ULONG disposition, FolderCache& cache, DWORD& error) {
  constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  constexpr ULONG kFileDirectoryFile = 0x00000001;  // FILE_DIRECTORY_FILE
  error = 0;
  HANDLE parent = top;
  std::wstring path;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (i > 0) path += L'\\';
    path += parts[i];
    if (const HANDLE known = cache.Find(path)) {
      parent = known;
      continue;
    }
    UniqueFileHandle next =
        OpenInFolder(parent, parts[i], access, kShareAll, disposition, kFileDirectoryFile, error);
    if (!next) return nullptr;
    FolderEntry listed;
    if (!IsRealEntry(parent, parts[i], next.get(), listed)) {
      error = ERROR_CANT_ACCESS_FILE;
      return nullptr;
    }
    // Kept open by the cache for as long as the files beneath need it.
    parent = cache.Keep(path, std::move(next));
    if (!parent) {
      error = ERROR_NOT_ENOUGH_MEMORY;
      return nullptr;
    }
  }
  return parent;
}

DWORD DeleteOpened(HANDLE handle, bool clear_read_only) {
  if (clear_read_only) {
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      // Zero times leave them as they are.
      FILE_BASIC_INFO changed{};
      changed.FileAttributes = (basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
      if (changed.FileAttributes != FILE_ATTRIBUTE_NORMAL) changed.FileAttributes &= ~FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(handle, FileBasicInfo, &changed, sizeof(changed));
    }
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))) return 0;
  const DWORD error = GetLastError();
  return error ? error : ERROR_GEN_FAILURE;
}

}  // namespace lantern
