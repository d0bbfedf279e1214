// A run on a machine without any .NET Framework keys: the gate stops it with
// its own code, before the later gates and before anything is extracted. Run
// by tests/e2e/machines/without_dotnet, which takes the keys away first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_paths.h"
#include "e2e_support.h"
#include "log_lines.h"

namespace lantern::e2e {
namespace {

TEST(MachineWithoutDotNet, TheGateStopsTheRunWithItsCode) {
  HKEY key = nullptr;
  const LONG opened =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup", 0, KEY_READ, &key);
  if (opened == ERROR_SUCCESS) RegCloseKey(key);
  ASSERT_NE(opened, ERROR_SUCCESS)
      << "this machine has .NET Framework keys; run it through machines/without_dotnet";

  TempFolder temp;
  const std::wstring log = temp / L"setup.log";
  const auto result =
      RunProgram(Quoted(HostPath(LANTERN_BASIC_EXE)) + L" /IAgreeToTheEULA log " + Quoted(log));
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0x80110409u);
  // The gates' lines follow the signer details' last line.
  EXPECT_EQ(LinesBetween(ReadLogLines(log), "Digital verification: (IssuerName '.*'|Failed)", "Ended -?[0-9]+"),
            (std::vector<std::string>{".NET 2.0 -1", ".NET 3.0 -1", ".NET 3.5 0", ".NET 4.0 Client 0",
                                      ".NET 4.0 Full 0", ".NET 4.5 Client 0", ".NET 4.5 Full 0",
                                      ".NET Version Not OK .NET 3.5 0",
                                      "Vantrel Studio Download requires .NET 3.5. Please download from the "
                                      "Microsoft Download Center and retry."}));
}

}  // namespace
}  // namespace lantern::e2e
