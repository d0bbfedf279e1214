#include "checks/dotnet_check.h"

#include <algorithm>
#include <optional>

namespace lantern {

namespace {

constexpr wchar_t kV2Key[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727";
constexpr wchar_t kV30SetupKey[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0\\Setup";
constexpr wchar_t kV30Key[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0";
constexpr wchar_t kV35Key[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5";
constexpr wchar_t kV4ClientKey[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client";
constexpr wchar_t kV4FullKey[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";

enum class Probe { V20, V30, V35, V40Client, V40Full, V45Client, V45Full };

struct DotNetRow {
  const wchar_t* requirement_line;
  const wchar_t* name;
  std::int32_t major;
  std::optional<std::int32_t> minor;  // 2.0 and 3.0 leave the field as it is
  Probe probe;
  const wchar_t* detected_line;
};

constexpr DotNetRow kRows[kDotNetRowCount] = {
    {L".NET 2.0 %s\n", L".NET 2", 2, std::nullopt, Probe::V20, L".NET 2.0 Detected SP %ld\n"},
    {L".NET 3.0 %s\n", L".NET 3.0", 3, std::nullopt, Probe::V30, L".NET 3.0 Detected SP %ld\n"},
    {L".NET 3.5 %s\n", L".NET 3.5", 3, 5, Probe::V35, L".NET 3.5 Detected SP %ld\n"},
    {L".NET 4.0 Client %s\n", L".NET (client) 4.0", 4, 0, Probe::V40Client,
     L".NET 4.0 Client Detected SP %ld\n"},
    {L".NET 4.0 Full %s\n", L".NET (full) 4.0", 4, 0, Probe::V40Full, L".NET 4.0 Full Detected SP %ld\n"},
    {L".NET 4.5 Client %s\n", L".NET (client) 4.5", 4, 5, Probe::V45Client,
     L".NET 4.5 Client Detected SP %ld\n"},
    {L".NET 4.5 Full %s\n", L".NET (full) 4.5", 4, 5, Probe::V45Full, L".NET 4.5 Full Detected SP %ld\n"},
};

// The oldest builds that count as 3.0 and 3.5.
constexpr VersionParts kMinimumV30{3, 0, 4506, 26};
constexpr VersionParts kMinimumV35{3, 5, 21022, 8};

bool FlagIsSet(Registry& registry, std::wstring_view key, std::wstring_view name) {
  return ReadRegistryDword(registry, key, name) == 1;
}

// A service-pack or servicing number; -1 when absent.
std::int32_t ReadLevel(Registry& registry, std::wstring_view key, std::wstring_view name) {
  return static_cast<std::int32_t>(ReadRegistryDword(registry, key, name));
}

bool VersionAtLeast(Registry& registry, std::wstring_view key, const VersionParts& minimum) {
  VersionParts version;
  ReadRegistryVersion(registry, key, version);  // unreadable: all 0, below any minimum
  return version >= minimum;
}

// 4.0 reports its servicing number; 4.5 and later their minor version, as
// long as the servicing number is not larger.
std::int32_t V4Level(Registry& registry, std::wstring_view key) {
  std::int32_t level = ReadLevel(registry, key, L"Servicing");
  VersionParts version;
  if (ReadRegistryVersion(registry, key, version) && version.major == 4 && version.minor > level) {
    level = version.minor;
  }
  return level;
}

// The installed level of a row, or nothing when the row is not installed.
std::optional<std::int32_t> ProbeRow(Registry& registry, Probe probe) {
  switch (probe) {
    case Probe::V20:
      if (!FlagIsSet(registry, kV2Key, L"Install")) return std::nullopt;
      return ReadLevel(registry, kV2Key, L"SP");
    case Probe::V30:
      if (!FlagIsSet(registry, kV2Key, L"Install") || !FlagIsSet(registry, kV30SetupKey, L"InstallSuccess") ||
          !VersionAtLeast(registry, kV30SetupKey, kMinimumV30)) {
        return std::nullopt;
      }
      return ReadLevel(registry, kV30Key, L"SP");
    case Probe::V35:
      if (!FlagIsSet(registry, kV2Key, L"Install") || !FlagIsSet(registry, kV35Key, L"Install") ||
          !VersionAtLeast(registry, kV35Key, kMinimumV35)) {
        return std::nullopt;
      }
      return ReadLevel(registry, kV35Key, L"SP");
    case Probe::V40Client:
    case Probe::V40Full:
    case Probe::V45Client:
    case Probe::V45Full: {
      const bool client = probe == Probe::V40Client || probe == Probe::V45Client;
      const wchar_t* key = client ? kV4ClientKey : kV4FullKey;
      if (!FlagIsSet(registry, key, L"Install")) return std::nullopt;
      const std::int32_t level = V4Level(registry, key);
      const bool needs_45 = probe == Probe::V45Client || probe == Probe::V45Full;
      if (needs_45 && level < 5) return std::nullopt;
      return level;
    }
  }
  return std::nullopt;
}

}  // namespace

std::uint32_t ReadRegistryDword(Registry& registry, std::wstring_view key, std::wstring_view name) {
  return registry.ReadDword(key, name).value_or(kRegistryReadFailed);
}

VersionParts ParseVersionText(std::wstring_view text) {
  VersionParts version;
  std::int32_t* const parts[] = {&version.major, &version.minor, &version.build, &version.revision};
  std::size_t index = 0;
  std::size_t at = 0;
  while (index < 4 && at < text.size()) {
    if (text[at] == L'.') {
      ++at;
      continue;
    }
    const std::size_t end = std::min(text.find(L'.', at), text.size());
    *parts[index++] = ReadConfigNumber(text.substr(at, end - at));
    at = end;
  }
  return version;
}

bool ReadRegistryVersion(Registry& registry, std::wstring_view key, VersionParts& version) {
  version = {};
  const std::optional<std::wstring> text = registry.ReadText(key, L"Version");
  if (!text) return false;
  version = ParseVersionText(*text);
  return true;
}

DotNetRequirement ReadDotNetRequirement(const StringTable& table) {
  DotNetRequirement requirement;
  for (std::size_t row = 0; row < kDotNetRowCount; ++row) {
    requirement.texts[row] = LoadConfigString(table, cfg::DotNet20ServicePack + static_cast<unsigned>(row));
  }
  // A 2.0 or 3.0 requirement at level 0 becomes 3.5 at level 0: those older
  // frameworks are no longer accepted on their own.
  if (requirement.texts[0] == L"0" || requirement.texts[1] == L"0") {
    requirement.texts[0] = L"-1";
    requirement.texts[1] = L"-1";
    requirement.texts[2] = L"0";
  }
  for (std::size_t row = 0; row < kDotNetRowCount; ++row) {
    requirement.levels[row] = ReadConfigNumber(requirement.texts[row]);
  }
  return requirement;
}

RequiredDotNet SelectRequiredDotNet(const DotNetRequirement& requirement) {
  RequiredDotNet required;
  for (std::size_t row = 0; row < kDotNetRowCount; ++row) {
    if (requirement.levels[row] < 0) continue;
    required.RequiredDotNetName = kRows[row].name;
    required.RequiredDotNetMajor = kRows[row].major;
    if (kRows[row].minor) required.RequiredDotNetMinor = *kRows[row].minor;
    required.RequiredDotNetServicePack = requirement.levels[row];
    break;
  }
  return required;
}

DotNetResult CheckDotNetFramework(const StringTable& table, Registry& registry, DiagnosticLog& log) {
  const DotNetRequirement requirement = ReadDotNetRequirement(table);
  for (std::size_t row = 0; row < kDotNetRowCount; ++row) {
    log.LogFormat(kRows[row].requirement_line, requirement.texts[row]);
  }
  DotNetResult result;
  result.required = SelectRequiredDotNet(requirement);
  const RequiredDotNet& required = result.required;

  for (std::size_t row = 0; row < kDotNetRowCount; ++row) {
    const std::int32_t minimum = requirement.levels[row];
    if (minimum < 0) continue;  // not accepted: its keys are not even read
    const std::optional<std::int32_t> installed = ProbeRow(registry, kRows[row].probe);
    if (!installed) continue;
    log.LogFormat(kRows[row].detected_line, *installed);
    if (minimum <= *installed) {
      log.LogText(L".NET Version OK\n");
      result.passed = true;
      return result;
    }
  }
  log.LogFormat(L".NET Version Not OK %s %ld\n", required.RequiredDotNetName,
                required.RequiredDotNetServicePack);
  return result;
}

}  // namespace lantern
