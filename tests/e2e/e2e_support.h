// Helpers for tests that build, run and inspect real bootstrappers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin_support_win32.h"

namespace lantern::e2e {

using testing_support::HostPath;
using testing_support::ReadStandInRecord;

// Each character as one byte: the tests' texts are ASCII or Latin-1, as
// the log's code page (1252) writes them.
inline std::string Narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

std::vector<unsigned char> ReadBytes(const std::wstring& path);
std::string ReadText(const std::wstring& path);

// The log's lines without the CRs that end them (some end with two).
std::vector<std::string> LogLines(const std::wstring& path);

// Flips the lowest bit of the byte at `offset` of the file; whether it could.
bool FlipByte(const std::wstring& path, DWORD offset);

// A byte of a program's DOS stub message: the signature covers it and
// nothing runs it (a changed byte of code could crash the program before it
// checks anything).
constexpr DWORD kDosStubMessageByte = 0x50;

struct RunResult {
  bool finished = false;  // false: it had to be stopped after the time limit
  std::uint32_t exit_code = 0;
};

// Runs a command line and waits for it, for at most `timeout_ms`; a program
// still running then is terminated, so that a dialog waiting for input fails
// the test instead of hanging it. `application` names the program when the
// command line's first token does not, as a shell does for a path quoted in part.
RunResult RunProgram(const std::wstring& command_line, DWORD timeout_ms = 60000,
                     const std::wstring& current_folder = L"", const std::wstring& application = L"");

// A fresh folder under the temporary folder, removed with everything in it
// when the test ends.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// A module loaded for its resources only.
class ResourceModule {
 public:
  explicit ResourceModule(const std::wstring& path);
  ~ResourceModule();
  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;
  HMODULE get() const { return module_; }
  // The bytes of a resource, or nothing when it is missing.
  std::optional<std::vector<unsigned char>> Bytes(const wchar_t* type, const wchar_t* name) const;

 private:
  HMODULE module_ = nullptr;
};

}  // namespace lantern::e2e
