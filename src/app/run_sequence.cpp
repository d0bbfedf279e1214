#include "app/run_sequence.h"

#include "core/config_strings.h"

namespace lantern {

namespace {

// The signature was not verified: a silent run decides by itself, anyone else
// is asked.
ResultCode DecideOnSignatureFailure(const RunState& run, RunSteps& steps, const StringTable& strings,
                                    DiagnosticLog& log, const SignatureCheck& check) {
  log.LogFormat(L"Certificate error %0x\n", check.status);
  if (run.options.Silent) {
    if (check.status == rc::CertChaining) {
      log.LogText(L"Ignore chaining error....\n");
      return rc::Ok;
    }
    if (run.options.RunFrontEnd) {
      log.LogText(L"Not signed correctly so failing now!\n");
      return rc::NoSignature;
    }
    log.LogText(L"Not running so extract anyway\n");
    return rc::Ok;
  }
  std::wstring heading;
  FormatConfigString(strings, cfg::VerifyQuestion, heading, LoadConfigString(strings, cfg::ProductName));
  log.LogFormat(L"Not signed correctly %0x\n", check.status);
  return steps.AskToContinue(heading, check.verdict) ? rc::Ok : rc::NoSignature;
}

// Options, signature, signer details, gates and work; the first failure ends it.
ResultCode RunUntilFirstFailure(RunState& run, RunSteps& steps, const StringTable& strings,
                                DiagnosticLog& log) {
  ResultCode result = steps.ParseOptions();
  if (result != rc::Ok) return result;

  log.LogFormat(L"Started %ld\n", steps.TickCount());

  const SignatureCheck check = steps.VerifyOwnSignature();
  if (check.status != 0) {
    result = DecideOnSignatureFailure(run, steps, strings, log, check);
    if (result != rc::Ok) return result;
  }

  steps.ReadSignerDetails();

  run.prerequisites = steps.CheckPrerequisites(run.options.WorkingFolderRoot);
  if (run.prerequisites.result != rc::Ok) return run.prerequisites.result;

  steps.RunWorker();
  return run.WorkerResult;
}

}  // namespace

ResultCode RunMainSequence(RunState& run, RunSteps& steps, const StringTable& strings, DiagnosticLog& log) {
  const ResultCode result = RunUntilFirstFailure(run, steps, strings, log);
  run.RunResult = result;
  if (run.HelpRequested) steps.OpenHelpPage();
  if (IsFailureResult(result) || run.FrontEndExitCode < 0) steps.ReportFailure(result);
  return result;
}

ResultCode RunEmbeddedResource(RunState& run, RunSteps& steps, DiagnosticLog& log, std::int32_t& exit_code) {
  log.LogText(L"Run Embedded Resources \n");
  exit_code = 0;

  ResultCode result = steps.ParseOptions();
  if (result != rc::Ok) {
    log.LogText(L"Failed to parse parameters\n");
    return result;
  }
  RunOptions& options = run.options;
  std::wstring program_path;
  if (steps.CreateProbeFile(options.WorkingFolderRoot) != rc::Ok) {
    result = steps.PromptForWorkingFolderRoot(options.WorkingFolderRoot);
    if (result != rc::Ok) return result;
    result = steps.CreateProbeFile(options.WorkingFolderRoot);
    if (result != rc::Ok) return result;
  }
  // A folder that is not the run's own to use is neither written to nor removed.
  result = steps.PrepareWorkingFolder(options.ZeroGuid);
  if (result != rc::Ok) return result;

  steps.WriteEmbeddedInformation();
  result = steps.ExtractResources(program_path);
  if (options.RunFrontEnd && result == rc::Ok) {
    result = steps.RunProgram(program_path, options.FrontEndCommandLine, exit_code);
  }

  // Also after a failed extraction or launch: nothing is left behind.
  log.LogFormat(L"Remove folder '%s'\n", options.RemoveFolder ? L"Yes" : L"No");
  if (options.RemoveFolder) steps.RemoveWorkingFolder();
  return result;
}

std::int32_t SettleExitCode(RunState& run) {
  if (run.WorkerResult != 0) run.FrontEndExitCode = run.WorkerResult;
  if (run.FrontEndExitCode == 0 && IsFailureResult(run.RunResult)) return run.RunResult;
  return run.FrontEndExitCode;
}

SplashAction SplashActionForPromptDepth(std::int32_t seen, std::int32_t depth) {
  if (depth == seen) return SplashAction::None;
  if (depth == 0) return SplashAction::Show;
  if (seen == 0 && depth == 1) return SplashAction::Hide;
  return SplashAction::None;
}

}  // namespace lantern
