// What the user types on a real bootstrapper's command line reaches the
// stand-in front end's argv unchanged, however it is quoted, and the
// installer's name stays one argument whatever it holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "arguments_paths.h"
#include "e2e_paths.h"
#include "e2e_support.h"
#include "log_lines.h"

namespace lantern::e2e {
namespace {

namespace fs = std::filesystem;

// The stand-in writes its record in UTF-8.
std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                      nullptr);
  return bytes;
}

std::vector<std::string> Sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

// The front end's arguments after its program, as it split them.
std::vector<std::string> FrontEndArguments(const std::wstring& record) {
  const auto fields = ReadStandInRecord(fs::path(record));
  std::vector<std::string> arguments;
  const auto argc = fields.find("argc");
  if (argc == fields.end()) return arguments;
  for (int i = 1; i < std::stoi(argc->second); ++i)
    arguments.push_back(fields.at("argv" + std::to_string(i)));
  return arguments;
}

struct Typed {
  std::wstring on_the_command_line;
  std::wstring argument;  // what the runtime makes of it
};

// Each text as the user would quote it for the runtime, and the argument it stands for.
const Typed kHostile[] = {
    {LR"("INSTALLDIR=C:\Program Files\Vantrel")", LR"(INSTALLDIR=C:\Program Files\Vantrel)"},
    {LR"("X=\"q\"")", LR"(X="q")"},
    {L"\"TAB=a\tb\"", L"TAB=a\tb"},
    {LR"("NAME=a ""b"" c")", LR"(NAME=a "b" c)"},
    {LR"("DIR=C:\some dir\\")", LR"(DIR=C:\some dir\)"},
    {LR"(DIRS=C:\x\\\)", LR"(DIRS=C:\x\\\)"},
    {LR"(BS=a\\\"b)", LR"(BS=a\"b)"},
    {LR"("END=quote\"")", LR"(END=quote")"},
    {LR"("")", L""},
    {L"\" \"", L" "},
    {L"K==v=", L"K==v="},
    {L"\"N\u00c4ME=J\u00fcrgen \u03a9mega \u0416\u0443\u0440\u043d\u0430\u043b \U0001F600\"",
     L"N\u00c4ME=J\u00fcrgen \u03a9mega \u0416\u0443\u0440\u043d\u0430\u043b \U0001F600"},
    {LR"(CFU=\"two words\")", LR"(CFU="two words")"},
    {LR"("/switch with space")", LR"(/switch with space)"},
    {LR"("Q=\" PROP=injected /extract \"C:\pwn")", LR"(Q=" PROP=injected /extract "C:\pwn)"},
};

TEST(Arguments, HostileArgumentsReachTheFrontEndUnchanged) {
  TempFolder temp;
  const fs::path exe(HostPath(LANTERN_BASIC_EXE));
  const std::wstring log = temp / L"run log.txt";
  const std::wstring record = temp / L"record.txt";
  // The program path quoted in part, as a shell passes it on; a relative
  // working-folder root with a space and a trailing backslash.
  std::wstring command_line = Quoted(exe.parent_path().wstring()) + L"\\" + exe.filename().wstring() +
                              LR"( /IAgreeToTheEULA temp "root dir\\" log )" + Quoted(log) + L" " +
                              Quoted(L"record=" + record);
  std::vector<std::string> expected = {"/IAgreeToTheEULA",
                                       "/temp",
                                       Utf8(temp / L"root dir\\"),
                                       "/log",
                                       Utf8(log),
                                       Utf8(L"record=" + record),
                                       "VT_I=Vantrel Installer"};
  for (const Typed& typed : kHostile) {
    command_line += L" " + typed.on_the_command_line;
    expected.push_back(Utf8(typed.argument));
  }

  const RunResult result = RunProgram(command_line, 60000, temp.path(), exe.wstring());
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  // They arrive in the order of the bootstrapper's map, which is not the order typed.
  EXPECT_EQ(Sorted(FrontEndArguments(record)), Sorted(expected));
}

TEST(Arguments, TheInstallersNameIsOneArgumentWhateverItHolds) {
  TempFolder temp;
  const std::wstring log = temp / L"run.log";
  const std::wstring record = temp / L"record.txt";
  // "temp true" is a folder named true, not a switch.
  const RunResult result =
      RunProgram(Quoted(HostPath(LANTERN_QUOTE_NAME_EXE)) + L" /IAgreeToTheEULA temp true log " +
                     Quoted(log) + L" record=" + record,
                 60000, temp.path());
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  const std::vector<std::string> expected = {"/IAgreeToTheEULA",
                                             "/temp",
                                             Utf8(temp / L"true"),
                                             "/log",
                                             Utf8(log),
                                             Utf8(L"record=" + record),
                                             R"(VT_I=Quote" PROP=injected /extract "C:\pwn\)"};
  EXPECT_EQ(Sorted(FrontEndArguments(record)), Sorted(expected));
}

}  // namespace
}  // namespace lantern::e2e
