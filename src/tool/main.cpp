// The packing tool: `lantern pack` turns the stub and a payload into a
// bootstrapper, `lantern inspect` shows what a bootstrapper carries and can
// write its payload out, `lantern stamp` stamps an information block into a
// signed bootstrapper.
//
// Exit status: 0 done, 1 the input or the output was refused (a message on
// the error stream says why), 2 the command line was not understood.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "pack/pack.h"
#include "pack/project.h"
#include "pack/report.h"
#include "pack/stamp.h"
#include "pack/stub.h"
#include "pack/text.h"
#include "sign/sign.h"
#include "sign/sign_arguments.h"

namespace lantern::tool {
namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

constexpr char kUsageText[] =
    "usage: lantern pack [<project.toml>] [options]   make a bootstrapper (lantern pack --help)\n"
    "       lantern inspect [--json] <bootstrapper>    show what a bootstrapper carries\n"
    "       lantern inspect --extract <dir> <bootstrapper>\n"
    "                                                  write its payload files into <dir>\n"
    "       lantern sign <program.exe> [-o <signed.exe>] <key store> [options]\n"
    "                                                  sign it (lantern sign --help)\n"
    "       lantern stamp <signed.exe> <info-file> -o <out.exe>\n"
    "                                                  stamp an information block into a signed\n"
    "                                                  bootstrapper (- for stdin or stdout)\n"
    "       lantern --version\n";

bool ErrorStreamIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

std::filesystem::path OwnPath() {
#ifdef _WIN32
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  return path;
#else
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
#endif
}

// The stub installed with the tool: beside it, or in the share folder of its
// prefix. A compressed build takes the stub that decodes; any other the plain
// one, which is smaller by the decoder.
std::filesystem::path DefaultStub(bool compress) {
  const std::filesystem::path own = OwnPath();
  if (own.empty()) return {};
  const std::filesystem::path folder = own.parent_path();
  const char* name = compress ? pack::kDecoderStubFileName : pack::kPlainStubFileName;
  for (const auto& candidate : {folder / name, folder.parent_path() / "share" / "lantern" / name}) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return {};
}

// A bar on the terminal, redrawn when the whole percent changes.
class TerminalProgress final : public pack::Progress {
 public:
  explicit TerminalProgress(const char* verb) : verb_(verb) {}
  void Start(std::uint64_t total) override {
    total_ = total;
    done_ = 0;
    shown_ = -1;
    Draw();
  }
  void Advance(std::uint64_t bytes) override {
    done_ += bytes;
    Draw();
  }
  void Finish() override {
    if (shown_ >= 0) std::fputs("\n", stderr);
    shown_ = -1;
  }

 private:
  void Draw() {
    const int percent = total_ == 0 ? 100 : static_cast<int>(done_ * 100 / total_);
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%  %.1f of %.1f MB", verb_, std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, '.').c_str(), percent, done_ / 1048576.0, total_ / 1048576.0);
    std::fflush(stderr);
  }

  const char* verb_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  int shown_ = -1;
};

void Refuse(const std::string& context, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", context.c_str(), message.c_str());
}

int RunPack(const std::vector<std::string>& arguments) {
  if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(pack::kPackUsage, stdout);
    return kDone;
  }
  auto options = pack::ParsePackArguments(arguments);
  if (!options) {
    Refuse("lantern pack", options.Message());
    return kUsage;
  }
  const std::string context = options->context.empty() ? "lantern pack" : options->context;
  TerminalProgress bar("Packing");
  const bool show_progress = !options->quiet && ErrorStreamIsTerminal();
  const auto started = std::chrono::steady_clock::now();
  auto summary = pack::Pack(options.Value(), DefaultStub(options->compress), show_progress ? &bar : nullptr);
  if (!summary) {
    Refuse(context, summary.Message());
    return kRefused;
  }
  if (!options->quiet) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (options->check_only) {
      std::printf("%s: checked: %zu payload files, %llu bytes; nothing written\n", context.c_str(),
                  summary->payload_files, static_cast<unsigned long long>(summary->payload_bytes));
    } else {
      const std::string compressed = options->compress
                                         ? " (" + std::to_string(summary->compressed_files) + " compressed" +
                                               (summary->shared_dictionary ? ", sharing a dictionary)" : ")")
                                         : "";
      std::printf("%s: wrote %s: %zu payload files%s, %llu bytes; %llu bytes in all, in %.2f s\n",
                  context.c_str(), pack::ShowPath(summary->output).c_str(), summary->payload_files,
                  compressed.c_str(), static_cast<unsigned long long>(summary->payload_bytes),
                  static_cast<unsigned long long>(summary->output_size), seconds);
    }
  }
  return kDone;
}

