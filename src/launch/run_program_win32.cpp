#include "launch/run_program_win32.h"

#include <vector>

#include "framework/unique_handle_win32.h"
#include "launch/window_iterator_win32.h"

namespace lantern {

namespace {

// How often a front end without a window is looked at.
constexpr DWORD kWindowPollMs = 100;

// Switches the redirection back on however the launch is left.
class ProcessorModeGuard {
 public:
  ProcessorModeGuard(bool& disabled, const LaunchContext& context) : disabled_(disabled), context_(context) {}
  ~ProcessorModeGuard() { Restore(); }
  ProcessorModeGuard(const ProcessorModeGuard&) = delete;
  ProcessorModeGuard& operator=(const ProcessorModeGuard&) = delete;
  void Restore() { RestoreProcessorMode(disabled_, context_.wow64, context_.log); }

 private:
  bool& disabled_;
  const LaunchContext& context_;
};

// Polls for a visible window while the front end runs; once one shows, tells
// the main thread and waits for the end without further polling.
void WaitForFrontEnd(HANDLE process, DWORD process_id, HANDLE front_end_shown) {
  for (;;) {
    const bool running = WaitForSingleObject(process, kWindowPollMs) != WAIT_OBJECT_0;
    if (HasNoVisibleWindow(process_id)) {
      if (running) continue;
      return;
    }
    SetEvent(front_end_shown);
    if (running) WaitForSingleObject(process, INFINITE);
    return;
  }
}

}  // namespace

ResultCode RunProgram(const std::wstring& program_path, const std::wstring& arguments,
                      std::int32_t& exit_code, const LaunchContext& context) {
  exit_code = 0;
  ResultCode result = rc::Ok;
  DiagnosticLog& log = context.log;

  const std::wstring command = L"\"" + program_path + L"\" " + arguments;
  std::vector<wchar_t> buffer(command.begin(), command.end());
  buffer.push_back(L'\0');  // CreateProcessW may write into its command line
  log.LogFormat(L"RunProgram program '%s'\n", command);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created{};
  SetCurrentDirectoryW(context.working_folder.c_str());

  bool redirection_disabled = false;
  if (!EnterProcessorMode(redirection_disabled, context.wow64, context.strings, log)) {
    log.LogText(L"Run Program, Failed to set processor mode\n");
    return rc::Abort;
  }
  // Closed however the launch is left.
  UniqueKernelHandle process;
  UniqueKernelHandle thread;
  {
    ProcessorModeGuard mode(redirection_disabled, context);
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &created)) {
      // Read before logging, which may change it: the system's reason is what
      // tells a missing front end from a blocked or broken one.
      const ResultCode failure = ResultFromWin32(GetLastError());
      log.LogText(L"Run Program returned error\n");
      return failure;
    }
    process.reset(created.hProcess);
    thread.reset(created.hThread);
    mode.Restore();  // off only around the creation, never while we wait
  }

  // The front end may write to the same log file while it runs.
  log.CloseLogFile();
  WaitForFrontEnd(process.get(), created.dwProcessId, context.front_end_shown);

  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) result = static_cast<ResultCode>(GetLastError());
  exit_code = static_cast<std::int32_t>(code);

  log.ReopenLogFile();
  log.LogFormat(L"RunProgram returned %d\n", exit_code);
  return result;
}

}  // namespace lantern
