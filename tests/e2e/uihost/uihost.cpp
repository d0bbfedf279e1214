// A bootstrapper whose answers from the machine are scripted, so that the
// dialogs can be driven in cases this machine cannot produce (an unsigned
// file, a missing .NET Framework, a working-folder root that takes no files)
// and the splash window can be held on screen. Everything else is the real
// run: the application object, the run sequence, the dialogs, the splash
// window, the failure report and the log.
//
// The script is the environment variable LANTERN_UI_SCRIPT: entries
// key=value separated by ';':
//   signature=<hex>     the signature check's status (default: verified)
//   dotnet=<major>,<minor>,<service pack>,<name>   the .NET gate fails and
//                       names this version (default: the gate passes)
//   unwritable=<text>   the working-folder probe fails for a root holding
//                       this text (default: the real probe)
//   exit=<hex>          the front end's exit code (default 0)
//   gated=<name>        the front end shows its window only when the event
//                       <name>.show is set, and ends when <name>.end is set
//   elevated=0|1        whether the process counts as elevated when a web
//                       page opens (default: what its token says)
//   shell=none|fake     no desktop shell can be reached, or one that only
//                       logs "Desktop shell asked to open '<address>'"
//                       (default: the real desktop shell)
//   dllsearch=unrestricted   the system cannot keep DLL loading to the
//                       system folder
// A web page is never opened from this process: that is logged as
// "Opened '<address>' from the bootstrapper's own process" instead. An address
// shown to the user is shown in the real dialog.
// The payload is never extracted and no program is started: the front end is
// played here, and logs "Front end ran".
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <map>
#include <string>

#include "app/lantern_app_win32.h"
#include "framework/system_dlls_win32.h"
#include "log/log.h"
#include "ui/web_page_win32.h"

namespace {

using namespace lantern;

std::map<std::wstring, std::wstring> ReadScript() {
  std::map<std::wstring, std::wstring> script;
  wchar_t buffer[4096];
  const DWORD length = GetEnvironmentVariableW(L"LANTERN_UI_SCRIPT", buffer, 4096);
  if (length == 0 || length >= 4096) return script;
  const std::wstring text(buffer, length);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L';', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring entry = text.substr(start, end - start);
    const size_t equals = entry.find(L'=');
    if (equals != std::wstring::npos) script[entry.substr(0, equals)] = entry.substr(equals + 1);
    start = end + 1;
  }
  return script;
}

