// The run's steps as this program performs them, over the parts of the system
// the application object made for the run.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/run_sequence.h"
#include "checks/prerequisites.h"
#include "cmdline/run_options.h"
#include "core/config_strings.h"
#include "framework/app_win32.h"
#include "framework/module_path_win32.h"
#include "framework/unique_handle_win32.h"
#include "launch/processor_mode.h"
#include "log/log.h"
#include "payload/catalogue.h"
#include "payload/working_folder.h"
#include "trust/signer_details_win32.h"
#include "trust/verify_signature_win32.h"
#include "ui/web_page.h"

namespace lantern {

// What a run is given: made once by the application object and shared by
// both threads.
struct RunContext {
  CWinApp& app;  // the dialogs' owner, the main thread and the program's module
  RunState& run;
  const StringTable& strings;
  DiagnosticLog& log;
  WorkingFolder& working_folder;
  const OwnFile& own_file;                     // the program's own file, open for the whole run
  const std::vector<std::wstring>& arguments;  // the command line's tokens, without the program
};

// The parts of the system a run asks.
struct SystemPorts {
  PathEnvironment& environment;
  MachineParts machine;
  WebPageSystem& web_pages;
  Wow64& wow64;
  const CryptoApi& crypto;
  WinVerifyTrustFn verify_trust;
};

class Win32RunSteps final : public RunSteps {
 public:
  Win32RunSteps(const RunContext& context, const SystemPorts& ports);

  // The steps the worker's sequence goes through: these, unless a test host
  // puts its own in front of them.
  void SetWorkerSteps(RunSteps& steps) { worker_steps_ = &steps; }
  // Set at the front end's first visible window; null before the worker starts.
  HANDLE FrontEndShownEvent() const { return front_end_shown_.get(); }

  ResultCode ParseOptions() override;
  std::uint32_t TickCount() override { return GetTickCount(); }
  SignatureCheck VerifyOwnSignature() override;
  bool AskToContinue(const std::wstring& heading, const std::wstring& message) override;
  void ReadSignerDetails() override;
  PrerequisiteReport CheckPrerequisites(const std::wstring& working_folder_root) override {
    return prerequisites_.Check(working_folder_root);
  }
  void RunWorker() override;
  void OpenHelpPage() override;
  void ReportFailure(ResultCode code) override;

  ResultCode CreateProbeFile(const std::wstring& root) override {
    return context_.working_folder.CreateProbeFile(root);
  }
  ResultCode PromptForWorkingFolderRoot(std::wstring& root) override;
  ResultCode PrepareWorkingFolder(bool zero_guid) override;
  void WriteEmbeddedInformation() override;
  ResultCode ExtractResources(std::wstring& program_path) override;
  ResultCode RunProgram(const std::wstring& program_path, const std::wstring& arguments,
                        std::int32_t& exit_code) override;
  void RemoveWorkingFolder() override;

 private:
  // The worker thread's entry; the argument is this object.
  static DWORD WINAPI WorkerThreadProc(LPVOID steps);

  RunContext context_;
  SystemPorts ports_;
  Prerequisites prerequisites_;
  RunSteps* worker_steps_ = this;
  // The payload resources, highest id first; filled by the extraction and
  // read by the removal.
  ResourceList resources_;
  UniqueKernelHandle worker_done_;
  UniqueKernelHandle front_end_shown_;
};

// The main thread's wait for the worker: pumps messages, hides and shows the
// splash window as the worker's prompts open and close, ends the splash when
// the front end shows a window, and returns when the worker is done.
// `handles`: the front end's shown event, then the worker's done event.
int WaitForWorker(const HANDLE handles[2], const std::atomic<std::int32_t>& prompt_depth, CWnd* splash);

}  // namespace lantern
