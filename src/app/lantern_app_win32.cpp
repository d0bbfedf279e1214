#include "app/lantern_app_win32.h"

#include <commctrl.h>
#include <objbase.h>

#include "core/config_strings.h"
#include "app/loader_guard.h"
#include "checks/machine_win32.h"
#include "checks/prerequisites.h"
#include "cmdline/path_environment_win32.h"
#include "cmdline/run_options.h"
#include "framework/module_path_win32.h"
#include "framework/system_dlls_win32.h"
#include "launch/run_program_win32.h"
#include "launch/wow64_win32.h"
#include "log/log.h"
#include "payload/embedded_info_win32.h"
#include "payload/payload_system_win32.h"
#include "payload/removal.h"
#include "payload/working_folder.h"
#include "trust/signer_details_win32.h"
#include "trust/verify_signature_win32.h"
#include "ui/splash_win32.h"
#include "ui/ui_steps_win32.h"
#include "ui/web_page_win32.h"

namespace lantern {

namespace {

// The maker's installer help page, opened by "?".
constexpr wchar_t kHelpPageAddress[] = L"https://www.vantrel.example/Installer/Help";

void InitCommonControls95() {
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  static const auto init = SystemFunction<InitCommonControlsExFn>(L"comctl32.dll", "InitCommonControlsEx");
  if (!init) return;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  init(&controls);
}

}  // namespace

// The run's steps as this program performs them.
class Win32RunSteps final : public RunSteps {
 public:
  explicit Win32RunSteps(CLanternInstallerApp& app) : app_(app) {}

  ResultCode ParseOptions() override {
    RunOptions options;
    const ResultCode result = lantern::ParseOptions(app_.tokens_, app_.InstallerName, environment_, TheLog(), options);
    app_.ZeroGuid = options.ZeroGuid;
    app_.RemoveFolder = options.RemoveFolder;
    app_.RunFrontEnd = options.RunFrontEnd;
    app_.Silent = options.Silent;
    app_.WorkingFolderRoot = options.WorkingFolderRoot;
    app_.FrontEndCommandLine = options.FrontEndCommandLine;
    if (options.HelpRequested) app_.HelpRequested = true;
    return result;
  }
  std::uint32_t TickCount() override { return GetTickCount(); }
  SignatureCheck VerifyOwnSignature() override {
    SignatureCheck check;
    check.status =
        VerifyFileSignature(GetModulePath(GetModuleFileNameW), check.verdict, LoadWinVerifyTrust(), TheLog());
    return check;
  }
  bool AskToContinue(const std::wstring& heading, const std::wstring& message) override {
    const bool yes = lantern::AskToContinue(app_, heading, message);
    app_.m_pMainWnd = nullptr;
    return yes;
  }
  void ReadSignerDetails() override {
    lantern::ReadSignerDetails(GetModulePath(GetModuleFileNameW), app_.InstallerName, LoadCryptoApi(),
                               TheLog());
  }
  bool IsAdminRequired() override { return checks_.IsAdminRequired(); }
  bool IsUserAdmin() override { return checks_.IsUserAdmin(); }
  bool CheckDotNetFramework() override { return checks_.CheckDotNetFramework(app_); }
  bool CheckWindowsInstaller() override { return checks_.CheckWindowsInstaller(); }
  bool CheckFreeDiskSpace() override { return checks_.CheckFreeDiskSpace(app_); }
  void RunWorker() override;
  void OpenHelpPage() override {
    OpenWebPage({kHelpPageAddress, L"", SW_SHOW}, app_.Silent, WebPages(), TheLog());
  }
  void ReportFailure(ResultCode code) override { lantern::ReportFailure(app_, app_, code, WebPages()); }

  bool HasModule() override { return app_.m_hInstance != nullptr; }
  ResultCode CreateProbeFile(const std::wstring& root) override { return TheWorkingFolder().CreateProbeFile(root); }
  ResultCode PromptForWorkingFolderRoot(std::wstring& root) override {
    return lantern::PromptForWorkingFolderRoot(app_, app_, root);
  }
  void SetZeroGuidFlag() override { TheWorkingFolder().SetZeroGuid(); }
  ResultCode PrepareWorkingFolder() override { return TheWorkingFolder().Prepare(); }
  void WriteEmbeddedInformation() override { lantern::WriteEmbeddedInformation(TheWorkingFolder(), TheLog()); }
  ResultCode ExtractResources(std::wstring& program_path) override {
    Win32PayloadSystem system(app_.m_hInstance, TheWorkingFolder(), TheLog());
    return lantern::ExtractResources(app_.Resources, system, program_path, TheLog());
  }
  ResultCode RunProgram(const std::wstring& program_path, const std::wstring& arguments,
                        std::int32_t& exit_code) override {
    const LaunchContext context{GetWorkingFolder(), app_.FrontEndShownEvent, TheLog(), wow64_,
                                BuildStringTable()};
    return lantern::RunProgram(program_path, arguments, exit_code, context);
  }
  void RemoveWorkingFolder() override { lantern::RemoveWorkingFolder(app_.Resources, TheWorkingFolder(), TheLog()); }

