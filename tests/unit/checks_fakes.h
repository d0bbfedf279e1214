// Stand-ins for the parts of the system the prerequisite gates read: a
// registry, a disk, a token and the system files, each answering what a test
// puts in and counting what it is asked; and a string table and a log that
// stay in memory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/config_strings.h"
#include "checks/admin_check.h"
#include "checks/disk_space_check.h"
#include "checks/registry.h"
#include "checks/windows_installer_check.h"
#include "log/log.h"
#include "map_string_table.h"
#include "memory_log.h"

namespace lantern::testing_fakes {

// Values by key and name; a key is there when any of its values is.
class FakeRegistry final : public Registry {
 public:
  using Name = std::pair<std::wstring, std::wstring>;  // key, value name

  FakeRegistry& Dword(const std::wstring& key, const std::wstring& name, std::uint32_t value) {
    dwords[{key, name}] = value;
    return *this;
  }
  FakeRegistry& Text(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    texts[{key, name}] = value;
    return *this;
  }

  std::optional<std::uint32_t> ReadDword(std::wstring_view key, std::wstring_view name) override {
    ++reads;
    const auto found = dwords.find({std::wstring(key), std::wstring(name)});
    if (found == dwords.end()) return std::nullopt;
    return found->second;
  }
  std::optional<std::wstring> ReadText(std::wstring_view key, std::wstring_view name) override {
    ++reads;
    const auto found = texts.find({std::wstring(key), std::wstring(name)});
    if (found == texts.end()) return std::nullopt;
    return found->second;
  }

  std::map<Name, std::uint32_t> dwords;
  std::map<Name, std::wstring> texts;
  int reads = 0;
};

class FakeDiskSpace final : public DiskSpace {
 public:
  explicit FakeDiskSpace(std::optional<std::uint64_t> free = std::nullopt) : free_bytes(free) {}
  std::optional<std::uint64_t> FreeBytesAvailable(const std::wstring& directory) override {
    asked.push_back(directory);
    return free_bytes;
  }
  std::optional<std::uint64_t> free_bytes;
  std::vector<std::wstring> asked;
};

class FakeAdminToken final : public AdminToken {
 public:
  explicit FakeAdminToken(bool is_admin = true) : admin(is_admin) {}
  bool IsUserAdmin() override {
    ++asked;
    return admin;
  }
  bool admin;
  int asked = 0;
};

// A system folder with, optionally, an MSI.DLL of a given version.
class FakeSystemFiles final : public SystemFiles {
 public:
  bool GetSystemFolder(std::wstring& path) override {
    if (!folder) return false;
    path = *folder;
    return true;
  }
  bool GetFileVersion(const std::wstring& path, std::uint32_t& major, std::uint32_t& minor) override {
    asked.push_back(path);
    if (!msi_version) return false;
    major = msi_version->first;
    minor = msi_version->second;
    return true;
  }
  std::optional<std::wstring> folder = L"C:\\Windows\\system32\\";
  std::optional<std::pair<std::uint32_t, std::uint32_t>> msi_version = std::pair{4u, 5u};
  std::vector<std::wstring> asked;
};

}  // namespace lantern::testing_fakes
