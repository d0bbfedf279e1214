// The parser's token walk: what each kind of token leaves in Values and
// Switches, including path words, the quoted CFU value and repeated tokens.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cmdline/command_line_info_ex.h"
#include "framework/command_line_info.h"
#include "run_options_fakes.h"

namespace lantern {
namespace {

using Entries = std::vector<std::pair<std::wstring, std::wstring>>;
using Keys = std::vector<std::wstring>;

Entries InOrder(const CStringMap<std::wstring>& map) {
  Entries entries;
  map.ForEach([&](const std::wstring& key, const std::wstring& value) { entries.emplace_back(key, value); });
  return entries;
}

Entries Sorted(Entries entries) {
  std::ranges::sort(entries);
  return entries;
}

Keys SortedKeys(const CStringMap<const void*>& map) {
  Keys keys;
  map.ForEach([&](const std::wstring& key, const void* value) {
    EXPECT_EQ(value, nullptr);
    keys.push_back(key);
  });
  std::ranges::sort(keys);
  return keys;
}

struct ParseCase {
  const char* name;
  std::vector<std::wstring> tokens;
  Entries values;
  Keys switches;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ParserCases : public testing::TestWithParam<ParseCase> {};

TEST_P(ParserCases, FillsTheMaps) {
  CCommandLineInfoEx parser;
  ParseCommandLine(GetParam().tokens, parser);
  EXPECT_EQ(Sorted(InOrder(parser.Values)), Sorted(GetParam().values));
  EXPECT_EQ(SortedKeys(parser.Switches), GetParam().switches);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ParserCases,
    testing::Values(
        ParseCase{"path word", {L"log", L"c:\\l.txt"}, {{L"log", L"c:\\l.txt"}}, {}},
        ParseCase{"path word as a switch",
                  {L"/log", L"c:\\l.txt"},
                  {{L"log", L"TRUE"}, {L"c:\\l.txt", L""}},
                  {L"log"}},
        ParseCase{
            "dash prefix", {L"-IAgreeToTheEULA"}, {{L"IAgreeToTheEULA", L"TRUE"}}, {L"IAgreeToTheEULA"}},
        ParseCase{"one prefix removed", {L"//x"}, {{L"/x", L"TRUE"}}, {L"/x"}},
        ParseCase{"path word in capitals", {L"LOG", L"c:\\l.txt"}, {{L"LOG", L"c:\\l.txt"}}, {}},
        ParseCase{"path word last", {L"log"}, {{L"log", L""}}, {}},
        ParseCase{"switch after a path word",
                  {L"log", L"/keep", L"c:\\x"},
                  {{L"keep", L"TRUE"}, {L"c:\\x", L""}},
                  {L"keep"}},
        ParseCase{"path that looks like a property", {L"temp", L"X=1"}, {{L"temp", L"X=1"}}, {}},
        ParseCase{"path word after a path word", {L"extract", L"log", L"x"}, {{L"log", L"x"}}, {}},
        ParseCase{"CFU value split in two",
                  {L"CFU=\"two", L"words\"", L"X=1"},
                  {{L"CFU=\"two words\"", L""}, {L"X=1", L""}},
                  {}},
        ParseCase{"CFU value in one token", {L"cfu=\"one\""}, {{L"cfu=\"one\"", L""}}, {}},
        ParseCase{"CFU value never closed", {L"A=1", L"CFU=\"two", L"words"}, {{L"A=1", L""}}, {}},
        ParseCase{
            "path word inside a CFU value", {L"CFU=\"a", L"log", L"b\""}, {{L"CFU=\"a log b\"", L""}}, {}},
        ParseCase{"CFU value between a path word and its path",
                  {L"log", L"CFU=\"a\"", L"c:\\l.txt"},
                  {{L"CFU=\"a\"", L""}, {L"log", L"c:\\l.txt"}},
                  {}},
        ParseCase{"switch inside a CFU value",
                  {L"CFU=\"a", L"/keep", L"b\""},
                  {{L"CFU=\"a b\"", L""}, {L"keep", L"TRUE"}},
                  {L"keep"}},
        ParseCase{"repeated switch", {L"/keep", L"/keep"}, {{L"keep", L"TRUE"}}, {L"keep"}},
        ParseCase{"same word as switch and plain", {L"keep", L"/keep", L"keep"}, {{L"keep", L""}}, {L"keep"}},
        ParseCase{"empty token", {L"", L"x"}, {{L"", L""}, {L"x", L""}}, {}},
        ParseCase{"help", {L"?", L"/?"}, {{L"?", L"TRUE"}}, {L"?"}}));

TEST(CCommandLineInfoEx, StartsEmpty) {
  const CCommandLineInfoEx parser;
  EXPECT_TRUE(parser.Values.IsEmpty());
  EXPECT_TRUE(parser.Switches.IsEmpty());
  EXPECT_EQ(parser.PendingKey, L"");
  EXPECT_FALSE(parser.InQuotedGroup);
  EXPECT_EQ(parser.QuotedGroup, L"");
}

TEST(CCommandLineInfoEx, AnUnfinishedGroupAndPathWordAreLeftPending) {
  CCommandLineInfoEx parser;
  ParseCommandLine({L"Temp", L"CFU=\"a", L"b"}, parser);
  EXPECT_TRUE(parser.Values.IsEmpty());
  EXPECT_EQ(parser.PendingKey, L"Temp");  // as written
  EXPECT_TRUE(parser.InQuotedGroup);
  EXPECT_EQ(parser.QuotedGroup, L"CFU=\"a b");
}

TEST(CCommandLineInfoEx, ARepeatedTokenKeepsItsFirstPlace) {
  // keep and A=34 share a bucket, where the newest comes first.
  CCommandLineInfoEx parser;
  ParseCommandLine({L"/keep", L"A=34", L"/keep"}, parser);
  EXPECT_EQ(InOrder(parser.Values), (Entries{{L"A=34", L""}, {L"keep", L"TRUE"}}));
}

TEST(CCommandLineInfoEx, HasSwitchWantsTheValueTrueInAnyCase) {
  CCommandLineInfoEx parser;
  ParseCommandLine({L"/a", L"b", L"temp", L"tRuE", L"log", L"yes"}, parser);
  parser.SetValue(L"set", L"True");
  EXPECT_TRUE(parser.HasSwitch(L"a"));
  EXPECT_TRUE(parser.HasSwitch(L"temp"));  // a path word whose path is TRUE
  EXPECT_TRUE(parser.HasSwitch(L"set"));
  EXPECT_FALSE(parser.HasSwitch(L"A"));  // keys are case-sensitive
  EXPECT_FALSE(parser.HasSwitch(L"b"));  // given without a prefix
  EXPECT_FALSE(parser.HasSwitch(L"log"));
  EXPECT_FALSE(parser.HasSwitch(L"missing"));
}

TEST(CCommandLineInfoEx, SetValueReplacesInPlaceOrAdds) {
  CCommandLineInfoEx parser;
  ParseCommandLine({L"/keep", L"A=34", L"log", L"l.txt"}, parser);
  parser.SetValue(L"keep", L"C:\\x\\keep");
  parser.SetValue(L"log", L"C:\\x\\l.txt");
  parser.SetValue(L"new", L"v");
  EXPECT_EQ(InOrder(parser.Values),
            (Entries{{L"A=34", L""}, {L"keep", L"C:\\x\\keep"}, {L"log", L"C:\\x\\l.txt"}, {L"new", L"v"}}));
  EXPECT_FALSE(parser.Switches.Contains(L"new"));
}

TEST(EqualsNoCase, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(EqualsNoCase(L"ExTrAcT", L"extract"));
  EXPECT_FALSE(EqualsNoCase(L"extrac", L"extract"));
  EXPECT_FALSE(EqualsNoCase(L"\u00c9", L"\u00e9"));
  EXPECT_FALSE(EqualsNoCase(L"\u212Aeep", L"keep"));  // the Kelvin sign is not K
  EXPECT_FALSE(EqualsNoCase(L"@", L"`"));             // neighbours of the letters
}

}  // namespace
}  // namespace lantern
