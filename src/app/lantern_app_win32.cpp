#include "app/lantern_app_win32.h"

#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "app/config_strings_win32.h"
#include "app/loader_guard.h"
#include "app/thread_entry.h"
#include "checks/machine_win32.h"
#include "cmdline/path_environment_win32.h"
#include "core/config_strings.h"
#include "framework/module_path_win32.h"
#include "launch/wow64_win32.h"
#include "payload/working_folder.h"
#include "ui/web_page_win32.h"

namespace lantern {

namespace {

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

BOOL CLanternInstallerApp::InitInstance() {
  // Where a failed allocation that nothing can catch leaves its last line.
  SetLastWordsLog(&log_);
  const ResultCode failure = RunThreadBody(log_, L"Main", [this] {
    ComposeAndRun();
    return rc::Ok;
  });
  if (failure != rc::Ok) run_.RunResult = failure;
  return FALSE;
}

void CLanternInstallerApp::ComposeAndRun() {
  // Everything the run uses, made once here and handed down.
  const ResourceStringTable strings(m_hInstance);
  // Open before anything looks at it, and held until the run ends: nothing
  // can change the file between its signature check and the reading of its
  // information block.
  const OwnFile own_file = OpenOwnFile(GetModulePath(GetModuleFileNameW));
  const std::vector<std::wstring> arguments = SplitCommandLine(GetCommandLineW());
  FolderSecurity folder_security;
  WorkingFolder working_folder(log_, folder_security);

  Win32PathEnvironment environment;
  Win32Registry registry;
  Win32DiskSpace disk;
  Win32AdminToken token;
  Win32SystemFiles system_files;
  Win32WebPageSystem web_pages(strings);
  Win32Wow64 wow64;
  const CryptoApi crypto = LoadCryptoApi();
  const SystemPorts ports{
      environment,         {registry, disk, token, system_files}, WebPagesFor(web_pages), wow64, crypto,
      LoadWinVerifyTrust()};

  Win32RunSteps system_steps({*this, run_, strings, log_, working_folder, own_file, arguments}, ports);
  RunSteps& steps = StepsFor(system_steps);
  system_steps.SetWorkerSteps(steps);

  // Before the common controls and COM, which load further DLLs by name.
  if (!DllSearchIsRestricted()) {
    RefuseUnsafeDllSearch(
        run_, [&steps] { return steps.ParseOptions(); }, log_,
        [&strings](const std::wstring& message) {
          const std::wstring caption = LoadConfigString(strings, cfg::ProductName);
          MessageBoxW(nullptr, message.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        });
    return;
  }

  InitCommonControls95();
  CoInitialize(nullptr);
  RunMainSequence(run_, steps, strings, log_);
}

int CLanternInstallerApp::ExitInstance() {
  CWinApp::ExitInstance();
  const std::int32_t exit_code = SettleExitCode(run_);
  log_.LogFormat(L"Ended %ld\n", GetTickCount());
  log_.CloseLogFile();
  return exit_code;
}

}  // namespace lantern
