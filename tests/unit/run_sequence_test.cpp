// The run's decisions: the order of its steps, the signature outcomes, the
// gates, the worker's sequence and the exit code, with fake steps.
#include "app/run_sequence.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "memory_log.h"
#include "program_strings.h"

namespace lantern {
namespace {

using testing_fakes::MemoryLogSystem;
using testing_fakes::ProgramStrings;

class FakeSteps final : public RunSteps {
 public:
  explicit FakeSteps(RunState& run, DiagnosticLog& log) : run_(run), log_(log) {}

  // What each step answers.
  ResultCode parse_result = rc::Ok;
  bool help_in_options = false;
  SignatureCheck signature;
  bool answer_yes = true;
  ResultCode gates_result = rc::Ok;
  std::vector<ResultCode> probe_results = {rc::Ok};
  ResultCode prompt_result = rc::Ok;
  ResultCode folder_result = rc::Ok;
  ResultCode extract_result = rc::Ok;
  ResultCode launch_result = rc::Ok;
  std::int32_t front_end_exit_code = 0;

  // What was called, in order.
  std::vector<std::string> calls;
  std::wstring asked_heading, asked_message, checked_root;
  ResultCode reported = 12345;

  ResultCode ParseOptions() override {
    calls.push_back("ParseOptions");
    if (help_in_options) run_.HelpRequested = true;
    return parse_result;
  }
  std::uint32_t TickCount() override { return 0xFFFFFFFEu; }
  SignatureCheck VerifyOwnSignature() override {
    calls.push_back("Verify");
    return signature;
  }
  bool AskToContinue(const std::wstring& heading, const std::wstring& message) override {
    calls.push_back("Ask");
    asked_heading = heading;
    asked_message = message;
    return answer_yes;
  }
  void ReadSignerDetails() override { calls.push_back("ReadSignerDetails"); }
  PrerequisiteReport CheckPrerequisites(const std::wstring& root) override {
    calls.push_back("Gates");
    checked_root = root;
    PrerequisiteReport report;
    report.result = gates_result;
    return report;
  }
  void RunWorker() override {
    calls.push_back("RunWorker");
    run_.WorkerResult = RunEmbeddedResource(run_, *this, log_, run_.FrontEndExitCode);
  }
  void OpenHelpPage() override { calls.push_back("Help"); }
  void ReportFailure(ResultCode code) override {
    calls.push_back("Report");
    reported = code;
  }
  ResultCode CreateProbeFile(const std::wstring&) override {
    calls.push_back("Probe");
    const ResultCode result = probe_results.front();
    if (probe_results.size() > 1) probe_results.erase(probe_results.begin());
    return result;
  }
  ResultCode PromptForWorkingFolderRoot(std::wstring& root) override {
    calls.push_back("Prompt");
    root = L"D:\\";
    return prompt_result;
  }
  ResultCode PrepareWorkingFolder(bool zero_guid) override {
    calls.push_back(zero_guid ? "ZeroGuidFolder" : "Folder");
    return folder_result;
  }
  void WriteEmbeddedInformation() override { calls.push_back("Info"); }
  ResultCode ExtractResources(std::wstring& program_path) override {
    calls.push_back("Extract");
    program_path = L"C:\\w\\Frontend.exe";
    return extract_result;
  }
  ResultCode RunProgram(const std::wstring& path, const std::wstring&, std::int32_t& exit_code) override {
    calls.push_back("Launch");
    EXPECT_EQ(path, L"C:\\w\\Frontend.exe");
    exit_code = front_end_exit_code;
    return launch_result;
  }
  void RemoveWorkingFolder() override { calls.push_back("Remove"); }

 private:
  RunState& run_;
  DiagnosticLog& log_;
};

class RunSequenceTest : public ::testing::Test {
 protected:
  MemoryLogSystem system_;
  DiagnosticLog log_{system_};
  RunState run_;
  FakeSteps steps_{run_, log_};

