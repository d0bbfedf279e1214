#include "checks/prerequisites.h"

namespace lantern {

PrerequisiteReport Prerequisites::Check(const std::wstring& working_folder_root) {
  PrerequisiteReport report;
  if (IsAdminRequired(table_) && !machine_.token.IsUserAdmin()) {
    report.result = rc::NotAdmin;
    return report;
  }
  report.dot_net = CheckDotNetFramework(table_, machine_.registry, log_);
  if (!report.dot_net.passed) {
    report.result = rc::NoDotNet;
    return report;
  }
  if (!CheckWindowsInstaller(machine_.files)) {
    report.result = rc::InstallPackageVersion;
    return report;
  }
  report.disk = CheckFreeDiskSpace(table_, machine_.disk, log_, working_folder_root);
  if (!report.disk.passed) report.result = rc::MediumFull;
  return report;
}

}  // namespace lantern
