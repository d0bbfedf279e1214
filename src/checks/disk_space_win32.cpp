#include "checks/machine_win32.h"

namespace lantern {

std::optional<std::uint64_t> Win32DiskSpace::FreeBytesAvailable(const std::wstring& directory) {
  ULARGE_INTEGER available{};
  ULARGE_INTEGER total{};
  ULARGE_INTEGER free{};
  if (!GetDiskFreeSpaceExW(directory.c_str(), &available, &total, &free)) return std::nullopt;
  return available.QuadPart;  // what this user may use, quotas honoured
}

}  // namespace lantern
