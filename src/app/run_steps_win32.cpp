#include "app/run_steps_win32.h"

#include <objbase.h>

#include "app/failure_report.h"
#include "app/thread_entry.h"
#include "launch/run_program_win32.h"
#include "payload/embedded_info_win32.h"
#include "payload/extraction.h"
#include "payload/payload_system_win32.h"
#include "payload/removal.h"
#include "ui/splash_win32.h"
#include "ui/ui_steps_win32.h"

namespace lantern {

namespace {

// The maker's installer help page, opened by "?".
constexpr wchar_t kHelpPageAddress[] = L"https://www.vantrel.example/Installer/Help";

}  // namespace

Win32RunSteps::Win32RunSteps(const RunContext& context, const SystemPorts& ports)
    : context_(context), ports_(ports), prerequisites_(context.strings, ports.machine, context.log) {}

ResultCode Win32RunSteps::ParseOptions() {
  RunState& run = context_.run;
  RunOptions options;
  const ResultCode result =
      lantern::ParseOptions(context_.arguments, run.InstallerName, ports_.environment, context_.log, options);
  // Help asked for by either parse is remembered.
  if (options.HelpRequested) run.HelpRequested = true;
  run.options = std::move(options);
  return result;
}

SignatureCheck Win32RunSteps::VerifyOwnSignature() {
  SignatureCheck check;
  check.status = VerifyFileSignature(context_.own_file, check.verdict, ports_.verify_trust, context_.log);
  return check;
}

bool Win32RunSteps::AskToContinue(const std::wstring& heading, const std::wstring& message) {
  const bool yes = lantern::AskToContinue(context_.app, {context_.strings, context_.log, ports_.web_pages},
                                          heading, message);
  context_.app.m_pMainWnd = nullptr;
  return yes;
}

void Win32RunSteps::ReadSignerDetails() {
  lantern::ReadSignerDetails(context_.own_file.path, context_.run.InstallerName, ports_.crypto, context_.log);
}

void Win32RunSteps::RunWorker() {
  RunState& run = context_.run;
  worker_done_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  front_end_shown_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle thread;
  if (worker_done_ && front_end_shown_) {
    thread.reset(CreateThread(nullptr, 0, WorkerThreadProc, this, 0, nullptr));
  }
  if (!thread) {
    run.WorkerResult = ResultFromWin32(GetLastError());
    context_.log.LogFormat(L"Failed to start the worker thread %x\n", run.WorkerResult);
    return;
  }

  // Made hidden; a prompt the worker has already opened keeps it hidden.
  CSplashDlg splash;
  splash.Create();
  if (!run.options.Silent && run.PromptDepth.load() == 0) splash.ShowWindow(SW_SHOW);
  const HANDLE handles[2] = {front_end_shown_.get(), worker_done_.get()};
  WaitForWorker(handles, run.PromptDepth, &splash);
  splash.DestroyWindow();
}

DWORD WINAPI Win32RunSteps::WorkerThreadProc(LPVOID parameter) {
  auto& steps = *static_cast<Win32RunSteps*>(parameter);
  RunState& run = steps.context_.run;
  DiagnosticLog& log = steps.context_.log;
  CoInitialize(nullptr);
  run.WorkerResult = RunThreadBody(log, L"Worker", [&] {
    return RunEmbeddedResource(run, *steps.worker_steps_, log, run.FrontEndExitCode);
  });
  SetEvent(steps.worker_done_.get());
  CoUninitialize();
  return 0;
}

void Win32RunSteps::OpenHelpPage() {
  OpenWebPage({kHelpPageAddress, L"", SW_SHOW}, context_.run.options.Silent, ports_.web_pages, context_.log);
}

void Win32RunSteps::ReportFailure(ResultCode code) {
  const RunState& run = context_.run;
  const FailureFacts facts{run.FrontEndExitCode, run.prerequisites.dot_net.required, run.prerequisites.disk};
  CWinApp& app = context_.app;
  const NoticeParts parts{context_.strings, context_.log, ports_.web_pages};
  lantern::ReportFailure(
      context_.strings, code, facts, run.options.Silent, app.m_lpCmdLine ? app.m_lpCmdLine : L"",
      context_.log, [&app, &parts](const FailureNotice& notice) { ShowFailureNotice(app, parts, notice); });
}

ResultCode Win32RunSteps::PromptForWorkingFolderRoot(std::wstring& root) {
  RunState& run = context_.run;
  return lantern::PromptForWorkingFolderRoot(context_.app, run.options.Silent, run.PromptDepth, root,
                                             LoadConfigString(context_.strings, cfg::ProductName),
                                             context_.log);
}

ResultCode Win32RunSteps::PrepareWorkingFolder(bool zero_guid) {
  if (zero_guid) context_.working_folder.SetZeroGuid();
  return context_.working_folder.Prepare();
}

void Win32RunSteps::WriteEmbeddedInformation() {
  lantern::WriteEmbeddedInformation(context_.working_folder, context_.own_file,
                                    InformationModeOf(context_.app.m_hInstance), context_.log);
}

ResultCode Win32RunSteps::ExtractResources(std::wstring& program_path) {
  Win32PayloadSystem system(context_.app.m_hInstance, context_.working_folder, context_.log);
  return lantern::ExtractResources(resources_, system, program_path, context_.log);
}

ResultCode Win32RunSteps::RunProgram(const std::wstring& program_path, const std::wstring& arguments,
                                     std::int32_t& exit_code) {
  const LaunchContext launch{context_.working_folder.Get(), front_end_shown_.get(), context_.log,
                             ports_.wow64, context_.strings};
  return lantern::RunProgram(program_path, arguments, exit_code, launch);
}

void Win32RunSteps::RemoveWorkingFolder() {
  lantern::RemoveWorkingFolder(resources_, context_.working_folder, context_.log);
}

int WaitForWorker(const HANDLE handles[2], const std::atomic<std::int32_t>& prompt_depth, CWnd* splash) {
  std::int32_t seen = 0;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      // The quit request the framework posts when a main window goes must not
      // end anything here.
      if (message.message != WM_QUIT) DispatchMessageW(&message);
    }

    const std::int32_t depth = prompt_depth.load();
    if (depth != seen) {
      if (splash && splash->m_hWnd) {
        switch (SplashActionForPromptDepth(seen, depth)) {
          case SplashAction::Show:
            ShowWindow(splash->m_hWnd, SW_SHOW);
            break;
          case SplashAction::Hide:
            ShowWindow(splash->m_hWnd, SW_HIDE);
            break;
          case SplashAction::None:
            break;
        }
      }
      seen = prompt_depth.load();
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
