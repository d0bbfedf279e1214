// The command line as anyone who starts the program can write it: split into
// tokens (which, quoted back by the runtime's rules, split the same again),
// then parsed into the run's options, which must be well formed, the same on
// a second parse, and set only by the switches that name them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cmdline/run_options.h"
#include "fuzz_support.h"
#include "log/log.h"

namespace lantern {
namespace {

using fuzzing::Show;

constexpr wchar_t kInstallerName[] = L"C:\\Downloads\\setup.exe";

// A path environment with fixed folders; `crowded` gives a temporary folder
// too long for a root and no application-data folders, so the later choices
// are taken.
class FuzzPathEnvironment final : public PathEnvironment {
 public:
  explicit FuzzPathEnvironment(bool crowded) : crowded_(crowded) {}
  std::wstring TempPath() override {
    return crowded_ ? L"C:\\" + std::wstring(120, L't') + L"\\" : L"C:\\Users\\pat\\AppData\\Local\\Temp\\";
  }
  std::optional<std::wstring> UserAppDataPath() override {
    if (crowded_) return std::nullopt;
    return L"C:\\Users\\pat\\AppData\\Roaming";
  }
  std::optional<std::wstring> CommonAppDataPath() override {
    if (crowded_) return std::nullopt;
    return L"C:\\ProgramData";
  }
  std::optional<std::wstring> SystemDrive() override { return L"C:"; }
  std::wstring WindowsDrive() override { return L"C:"; }
  // Full already with a drive or a leading backslash; otherwise below the
  // current folder. Empty text does not expand, as on Windows.
  std::optional<std::wstring> FullPath(const std::wstring& path) override {
    if (path.empty()) return std::nullopt;
    if ((path.size() >= 2 && path[1] == L':') || path[0] == L'\\') return path;
    return L"C:\\Users\\pat\\Downloads\\" + path;
  }

 private:
  bool crowded_;
};

// A log whose file is memory, so that naming one with "log" is exercised.
class FuzzLogSystem final : public LogSystem {
 public:
  class File final : public LogFile {
   public:
    void Write(std::string_view bytes) override { written += bytes.size(); }
    std::size_t written = 0;
  };
  std::optional<std::string> ToAnsi(std::wstring_view text) override {
    std::string narrow;
    for (const wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
  }
  std::unique_ptr<LogFile> Open(const std::wstring& path, bool) override {
    opened.push_back(path);
    return std::make_unique<File>();
  }
  std::vector<std::wstring> opened;
};

// One argument as the runtime's start-up reads it back: in quotes, with a
// backslash before each quote and the backslashes before it doubled.
std::wstring QuoteArgument(std::wstring_view argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(2 * backslashes + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, L'\\');
  quoted += L'"';
  return quoted;
}

std::string ShowTokens(const std::vector<std::wstring>& tokens) {
  std::string shown;
  for (const std::wstring& token : tokens) shown += "[" + Show(token) + "]";
  return shown;
}

bool SameOptions(const RunOptions& a, const RunOptions& b) {
  return a.ZeroGuid == b.ZeroGuid && a.RemoveFolder == b.RemoveFolder && a.RunFrontEnd == b.RunFrontEnd &&
         a.Silent == b.Silent && a.HelpRequested == b.HelpRequested &&
         a.WorkingFolderRoot == b.WorkingFolderRoot && a.FrontEndCommandLine == b.FrontEndCommandLine;
}

// Whether a token carries the switch `name`, with either prefix.
bool HasSwitchToken(const std::vector<std::wstring>& tokens, std::wstring_view name) {
  for (const std::wstring& token : tokens) {
    if (token.size() == name.size() + 1 && (token[0] == L'/' || token[0] == L'-') &&
        std::wstring_view(token).substr(1) == name) {
      return true;
    }
  }
  return false;
}

void CheckOptions(const std::vector<std::wstring>& tokens, bool crowded) {
  FuzzPathEnvironment environment(crowded);
  FuzzLogSystem log_system;
  DiagnosticLog log(log_system);
  RunOptions options;
  const ResultCode result = ParseOptions(tokens, kInstallerName, environment, log, options);
  FUZZ_CHECK(result == rc::Ok || result == rc::HelpRequested || result == rc::InvalidParameter,
             "unexpected result " + std::to_string(result) + " for " + ShowTokens(tokens));
  FUZZ_CHECK(options.HelpRequested == (result == rc::HelpRequested), "help without its result");

  // The front end's text is handed on as a C string and ends with the
  // installer's name.
  const std::wstring& front_end = options.FrontEndCommandLine;
  FUZZ_CHECK(front_end.ends_with(L"VT_I=\"" + std::wstring(kInstallerName) + L"\" "),
             "front end text " + Show(front_end));
  FUZZ_CHECK(front_end.find(L'\0') == std::wstring::npos, "NUL in the front end text");

  FUZZ_CHECK(!options.WorkingFolderRoot.empty(), "no working-folder root");
  FUZZ_CHECK(options.WorkingFolderRoot.size() <= kMaxFullPath, "root longer than a full path may be");

  // No flag turns without its switch.
  FUZZ_CHECK(!options.ZeroGuid || HasSwitchToken(tokens, L"zeroguid"), "zeroguid from nowhere");
  FUZZ_CHECK(options.RemoveFolder || HasSwitchToken(tokens, L"keep"), "keep from nowhere");
  FUZZ_CHECK(options.RunFrontEnd || HasSwitchToken(tokens, L"dontrun"), "dontrun from nowhere");
  FUZZ_CHECK(!options.Silent || HasSwitchToken(tokens, L"IAgreeToTheEULA"), "silent from nowhere");

  // The four option lines close the step's log, the last one saying keep.
  const std::wstring_view keep = options.RemoveFolder ? L"Keep 'NotSet'\n" : L"Keep 'Set'\n";
  FUZZ_CHECK(log.Pending().ends_with(keep) || (log.IsOpen() && log.Pending().empty()),
             "log ends " + Show(log.Pending().substr(log.Pending().size() -
                                                     std::min<std::size_t>(40, log.Pending().size()))));

  // Decided afresh on every call: a second parse on the same log gives the same.
  RunOptions again;
  again.ZeroGuid = !options.ZeroGuid;
  again.WorkingFolderRoot = L"stale";
  const ResultCode second = ParseOptions(tokens, kInstallerName, environment, log, again);
  FUZZ_CHECK(second == result && SameOptions(options, again),
             "a second parse differs for " + ShowTokens(tokens));
}

}  // namespace
}  // namespace lantern

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;
  const std::wstring command_line = fuzzing::WideFromBytes(data, size);
  const std::vector<std::wstring> tokens = SplitCommandLine(command_line);

  std::size_t characters = 0;
  for (const std::wstring& token : tokens) {
    FUZZ_CHECK(token.find(L'\0') == std::wstring::npos, "NUL in a token");
    characters += token.size();
  }
  FUZZ_CHECK(characters <= command_line.size(), "tokens longer than the command line");

  // Quoted back and split again, the tokens come out the same.
  std::wstring rebuilt = L"\"C:\\Program Files\\setup.exe\"";
  for (const std::wstring& token : tokens) rebuilt += L' ' + QuoteArgument(token);
  const std::vector<std::wstring> again = SplitCommandLine(rebuilt);
  FUZZ_CHECK(again == tokens, "quoted back " + fuzzing::Show(rebuilt) + " splits into " + ShowTokens(again) +
                                  ", not " + ShowTokens(tokens));

  CheckOptions(tokens, false);
  CheckOptions(tokens, true);
  return 0;
}
