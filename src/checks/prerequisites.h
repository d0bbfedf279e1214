// The four prerequisite gates of a run over the parts of the system they
// read; the run sequence calls them in its order.
#pragma once

#include "core/config_strings.h"
#include "app/run_sequence.h"
#include "checks/admin_check.h"
#include "checks/disk_space_check.h"
#include "checks/dotnet_check.h"
#include "checks/registry.h"
#include "checks/windows_installer_check.h"
#include "log/log.h"

namespace lantern {

struct MachineParts {
  Registry& registry;
  DiskSpace& disk;
  AdminToken& token;
  SystemFiles& files;
};

class PrerequisiteChecks {
 public:
  PrerequisiteChecks(const StringTable& table, MachineParts machine, DiagnosticLog& log)
      : table_(table), machine_(machine), log_(log) {}

  bool IsAdminRequired() { return lantern::IsAdminRequired(table_); }
  bool IsUserAdmin() { return machine_.token.IsUserAdmin(); }
  bool CheckDotNetFramework(RunFields& run) {
    return lantern::CheckDotNetFramework(table_, machine_.registry, log_, run);
  }
  bool CheckWindowsInstaller() { return lantern::CheckWindowsInstaller(machine_.files); }
  bool CheckFreeDiskSpace(RunFields& run) {
    return lantern::CheckFreeDiskSpace(table_, machine_.disk, log_, run);
  }

 private:
  const StringTable& table_;
  MachineParts machine_;
  DiagnosticLog& log_;
};

}  // namespace lantern
