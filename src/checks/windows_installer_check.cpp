#include "checks/windows_installer_check.h"

namespace lantern {

bool CheckWindowsInstaller(SystemFiles& files) {
  std::wstring path;
  if (!files.GetSystemFolder(path)) return false;
  path += L"MSI.DLL";
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  if (!files.GetFileVersion(path, major, minor)) return false;
  return major >= 2;
}

}  // namespace lantern
