// The four prerequisite gates of a run, in their order, over the parts of the
// system they read: administrator rights, the .NET Framework, Windows
// Installer and free disk space. The first gate that fails ends the check.
#pragma once

#include <string>

#include "checks/admin_check.h"
#include "checks/disk_space_check.h"
#include "checks/dotnet_check.h"
#include "checks/registry.h"
#include "checks/windows_installer_check.h"
#include "core/config_strings.h"
#include "core/result_codes.h"
#include "log/log.h"

namespace lantern {

struct MachineParts {
  Registry& registry;
  DiskSpace& disk;
  AdminToken& token;
  SystemFiles& files;
};

// What the gates found. The .NET and disk results keep their defaults when
// an earlier gate stopped the check.
struct PrerequisiteReport {
  ResultCode result = rc::Ok;  // 0, or the code of the gate that failed
  DotNetResult dot_net;
  DiskSpaceResult disk;
};

class Prerequisites {
 public:
  Prerequisites(const StringTable& table, MachineParts machine, DiagnosticLog& log)
      : table_(table), machine_(machine), log_(log) {}

  // Runs the gates for a working folder under `working_folder_root`. The
  // result names the gate that failed: NotAdmin, NoDotNet,
  // InstallPackageVersion (1613) or MediumFull.
  PrerequisiteReport Check(const std::wstring& working_folder_root);

 private:
  const StringTable& table_;
  MachineParts machine_;
  DiagnosticLog& log_;
};

}  // namespace lantern
