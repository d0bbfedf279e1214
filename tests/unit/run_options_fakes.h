// Stand-ins for the system under the options step: a path environment whose
// folders a test chooses, and a log system that records the files opened.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cmdline/run_options.h"
#include "log/log.h"

namespace lantern::testing_fakes {

// Test texts are ASCII, so narrowing them unit by unit is exact.
inline std::string Narrow(std::wstring_view text) {
  std::string narrow;
  for (const wchar_t c : text) {
    narrow += static_cast<char>(c);
  }
  return narrow;
}

class FakePathEnvironment final : public PathEnvironment {
 public:
  std::wstring TempPath() override { return temp; }
  std::optional<std::wstring> UserAppDataPath() override { return user_app_data; }
  std::optional<std::wstring> CommonAppDataPath() override { return common_app_data; }
  std::optional<std::wstring> SystemDrive() override { return system_drive; }
  std::wstring WindowsDrive() override { return windows_drive; }
  // Paths with a drive or a leading backslash are taken as full already;
  // others are joined to the current folder.
  std::optional<std::wstring> FullPath(const std::wstring& path) override {
    if (path.empty() || unexpandable.contains(path)) {
      return std::nullopt;
    }
    if ((path.size() >= 2 && path[1] == L':') || path[0] == L'\\') {
      return path;
    }
    return current_folder + L"\\" + path;
  }

  std::wstring temp = L"C:\\Temp\\";
  std::optional<std::wstring> user_app_data = L"C:\\Users\\pat\\AppData\\Roaming";
  std::optional<std::wstring> common_app_data = L"C:\\ProgramData";
  std::optional<std::wstring> system_drive = L"C:";
  std::wstring windows_drive = L"W:";
  std::wstring current_folder = L"C:\\x";
  std::set<std::wstring> unexpandable;
};

class RecordingLogSystem final : public LogSystem {
 public:
  class File final : public LogFile {
   public:
    explicit File(std::string& disk) : disk_(disk) {}
    void Write(std::string_view bytes) override { disk_.append(bytes); }

   private:
    std::string& disk_;
  };

  std::optional<std::string> ToAnsi(std::wstring_view text) override { return Narrow(text); }
  std::unique_ptr<LogFile> Open(const std::wstring& path, bool /*append*/) override {
    opened.push_back(Narrow(path));
    return std::make_unique<File>(disk);
  }

  std::vector<std::string> opened;
  std::string disk;  // what reached any opened file
};

}  // namespace lantern::testing_fakes
