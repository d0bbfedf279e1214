// The formatter under formats a hostile string table could hold. The input is
// the format, then optionally a NUL and bytes that choose the arguments (up to
// six, of every kind the formatter takes); without a NUL the arguments are
// those the program's messages pass. Each format is also read as every
// message of a string table and composed into a failure notice.
//
// Checked: the result is the same every time, never longer than the format
// and what its arguments can fill in, with no argument no longer than the
// format, and with no NUL unless one was given.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "app/failure_report.h"
#include "core/config_strings.h"
#include "core/format.h"
#include "fuzz_support.h"

namespace lantern {
namespace {

using fuzzing::Show;

// The most one argument can add: a field of the widest width holding a
// precision of the largest size, a double's 309 integer digits, or a text.
std::size_t MostOneArgumentAdds(std::size_t longest_text) { return 2 * 65536 + 512 + longest_text; }

struct Arguments {
  Arguments() = default;
  Arguments(const Arguments&) = delete;  // the text arguments would point into the original
  Arguments& operator=(const Arguments&) = delete;

  std::deque<std::wstring> texts;  // the text arguments point into these
  std::vector<FormatArg> list;
  std::size_t longest_text = 0;
  bool text_with_nul = false;

  void AddText(std::wstring text) {
    longest_text = std::max(longest_text, text.size());
    text_with_nul = text_with_nul || text.find(L'\0') != std::wstring::npos;
    texts.push_back(std::move(text));
    list.emplace_back(std::wstring_view(texts.back()));
  }
};

// What the program's messages pass: product and other names, a drive, an
// amount and its unit, version parts, exit codes.
void AddMessageArguments(Arguments& arguments) {
  arguments.AddText(L"Vantrel Studio 100% Download");
  arguments.list.emplace_back(2.5);
  arguments.AddText(L"GB");
  arguments.list.emplace_back(static_cast<unsigned>(0x80131700u));
  arguments.list.emplace_back(-3);
  arguments.list.emplace_back(static_cast<long long>(-9223372036854775807LL - 1));
}

void AddChosenArguments(FuzzedDataProvider& choices, Arguments& arguments) {
  const int count = choices.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < count; ++i) {
    switch (choices.ConsumeIntegralInRange(0, 7)) {
      case 0: {
        const std::string bytes = choices.ConsumeRandomLengthString(64);
        arguments.AddText(
            fuzzing::WideFromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        break;
      }
      case 1:
        arguments.list.emplace_back(choices.ConsumeIntegral<int>());
        break;
      case 2:
        arguments.list.emplace_back(choices.ConsumeIntegral<unsigned>());
        break;
      case 3:
        arguments.list.emplace_back(choices.ConsumeIntegral<long long>());
        break;
      case 4:
        arguments.list.emplace_back(choices.ConsumeIntegral<unsigned long long>());
        break;
      case 5:
        arguments.list.emplace_back(choices.ConsumeIntegral<long>());
        break;
      case 6:  // every double, infinities and NaNs included
        arguments.list.emplace_back(std::bit_cast<double>(choices.ConsumeIntegral<std::uint64_t>()));
        break;
      default:
        arguments.list.emplace_back(reinterpret_cast<const void*>(choices.ConsumeIntegral<std::uintptr_t>()));
        break;
    }
  }
}

void CheckFormatted(const std::wstring& format, const Arguments& arguments) {
  const std::wstring out = FormatText(format, arguments.list);
  if (arguments.list.empty()) {
    FUZZ_CHECK(out.size() <= format.size(), "grew without arguments: " + Show(format) + " -> " + Show(out));
  }
  FUZZ_CHECK(
      out.size() <= format.size() + arguments.list.size() * MostOneArgumentAdds(arguments.longest_text),
      "output of " + std::to_string(out.size()) + " characters from " + Show(format));
  if (format.find(L'\0') == std::wstring::npos && !arguments.text_with_nul) {
    FUZZ_CHECK(out.find(L'\0') == std::wstring::npos, "a NUL from nowhere: " + Show(format));
  }

  // The same format read from a string table, which also shows that the
  // result is the same every time.
  fuzzing::TextTable table;
  table.entries[cfg::UsageMessage] = format;
  std::wstring from_table = L"stale";
  FUZZ_CHECK(FormatConfigStringArgs(table, cfg::UsageMessage, from_table, arguments.list) == rc::Ok &&
                 from_table == out,
             "the table's format reads differently");
  FUZZ_CHECK(FormatConfigStringArgs(table, cfg::AboutTitle, from_table, arguments.list) == rc::Fail &&
                 from_table.empty(),
             "a missing entry formats");
}

// Every message of the table is the format, the product name and program
// type included; the failure notice for a result the input chooses is
// composed from it.
void CheckFailureNotice(const std::wstring& format, std::size_t choice) {
  fuzzing::TextTable table;
  for (unsigned id = cfg::AboutMenu; id <= cfg::DotNetServicePackMessage; ++id) table.entries[id] = format;
  table.entries[cfg::ProcessorModeMessage] = format;
  table.entries[cfg::VerifyQuestion] = format;
  table.entries[cfg::ProductName] = format;
  table.entries[cfg::ProgramType] = format;

  FailureFacts run;
  run.disk.WorkingDrive = L"C:";
  run.disk.RequiredDiskMB = 1500;
  run.FrontEndExitCode = -2;
  run.dot_net.RequiredDotNetServicePack = 1;
  const ResultCode codes[] = {
      rc::FileCorrupt, rc::InvalidParameter,      rc::Abort, rc::Fail,        rc::MediumFull,   rc::NotAdmin,
      rc::NoDotNet,    rc::InstallPackageVersion, rc::Ok,    rc::NoSignature, rc::DotNetRuntime};
  const ResultCode code = codes[choice % std::size(codes)];
  if (code == rc::DotNetRuntime) {  // the front end's exit code: the runtime failed
    run.FrontEndExitCode = rc::DotNetRuntime;
    run.dot_net.RequiredDotNetServicePack = 0;
  }
  // The format can stand in three places of one message: as the message, the
  // product's name and the program type.
  const std::size_t most = format.size() * 4 + 3 * MostOneArgumentAdds(format.size() * 2) + 256;
  const FailureNotice notice =
      ComposeFailureNotice(table, code == rc::DotNetRuntime ? rc::Ok : code, run, format);
  FUZZ_CHECK(notice.message.size() <= most, "notice of " + std::to_string(notice.message.size()) +
                                                " characters for " + std::to_string(code));
}

}  // namespace
}  // namespace lantern

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;
  const std::uint8_t* const end = data + size;
  const std::uint8_t* const separator = std::find(data, end, std::uint8_t{0});
  const std::wstring format = fuzzing::WideFromBytes(data, static_cast<std::size_t>(separator - data));

  Arguments arguments;
  std::size_t notice = size;
  if (separator == end) {
    AddMessageArguments(arguments);
  } else {
    FuzzedDataProvider choices(separator + 1, static_cast<std::size_t>(end - separator - 1));
    notice = choices.ConsumeIntegral<std::uint8_t>();
    AddChosenArguments(choices, arguments);
  }
  CheckFormatted(format, arguments);
  CheckFormatted(format, Arguments{});
  CheckFailureNotice(format, notice);
  return 0;
}
