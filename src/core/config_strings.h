// Build configuration strings: the build's settings and messages, read from
// its string table by number as text, as a format, as a flag or as a number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/format.h"
#include "core/result_codes.h"

namespace lantern {

// A string table that answers by id.
class StringTable {
 public:
  virtual ~StringTable() = default;
  // The entry's text; nothing when the table has no such entry.
  virtual std::optional<std::wstring> Find(unsigned id) const = 0;
};

// Ids of the entries the program reads.
namespace cfg {
constexpr unsigned ProgramType = 0;
constexpr unsigned ProductName = 1;
constexpr unsigned AboutMenu = 101;
constexpr unsigned DiskSpaceMessage = 102;
constexpr unsigned RequiredDiskMB = 103;
constexpr unsigned IncorrectBuildMessage = 104;
constexpr unsigned AboutVersion = 105;
constexpr unsigned AboutTitle = 106;
constexpr unsigned DotNetMessage = 108;
constexpr unsigned AdminMessage = 109;
constexpr unsigned MsiMessage = 110;
constexpr unsigned CorruptFileMessage = 111;
constexpr unsigned FrontEndFailedMessage = 112;
constexpr unsigned RunFailedMessage = 113;
constexpr unsigned UsageMessage = 114;
constexpr unsigned DotNetServicePackMessage = 115;
constexpr unsigned ProcessorModeMessage = 135;
constexpr unsigned VerifyQuestion = 137;
constexpr unsigned DotNet20ServicePack = 138;  // 138 to 144: .NET 2.0 ... 4.5 Full
constexpr unsigned AdminRequired = 145;
}  // namespace cfg

// Text reading: the entry's text, or empty text when it is missing.
std::wstring LoadConfigString(const StringTable& table, unsigned id);

// Flag reading: true unless the text is exactly "0".
bool ReadConfigFlag(std::wstring_view text);

// Number reading: leading white space, an optional sign, then decimal digits up
// to the first other character; 0 when there is no number; clamped to 32 bits.
std::int32_t ReadConfigNumber(std::wstring_view text);

// Format reading: the entry as a printf-style format. Fails with E_FAIL, and
// leaves `out` empty, when the entry is missing.
ResultCode FormatConfigStringArgs(const StringTable& table, unsigned id, std::wstring& out,
                                  std::span<const FormatArg> args);

template <class... Args>
ResultCode FormatConfigString(const StringTable& table, unsigned id, std::wstring& out, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatConfigStringArgs(table, id, out, {});
  } else {
    const FormatArg list[] = {FormatArg(args)...};
    return FormatConfigStringArgs(table, id, out, list);
  }
}

}  // namespace lantern
