// The Windows Installer gate: MSI.DLL in the system folder must be version
// 2.0 or later.
#pragma once

#include <cstdint>
#include <string>

namespace lantern {

// What the gate asks the system about its files.
class SystemFiles {
 public:
  virtual ~SystemFiles() = default;
  // The Windows system folder, ending in a backslash. False when it cannot
  // be found.
  virtual bool GetSystemFolder(std::wstring& path) = 0;
  // The major and minor parts of a file's fixed file version. False when the
  // file is missing or carries no readable version information.
  virtual bool GetFileVersion(const std::wstring& path, std::uint32_t& major, std::uint32_t& minor) = 0;
};

// True when MSI.DLL has a file version of 2.0 or later. A system folder that
// cannot be found, a missing MSI.DLL or one without version information
// answers no: nothing shows that the installer engine can run the packages.
bool CheckWindowsInstaller(SystemFiles& files);

}  // namespace lantern
