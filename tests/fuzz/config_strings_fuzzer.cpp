// The string table's settings as a hostile build could hold them: numbers
// read with the leading-integer rule, flags, dotted versions, and the gates
// that read them (free disk space, the .NET Framework rows, the processor
// mode). The input is one text; its lines are also the entries the gates read.
//
// Checked: a number reads as the C library reads a leading decimal integer,
// clamped to 32 bits, and reads back the same when written out; a flag is off
// only for "0"; a version written back out reads the same; the gates keep
// what they read.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "checks/disk_space_check.h"
#include "checks/dotnet_check.h"
#include "core/config_strings.h"
#include "fuzz_support.h"
#include "launch/processor_mode.h"
#include "memory_log.h"

namespace lantern {
namespace {

using fuzzing::Show;

// The leading integer as the C library reads it in the "C" locale, clamped
// to 32 bits. Reading stops at the first character outside ASCII, which can
// be no part of a number.
std::int32_t LibraryNumber(std::wstring_view text) {
  std::string narrow;
  for (const wchar_t c : text) {
    if (c == L'\0' || c > 0x7F) break;
    narrow.push_back(static_cast<char>(c));
  }
  errno = 0;
  const long long value = std::strtoll(narrow.c_str(), nullptr, 10);
  constexpr long long kMax = std::numeric_limits<std::int32_t>::max();
  constexpr long long kMin = std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value > kMax ? kMax : value < kMin ? kMin : value);
}

void CheckNumber(std::wstring_view text) {
  const std::int32_t value = ReadConfigNumber(text);
  FUZZ_CHECK(value == LibraryNumber(text), Show(text) + " reads as " + std::to_string(value) + ", not " +
                                               std::to_string(LibraryNumber(text)));
  FUZZ_CHECK(ReadConfigNumber(std::to_wstring(value)) == value,
             "written out, " + std::to_string(value) + " differs");
  FUZZ_CHECK(ReadConfigFlag(text) == (text != L"0"), "flag of " + Show(text));
}

void CheckVersion(std::wstring_view text) {
  const VersionParts version = ParseVersionText(text);
  const std::wstring written = std::to_wstring(version.major) + L'.' + std::to_wstring(version.minor) + L'.' +
                               std::to_wstring(version.build) + L'.' + std::to_wstring(version.revision);
  FUZZ_CHECK(ParseVersionText(written) == version,
             Show(text) + " written out as " + Show(written) + " differs");
  // Whatever follows a fourth part is ignored.
  FUZZ_CHECK(ParseVersionText(written + L"." + std::wstring(text)) == version, "a fifth part counted");
}

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(L'\n', start);
    lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (end == std::wstring::npos) return lines;
    start = end + 1;
  }
}

class FixedDisk final : public DiskSpace {
 public:
  std::optional<std::uint64_t> FreeBytesAvailable(const std::wstring&) override {
    return std::uint64_t{5000} << 20;
  }
};

// The lines as entries: the disk space asked for, the seven .NET Framework
// rows and the program type, in that order; missing lines leave entries out.
void CheckGates(const std::vector<std::wstring>& lines) {
  fuzzing::TextTable table;
  const unsigned ids[] = {
      cfg::RequiredDiskMB,          cfg::DotNet20ServicePack,     cfg::DotNet20ServicePack + 1,
      cfg::DotNet20ServicePack + 2, cfg::DotNet20ServicePack + 3, cfg::DotNet20ServicePack + 4,
      cfg::DotNet20ServicePack + 5, cfg::DotNet20ServicePack + 6, cfg::ProgramType};
  for (std::size_t i = 0; i < lines.size() && i < std::size(ids); ++i) table.entries[ids[i]] = lines[i];

  testing_fakes::MemoryLog log;
  FixedDisk disk;
  const DiskSpaceResult run =
      CheckFreeDiskSpace(table, disk, log.log, L"C:\\Users\\pat\\AppData\\Local\\Temp\\");
  const bool enough = run.passed;
  const std::int32_t asked = ReadConfigNumber(LoadConfigString(table, cfg::RequiredDiskMB));
  FUZZ_CHECK(run.RequiredDiskMB == asked, "disk space asked for is not the entry's number");
  FUZZ_CHECK(enough == (5000 > asked), "disk gate for " + std::to_string(asked) + " MB");

  const DotNetRequirement requirement = ReadDotNetRequirement(table);
  const bool old_rows_raised = LoadConfigString(table, cfg::DotNet20ServicePack) == L"0" ||
                               LoadConfigString(table, cfg::DotNet20ServicePack + 1) == L"0";
  for (std::size_t row = 0; row < kDotNetRowCount; ++row) {
    FUZZ_CHECK(requirement.levels[row] == ReadConfigNumber(requirement.texts[row]),
               "row level not its number");
    if (!old_rows_raised || row > 2) {
      FUZZ_CHECK(requirement.texts[row] == LoadConfigString(table, cfg::DotNet20ServicePack + unsigned(row)),
                 "row text changed");
    }
  }
  if (old_rows_raised) {
    FUZZ_CHECK(requirement.levels[0] == -1 && requirement.levels[1] == -1 && requirement.levels[2] == 0,
               "2.0 and 3.0 at level 0 not raised to 3.5");
  }
  const RequiredDotNet selected = SelectRequiredDotNet(requirement);
  for (std::size_t row = 0; row < kDotNetRowCount; ++row) {
    if (requirement.levels[row] < 0) continue;
    FUZZ_CHECK(selected.RequiredDotNetServicePack == requirement.levels[row], "not the first accepted row");
    break;
  }

  const ProcessorMode mode = ReadProgramType(table, log.log);
  FUZZ_CHECK(mode == SelectProcessorMode(LoadConfigString(table, cfg::ProgramType)),
             "mode differs from its text");
}

}  // namespace
}  // namespace lantern

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;
  const std::wstring text = fuzzing::WideFromBytes(data, size);
  CheckNumber(text);
  CheckVersion(text);
  const std::vector<std::wstring> lines = Lines(text);
  for (const std::wstring& line : lines) CheckNumber(line);
  CheckGates(lines);
  return 0;
}
