#include "app/failure_report.h"

namespace lantern {

namespace {

constexpr wchar_t kDotNet4RuntimeFailed[] =
    L".NET 4 run time has failed to run %s.\r\n(Perhaps you have a Pre-release .NET Version).\r\n"
    L"Please download from the Microsoft Download Center and retry.";
constexpr wchar_t kDotNet4Detected[] = L"\r\n(.NET 4 was detected.)";

// Message 108, or 115 when a service pack is needed.
std::wstring MissingDotNetMessage(const StringTable& table, const std::wstring& product,
                                  const RequiredDotNet& required) {
  std::wstring message;
  if (required.RequiredDotNetServicePack == 0) {
    FormatConfigString(table, cfg::DotNetMessage, message, product, required.RequiredDotNetName);
  } else {
    FormatConfigString(table, cfg::DotNetServicePackMessage, message, product, required.RequiredDotNetName,
                       required.RequiredDotNetServicePack);
  }
  return message;
}

}  // namespace

DiskAmount DiskAmountFor(std::int64_t required_mb) {
  DiskAmount amount;
  amount.amount = static_cast<double>(required_mb);
  if (required_mb > 1000) {
    amount.amount /= 1000.0;
    amount.unit = L"GB";
  }
  return amount;
}

std::wstring GetDotNetDownloadLink(std::int32_t major, std::int32_t minor) {
  switch (major) {
    case 2:
      return L"https://www.microsoft.com/en-us/download/details.aspx?id=1639";
    case 3:
      return L"http://www.microsoft.com/en-us/download/details.aspx?id=21";
    case 4:
      if (minor == 0) return L"http://www.microsoft.com/en-us/download/details.aspx?id=17718";
      if (minor == 5) return L"https://www.microsoft.com/en-us/download/details.aspx?id=42642";
      return {};
    default:
      return {};
  }
}

FailureNotice ComposeFailureNotice(const StringTable& table, ResultCode code, const FailureFacts& run,
                                   std::wstring_view raw_arguments) {
  const std::wstring product = LoadConfigString(table, cfg::ProductName);
  FailureNotice notice;
  std::wstring& message = notice.message;
  switch (code) {
    case rc::FileCorrupt:
      FormatConfigString(table, cfg::CorruptFileMessage, message, product);
      break;
    case rc::InvalidParameter:
      FormatConfigString(table, cfg::UsageMessage, message, raw_arguments);
      break;
    case rc::Abort:
      FormatConfigString(table, cfg::ProcessorModeMessage, message, product,
                         LoadConfigString(table, cfg::ProgramType));
      break;
    case rc::Fail:
      FormatConfigString(table, cfg::IncorrectBuildMessage, message, product);
      break;
    case rc::MediumFull: {
      const DiskAmount amount = DiskAmountFor(run.disk.RequiredDiskMB);
      FormatConfigString(table, cfg::DiskSpaceMessage, message, run.disk.WorkingDrive, amount.amount,
                         amount.unit);
      break;
    }
    case rc::NotAdmin:
      FormatConfigString(table, cfg::AdminMessage, message, product);
      break;
    case rc::NoDotNet:
      message = MissingDotNetMessage(table, product, run.dot_net);
      notice.link = GetDotNetDownloadLink(run.dot_net.RequiredDotNetMajor, run.dot_net.RequiredDotNetMinor);
      break;
    case rc::InstallPackageVersion:
      FormatConfigString(table, cfg::MsiMessage, message, product);
      break;
    case rc::Ok:
      if (run.FrontEndExitCode != rc::DotNetRuntime) {
        FormatConfigString(table, cfg::FrontEndFailedMessage, message, product, run.FrontEndExitCode);
        break;
      }
      if (run.dot_net.RequiredDotNetServicePack >= 4) {
        message = Format(kDotNet4RuntimeFailed, product);
      } else {
        message = MissingDotNetMessage(table, product, run.dot_net) + kDotNet4Detected;
      }
      notice.link = GetDotNetDownloadLink(run.dot_net.RequiredDotNetMajor, run.dot_net.RequiredDotNetMinor);
      break;
    default:
      FormatConfigString(table, cfg::RunFailedMessage, message, product, code);
      break;
  }
  return notice;
}

void ReportFailure(const StringTable& table, ResultCode code, const FailureFacts& run, bool silent,
                   std::wstring_view raw_arguments, DiagnosticLog& log, const FailureNoticeView& show) {
  const FailureNotice notice = ComposeFailureNotice(table, code, run, raw_arguments);
  log.LogText(notice.message);
  log.LogText(L"\n");
  if (!silent && show) show(notice);
}

}  // namespace lantern
