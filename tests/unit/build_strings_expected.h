// What this build's string table holds, for the tests of every way it is read
// (built-in data natively, the string-table resource on Windows).
#pragma once

#include <string_view>

namespace lantern::testing_values {

struct ExpectedString {
  unsigned id;
  std::wstring_view text;
  bool prefix_only;  // the entry begins with `text`
};

inline constexpr ExpectedString kBuildStrings[] = {
    {0, L"x86", false},
    {1, L"Vantrel Studio Download", false},
    {101, L"&About %s...", false},
    {102, L"Insufficient disk space on drive '%s'. %.1f %s of free disk space is required.", false},
    {103, L"100", false},
    {104,
     L"Contact Technical Support. Incorrect %s build. (Try setting the temp folder from the command line.)",
     false},
    {105, L"%s Version %d.%d.%d.%d", false},
    {106, L"About %s", false},
    {108, L"%s requires %s. Please download from the Microsoft Download Center and retry.", false},
    {109, L"You need local administrator privileges to run %s.", false},
    {110, L"%s requires MSI Engine 2.0. This can be downloaded from the Microsoft Download Center.", false},
    {111, L"A file is corrupt. Download %s and retry.", false},
    {112, L"%s failed with exit code 0x%08x.", false},
    {113, L"Failed to run %s error 0x%08x.", false},
    {114,
     L"Command line '%s' incorrect.\nValid switches include:- \n\t extract [path] log [path] temp "
     L"[path]\nExample\n\t",
     true},
    {115, L"%s requires %s SP %d. Please download from the Microsoft Download Center and retry.", false},
    {135, L"%s failed to switch into processor mode (%s)", false},
    {137, L"Verification of %s failed. Do you wish to continue?", false},
    {138, L"0", false},
    {139, L"0", false},
    {140, L"0", false},
    {141, L"0", false},
    {142, L"0", false},
    {143, L"0", false},
    {144, L"0", false},
    {145, L"1", false},
};

// Ids the program does not use, inside and outside the blocks the table has.
inline constexpr unsigned kUnusedIds[] = {2, 15, 100, 107, 116, 134, 136, 146, 5000, 65535};

}  // namespace lantern::testing_values
