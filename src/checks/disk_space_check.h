// The free-disk-space gate: the working folder's drive must have more free
// megabytes than string 103 asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/config_strings.h"
#include "log/log.h"

namespace lantern {

// What the gate asks the system: the free bytes available to this user
// (quotas honoured) on the disk that holds a directory; nothing when the
// question cannot be answered.
class DiskSpace {
 public:
  virtual ~DiskSpace() = default;
  virtual std::optional<std::uint64_t> FreeBytesAvailable(const std::wstring& directory) = 0;
};

// Room for each part of a split path, terminator included.
constexpr std::size_t kDriveRoom = 3;
constexpr std::size_t kPathPartRoom = 256;

struct PathParts {
  std::wstring drive;      // "C:", or empty
  std::wstring directory;  // up to and including the last (back)slash
  std::wstring file_name;
  std::wstring extension;  // from the last dot of the rest, dot included
};

// The usual split of a path into drive, directory, file name and extension;
// nothing when a part does not fit its room.
std::optional<PathParts> SplitPath(std::wstring_view path);

// Where to ask for the free space of a working-folder root: its drive, or,
// for a root without one, the root of its network share.
std::wstring FreeSpaceQueryPath(const std::wstring& drive, const std::wstring& root);

// What the gate found, for the failure report.
struct DiskSpaceResult {
  bool passed = false;
  std::int64_t RequiredDiskMB = 0;  // string 103
  std::int64_t FreeDiskMB = 0;      // whole megabytes, rounded down; 0 when not measured
  std::wstring WorkingDrive;  // the root's drive ("C:"); empty for a share or a root that cannot be split
};

// The gate: passed when the drive of `working_folder_root` has more whole
// megabytes free than string 103 asks for. Logs every step.
DiskSpaceResult CheckFreeDiskSpace(const StringTable& table, DiskSpace& disk, DiagnosticLog& log,
                                   const std::wstring& working_folder_root);

}  // namespace lantern
