// What this build's string table holds, for the tests of every way it is read
// (built-in data natively, the string-table resource on Windows).
#pragma once

#include <string_view>

namespace lantern::testing_values {

struct ExpectedString {
  unsigned id;
  std::wstring_view text;
};

inline constexpr ExpectedString kBuildStrings[] = {
    {0, L"x86"},
    {1, L"Vantrel Studio Download"},
    {101, L"&About %s..."},
    {102, L"Insufficient disk space on drive '%s'. %.1f %s of free disk space is required."},
    {103, L"100"},
    {104, L"Contact Technical Support. Incorrect %s build. (Try setting the temp folder from the command line.)"},
    {105, L"%s Version %d.%d.%d.%d"},
    {106, L"About %s"},
    {108, L"%s requires %s. Please download from the Microsoft Download Center and retry."},
    {109, L"You need local administrator privileges to run %s."},
    {110, L"%s requires MSI Engine 2.0. This can be downloaded from the Microsoft Download Center."},
    {111, L"A file is corrupt. Download %s and retry."},
    {112, L"%s failed with exit code 0x%08x."},
    {113, L"Failed to run %s error 0x%08x."},
    {114,
     L"Command line '%s' incorrect.\nValid switches include:- \n\t extract [path] log [path] temp "
     L"[path]\nExample\n\tVantrelStudioDownload.exe log C:\\Temp\\Setup.log /IAgreeToTheEULA VT_PFUR_ENABLED=1"},
    {115, L"%s requires %s SP %d. Please download from the Microsoft Download Center and retry."},
    {135, L"%s failed to switch into processor mode (%s)"},
    {137, L"Verification of %s failed. Do you wish to continue?"},
    {138, L"0"},
    {139, L"0"},
    {140, L"0"},
    {141, L"0"},
    {142, L"0"},
    {143, L"0"},
    {144, L"0"},
    {145, L"1"},
};

// Ids the program does not use, inside and outside the blocks the table has.
inline constexpr unsigned kUnusedIds[] = {2, 15, 100, 107, 116, 134, 136, 146, 5000, 65535};

}  // namespace lantern::testing_values
