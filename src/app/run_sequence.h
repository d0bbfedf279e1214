// The run's decisions, apart from the system: the main thread's sequence
// (options, signature, gates, work, help, report), the worker's sequence and
// the exit code. The steps come from whoever composes the run: the system's
// in the program, fakes in tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "checks/prerequisites.h"
#include "cmdline/run_options.h"
#include "core/config_strings.h"
#include "core/result_codes.h"
#include "log/log.h"

namespace lantern {

// The run's state, shared by the main thread and the worker.
struct RunState {
  // From the latest parse of the command line; the drive-letter prompt
  // replaces its working-folder root.
  RunOptions options;
  // Help was asked for by any parse.
  bool HelpRequested = false;
  std::wstring InstallerName;
  // What the prerequisite gates found, for the failure report.
  PrerequisiteReport prerequisites;
  ResultCode WorkerResult = 0;
  std::int32_t FrontEndExitCode = 0;
  // Bootstrapper prompts open on the worker thread; the main thread's wait
  // loop reads it to hide and show the splash window.
  std::atomic<std::int32_t> PromptDepth{0};
  // The result the main thread's sequence ended with: a run that stops there
  // with a failure ends the process with that failure.
  ResultCode RunResult = 0;
};

struct SignatureCheck {
  ResultCode status = 0;  // 0: signed and verified
  std::wstring verdict;
};

// The steps the sequences choose between.
class RunSteps {
 public:
  virtual ~RunSteps() = default;

  // Main thread.
  // Parses the command line into the run's options (again on the worker).
  virtual ResultCode ParseOptions() = 0;
  virtual std::uint32_t TickCount() = 0;
  virtual SignatureCheck VerifyOwnSignature() = 0;
  // The notice dialog's question form; true when the user answers Yes.
  virtual bool AskToContinue(const std::wstring& heading, const std::wstring& message) = 0;
  virtual void ReadSignerDetails() = 0;
  virtual PrerequisiteReport CheckPrerequisites(const std::wstring& working_folder_root) = 0;
  // Starts the worker, shows the splash window and waits until the worker has
  // stored its result.
  virtual void RunWorker() = 0;
  virtual void OpenHelpPage() = 0;
  virtual void ReportFailure(ResultCode code) = 0;

  // Worker thread.
  virtual ResultCode CreateProbeFile(const std::wstring& root) = 0;
  virtual ResultCode PromptForWorkingFolderRoot(std::wstring& root) = 0;
  // Makes the working folder (named with the zero GUID when asked), or takes
  // over one of its name; E_FAIL when one is there that the run may not use
  // (logged, and left untouched).
  virtual ResultCode PrepareWorkingFolder(bool zero_guid) = 0;
  virtual void WriteEmbeddedInformation() = 0;
  virtual ResultCode ExtractResources(std::wstring& program_path) = 0;
  virtual ResultCode RunProgram(const std::wstring& program_path, const std::wstring& arguments,
                                std::int32_t& exit_code) = 0;
  virtual void RemoveWorkingFolder() = 0;
};

// The main thread's sequence after start-up: options, signature, signer
// details, gates, work, help page and failure report. Returns the run's result.
ResultCode RunMainSequence(RunState& run, RunSteps& steps, const StringTable& strings, DiagnosticLog& log);

// The worker's sequence: options again, probe (and prompt), working folder,
// embedded information, extraction, launch and removal. A working folder the
// run may not use ends it before anything is written or removed.
ResultCode RunEmbeddedResource(RunState& run, RunSteps& steps, DiagnosticLog& log, std::int32_t& exit_code);

// A failure in the sense of the report and the exit code: negative, or an old
// Windows Installer.
constexpr bool IsFailureResult(ResultCode code) { return code < 0 || code == rc::InstallPackageVersion; }

// The process exit code: the worker's result when it is not 0, otherwise the
// front end's exit code; a run stopped on the main thread by a failure ends
// with that failure. Moves the worker's result into FrontEndExitCode.
std::int32_t SettleExitCode(RunState& run);

// What the wait loop does with the splash window when the prompt depth it
// last acted on (`seen`) differs from the current one.
enum class SplashAction { None, Show, Hide };
SplashAction SplashActionForPromptDepth(std::int32_t seen, std::int32_t depth);

}  // namespace lantern
