#include "checks/disk_space_check.h"

namespace lantern {

std::optional<PathParts> SplitPath(std::wstring_view path) {
  PathParts parts;
  if (path.size() >= 2 && path[1] == L':') {
    parts.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring_view::npos) {
    parts.directory = path.substr(0, slash + 1);
    path.remove_prefix(slash + 1);
  }
  const std::size_t dot = path.rfind(L'.');
  if (dot != std::wstring_view::npos) {
    parts.extension = path.substr(dot);
    path = path.substr(0, dot);
  }
  parts.file_name = path;

  if (parts.drive.size() >= kDriveRoom || parts.directory.size() >= kPathPartRoom ||
      parts.file_name.size() >= kPathPartRoom || parts.extension.size() >= kPathPartRoom) {
    return std::nullopt;
  }
  return parts;
}

std::wstring FreeSpaceQueryPath(const std::wstring& drive, const std::wstring& root) {
  if (!drive.empty()) return drive;
  // "\\server\share\": the space query wants a share's root with its
  // trailing backslash, and the empty text would measure the current
  // folder's drive instead of the one the payload goes to.
  if (root.starts_with(L"\\\\")) {
    const std::size_t server_end = root.find(L'\\', 2);
    if (server_end != std::wstring::npos) {
      const std::size_t share_end = root.find(L'\\', server_end + 1);
      if (share_end == std::wstring::npos) return root + L"\\";
      return root.substr(0, share_end + 1);
    }
  }
  return root;
}

DiskSpaceResult CheckFreeDiskSpace(const StringTable& table, DiskSpace& disk, DiagnosticLog& log,
                                   const std::wstring& working_folder_root) {
  log.LogText(L"Free Disk Space\n");
  DiskSpaceResult result;
  result.RequiredDiskMB = ReadConfigNumber(LoadConfigString(table, cfg::RequiredDiskMB));

  const std::optional<PathParts> parts = SplitPath(working_folder_root);
  if (!parts) {
    log.LogFormat(L"Failed to parse directory for free disk space check. %s\n", working_folder_root);
    return result;
  }
  result.WorkingDrive = parts->drive;
  log.LogFormat(L"Free Disk Space: Checking at least %I64d MB free on drive '%s' for temp directory '%s'\n",
                result.RequiredDiskMB, result.WorkingDrive, working_folder_root);

  const std::optional<std::uint64_t> free_bytes =
      disk.FreeBytesAvailable(FreeSpaceQueryPath(result.WorkingDrive, working_folder_root));
  if (!free_bytes) {
    log.LogText(L"Failed to check free disk space.\n");
    return result;
  }
  result.FreeDiskMB = static_cast<std::int64_t>(*free_bytes >> 20);  // whole megabytes, rounded down
  if (result.FreeDiskMB > result.RequiredDiskMB) {
    log.LogText(L"Free disk space requirement passed.\n");
    result.passed = true;
    return result;
  }
  log.LogFormat(L"Insufficient disk space: %I64d MB required but only %I64d MB free.\n",
                result.RequiredDiskMB, result.FreeDiskMB);
  return result;
}

}  // namespace lantern
