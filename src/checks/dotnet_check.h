// The .NET Framework gate: which framework rows the build accepts (strings
// 138 to 144), which one to ask the user for, and whether the machine has one.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "checks/registry.h"
#include "core/config_strings.h"
#include "log/log.h"

namespace lantern {

// What ReadRegistryDword answers for a key or value it cannot read.
constexpr std::uint32_t kRegistryReadFailed = 0xFFFFFFFF;

// A value of a key under HKEY_LOCAL_MACHINE, or kRegistryReadFailed.
std::uint32_t ReadRegistryDword(Registry& registry, std::wstring_view key, std::wstring_view name);

// A four-part version; compared part by part as signed numbers.
struct VersionParts {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  std::int32_t build = 0;
  std::int32_t revision = 0;
  auto operator<=>(const VersionParts&) const = default;
};

// The parts of a dotted version text: runs of dots count as one separator,
// each piece is read with the leading-integer rule, missing pieces are 0 and
// pieces beyond the fourth are ignored.
VersionParts ParseVersionText(std::wstring_view text);

// The "Version" text of a key, split into parts. False, with every part 0,
// when it cannot be read.
bool ReadRegistryVersion(Registry& registry, std::wstring_view key, VersionParts& version);

// The framework rows in the order they are tried.
constexpr std::size_t kDotNetRowCount = 7;

// The minimum service-pack level of each row, from strings 138 to 144 (a
// requirement of 2.0 or 3.0 at level 0 raised to 3.5 at level 0), and each
// text as it is logged.
struct DotNetRequirement {
  std::array<std::wstring, kDotNetRowCount> texts;
  std::array<std::int32_t, kDotNetRowCount> levels{};
};
DotNetRequirement ReadDotNetRequirement(const StringTable& table);

// The framework a failure report asks the user for.
struct RequiredDotNet {
  std::wstring RequiredDotNetName = L"Unknown .NET Version";
  std::int32_t RequiredDotNetServicePack = 0;
  std::int32_t RequiredDotNetMajor = 4;
  std::int32_t RequiredDotNetMinor = 5;
  bool operator==(const RequiredDotNet&) const = default;
};

// The first accepted row (level 0 or more); the defaults when no row is
// accepted. Rows for 2.0 and 3.0 keep the default minor version.
RequiredDotNet SelectRequiredDotNet(const DotNetRequirement& requirement);

// What the gate found: whether it passed, and the row that was required.
struct DotNetResult {
  bool passed = false;
  RequiredDotNet required;
};

// The gate: passed when an accepted row is installed at or above its minimum
// level. Logs every step.
DotNetResult CheckDotNetFramework(const StringTable& table, Registry& registry, DiagnosticLog& log);

}  // namespace lantern
