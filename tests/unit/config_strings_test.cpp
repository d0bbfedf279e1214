// Reading the build's configuration strings as text, flag, number and format.
#include "core/config_strings.h"

#include <gtest/gtest.h>

#include <map>

#include "build_strings_expected.h"
#include "map_string_table.h"
#include "program_strings.h"

namespace lantern {
namespace {

using testing_fakes::MapStringTable;

TEST(ConfigStrings, TextReadingGivesEmptyTextForAMissingEntry) {
  const MapStringTable table({{cfg::ProductName, L"Vantrel Studio Download"}});
  EXPECT_EQ(LoadConfigString(table, cfg::ProductName), L"Vantrel Studio Download");
  EXPECT_EQ(LoadConfigString(table, cfg::ProgramType), L"");
}

TEST(ConfigStrings, FlagIsSetUnlessTheTextIsExactlyZero) {
  const struct {
    std::optional<std::wstring> entry;
    bool expected;
  } cases[] = {
      {L"0", false}, {L"1", true}, {L" 0", true},        {L"0 ", true},
      {L"00", true}, {L"", true},  {std::nullopt, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "entry \"" << c.entry.value_or(L"(missing)") << "\"");
    std::map<unsigned, std::wstring> entries;
    if (c.entry) {
      entries[cfg::AdminRequired] = *c.entry;
    }
    const MapStringTable table(entries);
    EXPECT_EQ(ReadConfigFlag(LoadConfigString(table, cfg::AdminRequired)), c.expected);
  }
}

TEST(ConfigStrings, NumberReadsALeadingSignedDecimal) {
  const struct {
    std::optional<std::wstring> entry;
    std::int32_t expected;
  } cases[] = {
      {L"100", 100},
      {L"abc", 0},
      {L"-5", -5},
      {L"  42x", 42},
      {L"\t\n\v\f\r 9", 9},
      {L"+7", 7},
      {L"-1", -1},
      {L"2", 2},
      {L"", 0},
      {L"-", 0},
      {L"+ 3", 0},
      {L"--3", 0},
      {L"007", 7},
      {L"2147483647", 2147483647},
      {L"2147483648", 2147483647},
      {L"99999999999", 2147483647},
      {L"-2147483648", -2147483647 - 1},
      {L"-99999999999", -2147483647 - 1},
      {L"123456789012345678901234567890", 2147483647},
      {L"\u00a042", 0},  // only the C locale's white space is skipped
      {std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "entry \"" << c.entry.value_or(L"(missing)") << "\"");
    std::map<unsigned, std::wstring> entries;
    if (c.entry) {
      entries[cfg::RequiredDiskMB] = *c.entry;
    }
    const MapStringTable table(entries);
    EXPECT_EQ(ReadConfigNumber(LoadConfigString(table, cfg::RequiredDiskMB)), c.expected);
  }
}

TEST(ConfigStrings, FormatReadingFillsTheEntryWithItsArguments) {
  const MapStringTable table({
      {cfg::ProductName, L"Vantrel Studio Download"},
      {cfg::FrontEndFailedMessage, L"%s failed with exit code 0x%08x."},
      {cfg::DiskSpaceMessage,
       L"Insufficient disk space on drive '%s'. %.1f %s of free disk space is required."},
  });
  const std::wstring product = LoadConfigString(table, cfg::ProductName);
  const struct {
    unsigned id;
    std::vector<FormatArg> args;
    std::wstring expected;
  } cases[] = {
      {cfg::FrontEndFailedMessage,
       {product, static_cast<std::int32_t>(0x80131700)},
       L"Vantrel Studio Download failed with exit code 0x80131700."},
      {cfg::FrontEndFailedMessage,
       {product, 1},
       L"Vantrel Studio Download failed with exit code 0x00000001."},
      {cfg::DiskSpaceMessage,
       {L"C:\\", 150.0, L"MB"},
       L"Insufficient disk space on drive 'C:\\'. 150.0 MB of free disk space is required."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "entry " << c.id);
    std::wstring out;
    EXPECT_EQ(FormatConfigStringArgs(table, c.id, out, c.args), rc::Ok);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(ConfigStrings, FormatReadingOfAMissingEntryFails) {
  const MapStringTable table;
  std::wstring out = L"left over";
  EXPECT_EQ(FormatConfigString(table, cfg::FrontEndFailedMessage, out, L"Setup", 1), rc::Fail);
  EXPECT_EQ(out, L"");
}

TEST(ConfigStrings, TheBuildTableHoldsThisBuildsValues) {
  const StringTable& table = testing_fakes::ProgramStrings();
  for (const auto& expected : testing_values::kBuildStrings) {
    SCOPED_TRACE(testing::Message() << "entry " << expected.id);
    const std::wstring text = LoadConfigString(table, expected.id);
    EXPECT_EQ(text, expected.text);
  }
  for (const unsigned id : testing_values::kUnusedIds) {
    EXPECT_EQ(table.Find(id), std::nullopt) << "entry " << id;
  }
  EXPECT_EQ(ReadConfigNumber(LoadConfigString(table, cfg::RequiredDiskMB)), 100);
  EXPECT_TRUE(ReadConfigFlag(LoadConfigString(table, cfg::AdminRequired)));
}

}  // namespace
}  // namespace lantern