 private:
  WebPageSystem& WebPages() { return app_.WebPagesFor(web_pages_); }

  CLanternInstallerApp& app_;
  Win32WebPageSystem web_pages_{BuildStringTable()};
  Win32Wow64 wow64_;
  Win32PathEnvironment environment_;
  Win32Registry registry_;
  Win32DiskSpace disk_;
  Win32AdminToken token_;
  Win32SystemFiles system_files_;
  PrerequisiteChecks checks_{BuildStringTable(), {registry_, disk_, token_, system_files_}, TheLog()};
};

void Win32RunSteps::RunWorker() {
  app_.WorkerDoneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  app_.FrontEndShownEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;
  if (app_.WorkerDoneEvent && app_.FrontEndShownEvent) {
    thread = CreateThread(nullptr, 0, CLanternInstallerApp::WorkerThreadProc, &app_, 0, nullptr);
  }
  if (!thread) {
    const DWORD error = GetLastError();
    app_.WorkerResult = error ? Hr(0x80070000u | (error & 0xFFFFu)) : rc::Fail;
    LogFormat(L"Failed to start the worker thread %x\n", app_.WorkerResult);
    return;
  }
  CloseHandle(thread);

  // Made hidden; a prompt the worker has already opened keeps it hidden.
  CSplashDlg splash;
  splash.Create();
  if (!app_.Silent && app_.PromptDepth.load() == 0) splash.ShowWindow(SW_SHOW);
  const HANDLE handles[2] = {app_.FrontEndShownEvent, app_.WorkerDoneEvent};
  WaitForWorker(handles, app_, &splash);
  splash.DestroyWindow();
}

CLanternInstallerApp::~CLanternInstallerApp() = default;

BOOL CLanternInstallerApp::InitInstance() {
  PromptDepth = 0;
  tokens_ = SplitCommandLine(GetCommandLineW());
  Win32RunSteps system_steps(*this);
  RunSteps& steps = StepsFor(system_steps);

  // Before the common controls and COM, which load further DLLs by name.
  if (!DllSearchIsRestricted()) {
    RefuseUnsafeDllSearch(
        *this, [&steps] { return steps.ParseOptions(); }, TheLog(),
        [](const std::wstring& message) {
          const std::wstring caption = LoadConfigString(cfg::ProductName);
          MessageBoxW(nullptr, message.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        });
    return FALSE;
  }

  InitCommonControls95();
  CoInitialize(nullptr);
  steps_ = &steps;
  RunMainSequence(*this, steps, TheLog());
  steps_ = nullptr;
  return FALSE;
}

int CLanternInstallerApp::ExitInstance() {
  CWinApp::ExitInstance();
  const std::int32_t exit_code = SettleExitCode(*this);
  LogFormat(L"Ended %ld\n", GetTickCount());
  CloseLogFile();
  return exit_code;
}

DWORD WINAPI CLanternInstallerApp::WorkerThreadProc(LPVOID application) {
  auto& app = *static_cast<CLanternInstallerApp*>(application);
  CoInitialize(nullptr);
  app.WorkerResult = RunEmbeddedResource(app, *app.steps_, TheLog(), app.FrontEndExitCode);
  SetEvent(app.WorkerDoneEvent);
  CoUninitialize();
  return 0;
}

int WaitForWorker(const HANDLE handles[2], CLanternInstallerApp& application, CWnd* splash) {
  std::int32_t seen = 0;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      // The quit request the framework posts when a main window goes must not
      // end anything here.
      if (message.message != WM_QUIT) DispatchMessageW(&message);
    }

    const std::int32_t depth = application.PromptDepth.load();
    if (depth != seen) {
      if (splash && splash->m_hWnd) {
        switch (SplashActionForPromptDepth(seen, depth)) {
          case SplashAction::Show: ShowWindow(splash->m_hWnd, SW_SHOW); break;
          case SplashAction::Hide: ShowWindow(splash->m_hWnd, SW_HIDE); break;
          case SplashAction::None: break;
        }
      }
      seen = application.PromptDepth.load();
    }

    const DWORD woken = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) {
      ResetEvent(handles[0]);
      if (splash && splash->m_hWnd) {
        EndDialog(splash->m_hWnd, IDOK);
        splash = nullptr;
      }
    } else if (woken == WAIT_OBJECT_0 + 1) {
      if (splash && splash->m_hWnd) EndDialog(splash->m_hWnd, IDOK);
      return 0;
    }
  }
}

}  // namespace lantern