  ResultCode Run() { return RunMainSequence(run_, steps_, ProgramStrings(), log_); }
  const std::wstring& Lines() const { return log_.Pending(); }
};

using Calls = std::vector<std::string>;

TEST_F(RunSequenceTest, AWholeRunCallsEveryStepInOrderAndEndsWithTheFrontEndsExitCode) {
  steps_.front_end_exit_code = 5;
  run_.options.WorkingFolderRoot = L"C:\\Temp\\";
  EXPECT_EQ(Run(), rc::Ok);
  EXPECT_EQ(steps_.calls, (Calls{"ParseOptions", "Verify", "ReadSignerDetails", "Gates", "RunWorker",
                                 "ParseOptions", "Probe", "Folder", "Info", "Extract", "Launch", "Remove"}));
  EXPECT_EQ(steps_.checked_root, L"C:\\Temp\\");
  EXPECT_EQ(Lines(), L"Started -2\nRun Embedded Resources \nRemove folder 'Yes'\n");
  EXPECT_EQ(SettleExitCode(run_), 5);
}

TEST_F(RunSequenceTest, AMalformedCommandLineStopsBeforeStartedAndIsReportedAndReturned) {
  steps_.parse_result = rc::InvalidParameter;
  EXPECT_EQ(Run(), rc::InvalidParameter);
  EXPECT_EQ(steps_.calls, (Calls{"ParseOptions", "Report"}));
  EXPECT_EQ(steps_.reported, rc::InvalidParameter);
  EXPECT_EQ(Lines(), L"");
  EXPECT_EQ(SettleExitCode(run_), rc::InvalidParameter);
}

TEST_F(RunSequenceTest, HelpOpensTheHelpPageWithoutAReportAndEndsWithZero) {
  steps_.parse_result = rc::HelpRequested;
  steps_.help_in_options = true;
  EXPECT_EQ(Run(), rc::HelpRequested);
  EXPECT_EQ(steps_.calls, (Calls{"ParseOptions", "Help"}));
  EXPECT_EQ(SettleExitCode(run_), 0);
}

TEST_F(RunSequenceTest, SignatureOutcomes) {
  const std::wstring product_question =
      L"Verification of Vantrel Studio Download failed. Do you wish to continue?";
  struct Case {
    const char* what;
    bool silent, run_front_end;
    ResultCode status;
    bool answer_yes;
    ResultCode result;
    bool asked;
    std::wstring lines_after_started;
  };
  const Case cases[] = {
      {"silent, chain error", true, true, rc::CertChaining, false, rc::Ok, false,
       L"Certificate error 800b010a\nIgnore chaining error....\n"},
      {"silent, unsigned", true, true, rc::NoSignature, false, rc::NoSignature, false,
       L"Certificate error 800b0100\nNot signed correctly so failing now!\n"},
      {"silent dontrun, unsigned", true, false, rc::NoSignature, false, rc::Ok, false,
       L"Certificate error 800b0100\nNot running so extract anyway\n"},
      {"asked, chain error, yes", false, true, rc::CertChaining, true, rc::Ok, true,
       L"Certificate error 800b010a\nNot signed correctly 800b010a\n"},
      {"asked, unsigned, no", false, true, rc::NoSignature, false, rc::NoSignature, true,
       L"Certificate error 800b0100\nNot signed correctly 800b0100\n"},
      {"asked, tampered, yes", false, true, Hr(0x80096010), true, rc::Ok, true,
       L"Certificate error 80096010\nNot signed correctly 80096010\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    RunState run;
    run.options.Silent = c.silent;
    run.options.RunFrontEnd = c.run_front_end;
    FakeSteps steps(run, log);
    steps.signature = {c.status, L"The file is not signed."};
    steps.answer_yes = c.answer_yes;
    // The fake's options keep the flags set above.
    EXPECT_EQ(RunMainSequence(run, steps, ProgramStrings(), log), c.result);
    EXPECT_EQ(std::find(steps.calls.begin(), steps.calls.end(), "Ask") != steps.calls.end(), c.asked);
    if (c.asked) {
      EXPECT_EQ(steps.asked_heading, product_question);
      EXPECT_EQ(steps.asked_message, L"The file is not signed.");
    }
    EXPECT_EQ(log.Pending().substr(0, std::wstring(L"Started -2\n").size() + c.lines_after_started.size()),
              L"Started -2\n" + c.lines_after_started);
    const bool went_on = c.result == rc::Ok;
    EXPECT_EQ(std::find(steps.calls.begin(), steps.calls.end(), "ReadSignerDetails") != steps.calls.end(),
              went_on);
    if (!went_on) {
      EXPECT_EQ(steps.reported, rc::NoSignature);
      EXPECT_EQ(SettleExitCode(run), rc::NoSignature);
    }
  }
}

TEST_F(RunSequenceTest, AFailedGateStopsTheRunWithItsCodeAndIsReported) {
  for (const ResultCode code : {rc::NotAdmin, rc::NoDotNet, rc::InstallPackageVersion, rc::MediumFull}) {
    SCOPED_TRACE(code);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    RunState run;
    FakeSteps steps(run, log);
    steps.gates_result = code;
    EXPECT_EQ(RunMainSequence(run, steps, ProgramStrings(), log), code);
    EXPECT_EQ(steps.calls, (Calls{"ParseOptions", "Verify", "ReadSignerDetails", "Gates", "Report"}));
    EXPECT_EQ(steps.reported, code);
    EXPECT_EQ(run.prerequisites.result, code);
    // Reported as a failure to scripts too, 1613 included.
    EXPECT_EQ(SettleExitCode(run), code);
  }
}

TEST_F(RunSequenceTest, WorkerSequence) {
  struct Case {
    const char* what;
    std::function<void(RunState&, FakeSteps&)> setup;
    ResultCode result;
    Calls worker_calls;
    std::wstring lines;
  };
  const std::wstring started = L"Run Embedded Resources \n";
  const Case cases[] = {
      {"dontrun extracts and removes",
       [](RunState& r, FakeSteps&) { r.options.RunFrontEnd = false; },
       rc::Ok,
       {"Probe", "Folder", "Info", "Extract", "Remove"},
       started + L"Remove folder 'Yes'\n"},
      {"keep leaves the folder",
       [](RunState& r, FakeSteps&) { r.options.RemoveFolder = false; },
       rc::Ok,
       {"Probe", "Folder", "Info", "Extract", "Launch"},
       started + L"Remove folder 'No'\n"},
      {"zeroguid names the folder before anything is written",
       [](RunState& r, FakeSteps&) { r.options.ZeroGuid = true; },
       rc::Ok,
       {"Probe", "ZeroGuidFolder", "Info", "Extract", "Launch", "Remove"},
       started + L"Remove folder 'Yes'\n"},
      {"a folder the run may not use ends the worker before anything is written or removed",
       [](RunState& r, FakeSteps& s) {
         r.options.ZeroGuid = true;
         s.folder_result = rc::Fail;
       },
       rc::Fail,
       {"Probe", "ZeroGuidFolder"},
       started},
      {"a failed extraction starts nothing but still removes",
       [](RunState&, FakeSteps& s) { s.extract_result = rc::FileCorrupt; },
       rc::FileCorrupt,
       {"Probe", "Folder", "Info", "Extract", "Remove"},
       started + L"Remove folder 'Yes'\n"},
      {"a failed launch still removes",
       [](RunState&, FakeSteps& s) { s.launch_result = rc::Abort; },
       rc::Abort,
       {"Probe", "Folder", "Info", "Extract", "Launch", "Remove"},
       started + L"Remove folder 'Yes'\n"},
      {"a root that takes no file is replaced by the prompt",
       [](RunState&, FakeSteps& s) {
         s.probe_results = {rc::Fail, rc::Ok};
       },
       rc::Ok,
       {"Probe", "Prompt", "Probe", "Folder", "Info", "Extract", "Launch", "Remove"},
       started + L"Remove folder 'Yes'\n"},
      {"a refused prompt ends the worker without removal",
       [](RunState&, FakeSteps& s) {
         s.probe_results = {rc::Fail};
         s.prompt_result = rc::Fail;
       },
       rc::Fail,
       {"Probe", "Prompt"},
       started},
      {"a second failed probe ends the worker without removal",
       [](RunState&, FakeSteps& s) {
         s.probe_results = {rc::Fail, Hr(0x80070005)};
       },
       Hr(0x80070005),
       {"Probe", "Prompt", "Probe"},
       started},
      {"a failed second parse ends the worker",
       [](RunState&, FakeSteps& s) { s.parse_result = rc::InvalidParameter; },
       rc::InvalidParameter,
       {},
       started + L"Failed to parse parameters\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    RunState run;
    FakeSteps steps(run, log);
    c.setup(run, steps);
    std::int32_t exit_code = 77;
    EXPECT_EQ(RunEmbeddedResource(run, steps, log, exit_code), c.result);
    Calls expected = {"ParseOptions"};
    expected.insert(expected.end(), c.worker_calls.begin(), c.worker_calls.end());
    EXPECT_EQ(steps.calls, expected);
    EXPECT_EQ(log.Pending(), c.lines);
    EXPECT_EQ(exit_code, 0);
  }
}

TEST_F(RunSequenceTest, ReportAndExitCodeAfterTheWorker) {
  struct Case {
    const char* what;
    ResultCode launch_result;
    std::int32_t front_end_exit_code;
    bool reported;
    std::int32_t exit_code;
  };
  const Case cases[] = {
      {"front end ends with 0", rc::Ok, 0, false, 0},
      {"front end ends with 1: passed through, no report", rc::Ok, 1, false, 1},
      {"front end ends with -1", rc::Ok, -1, true, -1},
      {"front end fails to load its runtime", rc::Ok, static_cast<std::int32_t>(0x80131700), true,
       static_cast<std::int32_t>(0x80131700)},
      {"exit code not readable: the raw error, no report", 6, 0, false, 6},
      {"launch refused", rc::Abort, 0, true, rc::Abort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    RunState run;
    FakeSteps steps(run, log);
    steps.launch_result = c.launch_result;
    steps.front_end_exit_code = c.front_end_exit_code;
    RunMainSequence(run, steps, ProgramStrings(), log);
    EXPECT_EQ(std::count(steps.calls.begin(), steps.calls.end(), "Report"), c.reported ? 1 : 0);
    if (c.reported) {
      EXPECT_EQ(steps.reported, c.launch_result);
    }
    EXPECT_EQ(SettleExitCode(run), c.exit_code);
  }
}

TEST(SplashAction, FollowsThePromptDepth) {
  struct Case {
    std::int32_t seen, depth;
    SplashAction action;
  };
  const Case cases[] = {
      {0, 0, SplashAction::None}, {0, 1, SplashAction::Hide}, {1, 0, SplashAction::Show},
      {1, 2, SplashAction::None}, {2, 0, SplashAction::Show}, {0, 2, SplashAction::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplashActionForPromptDepth(c.seen, c.depth), c.action) << c.seen << " -> " << c.depth;
  }
}

}  // namespace
}  // namespace lantern
