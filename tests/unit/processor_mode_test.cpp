// The build's processor mode against the kind of system, with a fake WOW64.
#include "launch/processor_mode.h"

#include <gtest/gtest.h>

#include <map>
#include "memory_log.h"
#include "map_string_table.h"

namespace lantern {
namespace {

using testing_fakes::MemoryLogSystem;

using testing_fakes::MapStringTable;

class FakeWow64 final : public Wow64 {
 public:
  explicit FakeWow64(bool wow64) : wow64_(wow64) {}
  bool IsWow64() override { return wow64_; }
  void DisableFsRedirection() override { calls += "disable;"; }
  void RevertFsRedirection() override { calls += "revert;"; }
  std::string calls;

 private:
  bool wow64_;
};

TEST(ProcessorMode, TextsSelectModesWithoutRegardToCase) {
  const std::map<std::wstring, ProcessorMode> cases = {
      {L"x86", ProcessorMode::x86},       {L"X86", ProcessorMode::x86},     {L"x64", ProcessorMode::x64},
      {L"X64", ProcessorMode::x64},       {L"x32only", ProcessorMode::x32Only}, {L"X32ONLY", ProcessorMode::x32Only},
      {L"Any", ProcessorMode::Any},       {L"arm", ProcessorMode::Any},     {L"", ProcessorMode::Any},
      {L" x86", ProcessorMode::Any},      {L"x64 ", ProcessorMode::Any},
  };
  for (const auto& [text, mode] : cases) EXPECT_EQ(SelectProcessorMode(text), mode) << "'" << text.size() << "'";
}

TEST(ProcessorMode, EveryModeOnBothKindsOfSystem) {
  struct Case {
    const wchar_t* program_type;
    bool wow64;
    bool goes_on;
    std::wstring lines;   // after "ProgramType '...'"
    std::string calls;    // on the redirection
  };
  const Case cases[] = {
      {L"Any", false, true, L"Staying on Any\n", ""},
      {L"Any", true, true, L"Staying on Any\nEnabling 64Bit spawned processes\n", "disable;"},
      {L"x86", false, true, L"Swapping to x86\n", ""},
      {L"x86", true, true, L"Swapping to x86\n", ""},
      {L"x64", false, false, L"Swapping to x64\nIncorrect processor mode with installation type\n", ""},
      {L"x64", true, true, L"Swapping to x64\nEnabling 64Bit spawned processes\n", "disable;"},
      {L"x32Only", false, true, L"Swapping to 32Bit only\n", ""},
      {L"x32Only", true, false, L"Swapping to 32Bit only\nIncorrect processor mode with installation type\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.wow64 ? "64-bit " : "32-bit ") << c.program_type);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    FakeWow64 wow64(c.wow64);
    const MapStringTable table({{cfg::ProgramType, c.program_type}});
    bool disabled = false;
    EXPECT_EQ(EnterProcessorMode(disabled, wow64, table, log), c.goes_on);
    EXPECT_EQ(disabled, !c.calls.empty());
    EXPECT_EQ(log.Pending(), L"ProgramType '" + std::wstring(c.program_type) + L"'\n" + c.lines);
    EXPECT_EQ(wow64.calls, c.calls);

    RestoreProcessorMode(disabled, wow64, log);
    EXPECT_FALSE(disabled);
    if (!c.calls.empty()) {
      EXPECT_EQ(wow64.calls, c.calls + "revert;");
      EXPECT_TRUE(log.Pending().ends_with(L"Restoring 32Bit spawned processes\n"));
    } else {
      EXPECT_EQ(wow64.calls, "");
    }
  }
}

TEST(ProcessorMode, AMissingEntryMeansAnyMode) {
  MemoryLogSystem system;
  DiagnosticLog log(system);
  const MapStringTable table;
  EXPECT_EQ(ReadProgramType(table, log), ProcessorMode::Any);
  EXPECT_EQ(log.Pending(), L"ProgramType ''\nStaying on Any\n");
}

TEST(ProcessorMode, RestoringTwiceRevertsOnce) {
  MemoryLogSystem system;
  DiagnosticLog log(system);
  FakeWow64 wow64(true);
  bool disabled = true;
  RestoreProcessorMode(disabled, wow64, log);
  RestoreProcessorMode(disabled, wow64, log);
  EXPECT_EQ(wow64.calls, "revert;");
  EXPECT_EQ(log.Pending(), L"Restoring 32Bit spawned processes\n");
}

}  // namespace
}  // namespace lantern
