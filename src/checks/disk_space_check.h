// The free-disk-space gate: the working folder's drive must have more free
// megabytes than string 103 asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/config_strings.h"
#include "app/run_sequence.h"
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

// The gate: true when the drive of WorkingFolderRoot has more whole megabytes
// free than string 103 asks for. Fills RequiredDiskMB, FreeDiskMB and
// WorkingDrive and logs every step.
bool CheckFreeDiskSpace(const StringTable& table, DiskSpace& disk, DiagnosticLog& log, RunFields& run);

}  // namespace lantern
