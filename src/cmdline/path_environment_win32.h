// The path environment of the running Windows system.
#pragma once

#include "cmdline/run_options.h"

namespace lantern {

class Win32PathEnvironment final : public PathEnvironment {
 public:
  std::wstring TempPath() override;
  std::optional<std::wstring> UserAppDataPath() override;
  std::optional<std::wstring> CommonAppDataPath() override;
  std::optional<std::wstring> SystemDrive() override;
  std::wstring WindowsDrive() override;
  std::optional<std::wstring> FullPath(const std::wstring& path) override;
};

}  // namespace lantern
