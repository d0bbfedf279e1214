// The parts of the running system that the prerequisite gates read.
#pragma once

#include <windows.h>

#include "checks/admin_check.h"
#include "checks/disk_space_check.h"
#include "checks/registry.h"
#include "checks/windows_installer_check.h"

namespace lantern {

// Keys below a root key, HKEY_LOCAL_MACHINE unless told otherwise, opened
// with KEY_READ and no view flag: a 32-bit program reads the 32-bit view.
// The root is borrowed, not closed.
class Win32Registry final : public Registry {
 public:
  explicit Win32Registry(HKEY root = HKEY_LOCAL_MACHINE) : root_(root) {}
  std::optional<std::uint32_t> ReadDword(std::wstring_view key, std::wstring_view name) override;
  std::optional<std::wstring> ReadText(std::wstring_view key, std::wstring_view name) override;

 private:
  HKEY root_;
};

class Win32DiskSpace final : public DiskSpace {
 public:
  std::optional<std::uint64_t> FreeBytesAvailable(const std::wstring& directory) override;
};

class Win32AdminToken final : public AdminToken {
 public:
  bool IsUserAdmin() override;
};

// The system folder from the shell, versions through version.dll (loaded
// from the system folder at run time).
class Win32SystemFiles final : public SystemFiles {
 public:
  bool GetSystemFolder(std::wstring& path) override;
  bool GetFileVersion(const std::wstring& path, std::uint32_t& major, std::uint32_t& minor) override;
};

}  // namespace lantern