int RunInspect(const std::vector<std::string>& arguments) {
  bool json = false;
  bool quiet = false;
  std::string extract_to;
  std::string file;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--json") {
      json = true;
    } else if (argument == "-q" || argument == "--quiet") {
      quiet = true;
    } else if (argument == "--extract") {
      if (at + 1 >= arguments.size()) {
        Refuse("lantern inspect", "the option '--extract' needs a folder");
        return kUsage;
      }
      extract_to = arguments[++at];
    } else if (argument == "--help" || argument == "-h") {
      std::fputs(kUsageText, stdout);
      return kDone;
    } else if (!argument.empty() && argument[0] == '-') {
      Refuse("lantern inspect", "unknown option '" + argument + "'");
      return kUsage;
    } else if (file.empty()) {
      file = argument;
    } else {
      Refuse("lantern inspect", "one bootstrapper at a time ('" + file + "' and '" + argument + "')");
      return kUsage;
    }
  }
  if (file.empty()) {
    Refuse("lantern inspect", "no bootstrapper is named");
    return kUsage;
  }
  if (!extract_to.empty()) {
    TerminalProgress bar("Extracting");
    const bool show_progress = !quiet && ErrorStreamIsTerminal();
    pe::Status extracted = pack::Extract(pack::PathFromUtf8(file), pack::PathFromUtf8(extract_to),
                                         show_progress ? &bar : nullptr);
    if (!extracted) {
      Refuse("lantern inspect", extracted.Message());
      return kRefused;
    }
    if (!quiet)
      std::printf("lantern inspect: extracted the payload of %s into %s\n", file.c_str(), extract_to.c_str());
    return kDone;
  }
  auto report = pack::Inspect(pack::PathFromUtf8(file));
  if (!report) {
    Refuse("lantern inspect", report.Message());
    return kRefused;
  }
  const std::string text = json ? pack::ReportJson(report.Value()) : pack::ReportText(report.Value());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kDone;
}

int RunSign(const std::vector<std::string>& arguments) {
  if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(sign::kSignUsage, stdout);
    return kDone;
  }
  auto request = sign::ParseSignArguments(arguments);
  if (!request) {
    Refuse("lantern sign", request.Message());
    return kUsage;
  }
  pe::Status signed_file = sign::SignFile(request->input, request->output, request->options);
  if (!signed_file) {
    Refuse("lantern sign", signed_file.Message());
    return kRefused;
  }
  if (!request->quiet) std::printf("lantern sign: signed %s\n", pack::ShowPath(request->output).c_str());
  return kDone;
}

int RunStamp(const std::vector<std::string>& arguments) {
  pack::StampOptions options;
  std::vector<std::string> files;
  bool quiet = false;
  bool has_output = false;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "-o" || argument == "--output") {
      if (at + 1 >= arguments.size()) {
        Refuse("lantern stamp", "the option '" + argument + "' needs a file");
        return kUsage;
      }
      options.output = pack::PathFromUtf8(arguments[++at]);
      has_output = true;
    } else if (argument == "-q" || argument == "--quiet") {
      quiet = true;
    } else if (argument == "--help" || argument == "-h") {
      std::fputs(kUsageText, stdout);
      return kDone;
    } else if (argument.size() > 1 && argument[0] == '-') {
      Refuse("lantern stamp", "unknown option '" + argument + "'");
      return kUsage;
    } else {
      files.push_back(argument);
    }
  }
  if (files.size() != 2) {
    Refuse("lantern stamp", "a signed bootstrapper and an information file are needed, and no more");
    return kUsage;
  }
  if (!has_output || options.output.empty()) {
    Refuse("lantern stamp", "no output is named (-o <file>, or -o - for the standard output)");
    return kUsage;
  }
  if (files[1] == "-") {
    Refuse("lantern stamp", "the information is read from a file, not from the standard input");
    return kUsage;
  }
  options.input = pack::PathFromUtf8(files[0]);
  options.information = pack::PathFromUtf8(files[1]);
#ifdef _WIN32
  // The program's bytes pass through unchanged.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const auto started = std::chrono::steady_clock::now();
  auto summary = pack::StampFile(options, stdin, stdout);
  if (!summary) {
    Refuse("lantern stamp", summary.Message());
    return kRefused;
  }
  if (!quiet) {
    // The standard output may carry the program itself: what is said goes to the error stream.
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string output = options.output == "-" ? "the standard output" : pack::ShowPath(options.output);
    std::fprintf(
        stderr,
        "lantern stamp: wrote %s: an information block of %zu bytes%s; %llu bytes in all, in %.2f s\n",
        output.c_str(), summary->information_size,
        summary->replaced ? " (replacing the one stamped before)" : "",
        static_cast<unsigned long long>(summary->output_size), seconds);
  }
  return kDone;
}

int Run(const std::vector<std::string>& arguments) {
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
    std::fputs(kUsageText, arguments.empty() ? stderr : stdout);
    return arguments.empty() ? kUsage : kDone;
  }
  if (arguments[0] == "--version") {
    std::printf("lantern %s\n", std::string(pack::kLanternVersion).c_str());
    return kDone;
  }
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (arguments[0] == "pack") return RunPack(rest);
  if (arguments[0] == "inspect") return RunInspect(rest);
  if (arguments[0] == "sign") return RunSign(rest);
  if (arguments[0] == "stamp") return RunStamp(rest);
  Refuse("lantern", "unknown command '" + arguments[0] + "'");
  std::fputs(kUsageText, stderr);
  return kUsage;
}

}  // namespace
}  // namespace lantern::tool

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Messages and reports are UTF-8, on a console as in a pipe.
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(lantern::Utf8FromUtf16(std::u16string(argument.begin(), argument.end())));
  }
  return lantern::tool::Run(arguments);
}
#else
int main(int argc, char** argv) {
  return lantern::tool::Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