std::int32_t Hex(const std::wstring& text) {
  return static_cast<std::int32_t>(std::wcstoul(text.c_str(), nullptr, 16));
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// Waits for a named event the test sets; a minute at most.
void WaitForTestEvent(const std::wstring& name) {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  if (!event) return;
  WaitForSingleObject(event, 60000);
  CloseHandle(event);
}

class ScriptedSteps final : public RunSteps {
 public:
  explicit ScriptedSteps(DiagnosticLog& log) : log_(log) {}
  Win32RunSteps* system = nullptr;
  std::map<std::wstring, std::wstring> script;

  ResultCode ParseOptions() override { return system->ParseOptions(); }
  std::uint32_t TickCount() override { return system->TickCount(); }
  SignatureCheck VerifyOwnSignature() override {
    if (!script.count(L"signature")) return {};
    return {Hex(script[L"signature"]), L"No signature was present in the subject.\n"};
  }
  bool AskToContinue(const std::wstring& heading, const std::wstring& message) override {
    return system->AskToContinue(heading, message);
  }
  void ReadSignerDetails() override { system->ReadSignerDetails(); }
  PrerequisiteReport CheckPrerequisites(const std::wstring&) override {
    PrerequisiteReport report;
    if (!script.count(L"dotnet")) return report;
    const std::wstring& value = script[L"dotnet"];
    int major = 0, minor = 0, service_pack = 0, used = 0;
    if (swscanf(value.c_str(), L"%d,%d,%d,%n", &major, &minor, &service_pack, &used) >= 3) {
      RequiredDotNet& required = report.dot_net.required;
      required.RequiredDotNetMajor = major;
      required.RequiredDotNetMinor = minor;
      required.RequiredDotNetServicePack = service_pack;
      required.RequiredDotNetName = value.substr(static_cast<size_t>(used));
    }
    report.result = rc::NoDotNet;
    return report;
  }
  void RunWorker() override { system->RunWorker(); }
  void OpenHelpPage() override { system->OpenHelpPage(); }
  void ReportFailure(ResultCode code) override { system->ReportFailure(code); }

  ResultCode CreateProbeFile(const std::wstring& root) override {
    log_.LogFormat(L"Probe '%s'\n", root);
    if (!script.count(L"unwritable")) return system->CreateProbeFile(root);
    return Lower(root).find(Lower(script[L"unwritable"])) != std::wstring::npos ? rc::Fail : rc::Ok;
  }
  ResultCode PromptForWorkingFolderRoot(std::wstring& root) override {
    return system->PromptForWorkingFolderRoot(root);
  }
  // No folder: this host extracts nothing.
  ResultCode PrepareWorkingFolder(bool) override { return rc::Ok; }
  void WriteEmbeddedInformation() override {}
  ResultCode ExtractResources(std::wstring& program_path) override {
    program_path = L"frontend.exe";
    return rc::Ok;
  }
  ResultCode RunProgram(const std::wstring&, const std::wstring&, std::int32_t& exit_code) override {
    if (script.count(L"gated")) {
      WaitForTestEvent(script[L"gated"] + L".show");
      SetEvent(system->FrontEndShownEvent());
      WaitForTestEvent(script[L"gated"] + L".end");
    }
    log_.LogText(L"Front end ran\n");
    exit_code = script.count(L"exit") ? Hex(script[L"exit"]) : 0;
    return rc::Ok;
  }
  void RemoveWorkingFolder() override {}

 private:
  DiagnosticLog& log_;
};

class ScriptedWebPages final : public WebPageSystem {
 public:
  explicit ScriptedWebPages(DiagnosticLog& log) : log_(log) {}
  WebPageSystem* system = nullptr;
  std::map<std::wstring, std::wstring> script;

  bool IsElevated() override {
    if (!script.count(L"elevated")) return system->IsElevated();
    return script[L"elevated"] != L"0";
  }
  std::int32_t OpenThroughDesktopShell(const WebPage& page) override {
    if (script[L"shell"] == L"none") return static_cast<std::int32_t>(0x80004005u);
    if (script[L"shell"] == L"fake") {
      log_.LogFormat(L"Desktop shell asked to open '%s'\n", page.address);
      return 0;
    }
    return system->OpenThroughDesktopShell(page);
  }
  bool OpenInThisProcess(const WebPage& page) override {
    log_.LogFormat(L"Opened '%s' from the bootstrapper's own process\n", page.address);
    return true;
  }
  void ShowAddress(const std::wstring& address) override { system->ShowAddress(address); }

 private:
  DiagnosticLog& log_;
};

class ScriptedApp final : public CLanternInstallerApp {
 protected:
  RunSteps& StepsFor(Win32RunSteps& system_steps) override {
    steps_.system = &system_steps;
    steps_.script = ReadScript();
    web_pages_.script = steps_.script;
    return steps_;
  }
  WebPageSystem& WebPagesFor(WebPageSystem& system) override {
    web_pages_.system = &system;
    return web_pages_;
  }
  bool DllSearchIsRestricted() override {
    return steps_.script[L"dllsearch"] != L"unrestricted" && CLanternInstallerApp::DllSearchIsRestricted();
  }

 private:
  ScriptedSteps steps_{Log()};
  ScriptedWebPages web_pages_{Log()};
};

ScriptedApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  lantern::HardenDllSearchPath();
  return lantern::AfxWinMain(instance, command_line);
}
