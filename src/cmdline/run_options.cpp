// ParseOptions: the run's flags, the working-folder root, the log file and the
// front end's argument text, decided afresh from the tokens on every call.
#include "cmdline/run_options.h"

#include <new>

#include "cmdline/command_line_info_ex.h"
#include "cmdline/front_end_command_line.h"
#include "core/when_memory_fails.h"
#include "framework/command_line_info.h"

namespace lantern {
namespace {

// Folders longer than this are passed over for the working-folder root: the
// GUID-named folder and the payload's own paths must still fit below it.
constexpr std::size_t kMaxRootLength = 100;
// Below this length the all-users folder gets a folder of our own appended.
constexpr std::size_t kMaxRootForSubfolder = 90;

// As PathAppendW joins: exactly one backslash between the two.
std::wstring AppendPath(std::wstring path, std::wstring_view name) {
  if (!path.empty() && path.back() != L'\\') {
    path += L'\\';
  }
  path += name;
  return path;
}

std::wstring DefaultWorkingFolderRoot(PathEnvironment& environment) {
  std::wstring temp = environment.TempPath();
  if (temp.size() <= kMaxRootLength) {
    return temp;  // a failure gives the empty text, which is taken too
  }
  if (std::optional<std::wstring> user = environment.UserAppDataPath();
      user && user->size() <= kMaxRootLength) {
    return *user;
  }
  if (std::optional<std::wstring> common = environment.CommonAppDataPath();
      common && common->size() <= kMaxRootLength) {
    return common->size() < kMaxRootForSubfolder ? AppendPath(*common, L"Vantrel") : *common;
  }
  if (std::optional<std::wstring> drive = environment.SystemDrive()) {
    return *drive;
  }
  return environment.WindowsDrive();
}

enum class PathWord { Extract, Log, Temp };

// Expands the path of one path word and applies it. A path word written as a
// switch, or whose path does not expand within kMaxFullPath characters, is an
// error (never a silently shortened path); the entry then keeps the path as typed.
ResultCode ApplyPathWord(std::wstring_view word, PathWord kind, CCommandLineInfoEx& parser,
                         PathEnvironment& environment, DiagnosticLog& log, RunOptions& options) {
  if (parser.Switches.Contains(word) && parser.HasSwitch(word)) {
    return rc::InvalidParameter;
  }
  const std::wstring* typed = parser.Values.Lookup(word);
  // A path word as the last token has no path: there is nothing to apply, and
  // the word goes on to the front end as a plain token.
  if (typed == nullptr || typed->empty()) {
    return rc::Ok;
  }
  const std::optional<std::wstring> full = environment.FullPath(*typed);
  if (!full) {
    log.LogFormat(L"Path not valid '%s'\n", *typed);
    return rc::InvalidParameter;
  }
  if (full->size() > kMaxFullPath) {
    log.LogFormat(L"Path too long '%s'\n", *typed);
    return rc::InvalidParameter;
  }
  // Every path word goes on to the front end with its full path: a relative
  // one would be read against the front end's own current folder.
  parser.SetValue(word, *full);
  switch (kind) {
    case PathWord::Extract:
      break;
    case PathWord::Log: {
      log.OpenLogFile(*full);
      break;
    }
    case PathWord::Temp:
      options.WorkingFolderRoot = *full;
      break;
  }
  return rc::Ok;
}

ResultCode ParseOptionsOrThrow(const std::vector<std::wstring>& tokens, std::wstring_view installer_name,
                               PathEnvironment& environment, DiagnosticLog& log, RunOptions& options) {
  CCommandLineInfoEx parser;
  ParseCommandLine(tokens, parser);

  options = RunOptions{};
  options.WorkingFolderRoot = DefaultWorkingFolderRoot(environment);

  if (parser.HasSwitch(L"IAgreeToTheEULA")) {
    options.Silent = true;  // the key stays, so the front end runs silently too
  }
  if (parser.HasSwitch(L"dontrun")) {
    options.RunFrontEnd = false;
    parser.Values.Remove(L"dontrun");
  }
  if (parser.HasSwitch(L"zeroguid")) {
    options.ZeroGuid = true;
    parser.Values.Remove(L"zeroguid");
  }
  if (parser.HasSwitch(L"keep")) {
    options.RemoveFolder = false;
    parser.Values.Remove(L"keep");
  }

  // Each path word is applied on its own; any failure makes the result an error.
  ResultCode result = rc::Ok;
  const struct {
    const wchar_t* word;
    PathWord kind;
  } path_words[] = {{L"extract", PathWord::Extract}, {L"log", PathWord::Log}, {L"temp", PathWord::Temp}};
  for (const auto& path_word : path_words) {
    const ResultCode applied =
        ApplyPathWord(path_word.word, path_word.kind, parser, environment, log, options);
    if (applied != rc::Ok) {
      result = applied;
    }
  }

  BuildFrontEndCommandLine(parser, installer_name, options.FrontEndCommandLine);

  if (parser.Values.Contains(L"?")) {
    options.HelpRequested = true;
    log.LogText(L"Ask for help\n");
    result = rc::HelpRequested;
  }

  log.LogFormat(L"Command line params %s\n", options.FrontEndCommandLine);
  log.LogFormat(L"Temp folder '%s'\n", options.WorkingFolderRoot);
  log.LogFormat(L"Zero Guid '%s'\n", options.ZeroGuid ? L"Set" : L"NotSet");
  log.LogFormat(L"Keep '%s'\n", options.RemoveFolder ? L"NotSet" : L"Set");
  return result;
}

}  // namespace

ResultCode ParseOptions(const std::vector<std::wstring>& tokens, std::wstring_view installer_name,
                        PathEnvironment& environment, DiagnosticLog& log, RunOptions& options) {
  LANTERN_TRY {
    return ParseOptionsOrThrow(tokens, installer_name, environment, log, options);
  } LANTERN_CATCH(const std::bad_alloc&) {
    return rc::OutOfMemory;
  }
}

}  // namespace lantern
