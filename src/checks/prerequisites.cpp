#include "checks/prerequisites.h"

namespace lantern {

PrerequisiteReport Prerequisites::Check(const std::wstring& working_folder_root) {
  PrerequisiteReport report;
  if (IsAdminRequired(table_) && !machine_.token.IsUserAdmin()) {
    report.Result = rc::NotAdmin;
    return report;
  }
  report.DotNet = CheckDotNetFramework(table_, machine_.registry, log_);
  if (!report.DotNet.Passed) {
    report.Result = rc::NoDotNet;
    return report;
  }
  if (!CheckWindowsInstaller(machine_.files)) {
    report.Result = rc::InstallPackageVersion;
    return report;
  }
  report.Disk = CheckFreeDiskSpace(table_, machine_.disk, log_, working_folder_root);
  if (!report.Disk.Passed) report.Result = rc::MediumFull;
  return report;
}

}  // namespace lantern
