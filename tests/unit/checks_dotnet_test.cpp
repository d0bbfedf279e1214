// The .NET Framework gate over tables of machines: which row the build asks
// for, which rows are probed and found, the log and the fields for the report.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "checks/dotnet_check.h"
#include "checks_fakes.h"

namespace lantern {
namespace {

using testing_fakes::FakeRegistry;
using testing_fakes::MapStringTable;
using testing_fakes::MemoryLogSystem;

const std::wstring kNdp = L"Software\\Microsoft\\NET Framework Setup\\NDP\\";
const std::wstring kV2 = kNdp + L"v2.0.50727";
const std::wstring kV30 = kNdp + L"v3.0";
const std::wstring kV30Setup = kNdp + L"v3.0\\Setup";
const std::wstring kV35 = kNdp + L"v3.5";
const std::wstring kV4Client = kNdp + L"v4\\Client";
const std::wstring kV4Full = kNdp + L"v4\\Full";

// Machines, built up from their frameworks.
FakeRegistry& With20(FakeRegistry& r, std::uint32_t sp) {
  return r.Dword(kV2, L"Install", 1).Dword(kV2, L"SP", sp);
}
FakeRegistry& With35(FakeRegistry& r, const std::wstring& version) {
  return r.Dword(kV35, L"Install", 1).Text(kV35, L"Version", version);
}
FakeRegistry& With4(FakeRegistry& r, const std::wstring& key, std::uint32_t servicing,
                    const std::wstring& version) {
  return r.Dword(key, L"Install", 1).Dword(key, L"Servicing", servicing).Text(key, L"Version", version);
}
FakeRegistry Only48() {
  FakeRegistry r;
  With4(r, kV4Client, 0, L"4.8.04084");
  With4(r, kV4Full, 0, L"4.8.04084");
  return r;
}

// This build's strings (all seven "0") with some replaced; nullopt leaves the
// entry out of the table.
MapStringTable Strings(const std::map<unsigned, std::optional<std::wstring>>& changes = {}) {
  MapStringTable table;
  for (unsigned id = 138; id <= 144; ++id) table.entries[id] = L"0";
  for (const auto& [id, text] : changes) {
    if (text) {
      table.entries[id] = *text;
    } else {
      table.entries.erase(id);
    }
  }
  return table;
}

// The seven requirement lines for the texts of rows 2.0 to 4.5 Full.
std::wstring RequirementLines(const std::wstring (&texts)[7]) {
  const wchar_t* labels[] = {L".NET 2.0 ",      L".NET 3.0 ",        L".NET 3.5 ",     L".NET 4.0 Client ",
                             L".NET 4.0 Full ", L".NET 4.5 Client ", L".NET 4.5 Full "};
  std::wstring lines;
  for (int i = 0; i < 7; ++i) lines += labels[i] + texts[i] + L"\n";
  return lines;
}
// Only the rows given are accepted, at the levels given; every other is "-1".
MapStringTable Accepting(const std::map<unsigned, std::wstring>& rows) {
  MapStringTable table;
  for (unsigned id = 138; id <= 144; ++id) table.entries[id] = L"-1";
  for (const auto& [id, text] : rows) table.entries[id] = text;
  return table;
}

const std::wstring kRaisedLines = RequirementLines({L"-1", L"-1", L"0", L"0", L"0", L"0", L"0"});

struct Fields {
  std::wstring name;
  std::int32_t service_pack, major, minor;
};

struct Case {
  const char* what;
  MapStringTable strings;
  std::function<FakeRegistry()> machine;
  bool passes;
  std::wstring log;
  Fields fields;
};

TEST(CheckDotNetFramework, TableOfMachines) {
  const Fields as_35{L".NET 3.5", 0, 3, 5};
  const std::wstring not_ok_35 = L".NET Version Not OK .NET 3.5 0\n";
  const Case cases[] = {
      {"only 4.8: passes at the 4.0 Client row with level 8", Strings(), Only48, true,
       kRaisedLines + L".NET 4.0 Client Detected SP 8\n.NET Version OK\n", as_35},
      {"no framework keys at all", Strings(), [] { return FakeRegistry(); }, false, kRaisedLines + not_ok_35,
       as_35},
      {"3.5 with its service pack", Strings(),
       [] {
         FakeRegistry r;
         With35(With20(r, 2), L"3.5.30729.4926").Dword(kV35, L"SP", 1);
         return r;
       },
       true, kRaisedLines + L".NET 3.5 Detected SP 1\n.NET Version OK\n", as_35},
      {"3.5 without an SP value is found at -1, below any minimum", Strings(),
       [] {
         FakeRegistry r;
         With35(With20(r, 2), L"3.5.30729.4926");
         return r;
       },
       false, kRaisedLines + L".NET 3.5 Detected SP -1\n" + not_ok_35, as_35},
      {"3.5 without 2.0 installed is not found", Strings(),
       [] {
         FakeRegistry r;
         With35(r, L"3.5.30729.4926").Dword(kV35, L"SP", 1);
         return r;
       },
       false, kRaisedLines + not_ok_35, as_35},
      {"a two-piece 3.5 version is below 3.5.21022.8", Strings(),
       [] {
         FakeRegistry r;
         With35(With20(r, 2), L"3.5").Dword(kV35, L"SP", 1);
         return r;
       },
       false, kRaisedLines + not_ok_35, as_35},
      {"exactly 3.5.21022.8 is enough", Strings(),
       [] {
         FakeRegistry r;
         With35(With20(r, 2), L"3.5.21022.8").Dword(kV35, L"SP", 0);
         return r;
       },
       true, kRaisedLines + L".NET 3.5 Detected SP 0\n.NET Version OK\n", as_35},
      {"2.0 at 1 and 3.0 at 0 still raises to 3.5", Strings({{138, L"1"}}), Only48, true,
       kRaisedLines + L".NET 4.0 Client Detected SP 8\n.NET Version OK\n", as_35},
      {"2.0 at 1 without a 3.0 of 0 passes at the 2.0 row",
       Strings({{138, L"1"}, {139, L"-1"}}),
       [] {
         FakeRegistry r;
         With20(r, 2);
         return r;
       },
       true,
       RequirementLines({L"1", L"-1", L"0", L"0", L"0", L"0", L"0"}) +
           L".NET 2.0 Detected SP 2\n.NET Version OK\n",
       {L".NET 2", 1, 2, 5}},
      {"3.0 of build 4506.26 with 2.0 and SP 1",
       Accepting({{139, L"1"}}),
       [] {
         FakeRegistry r;
         With20(r, 2)
             .Dword(kV30Setup, L"InstallSuccess", 1)
             .Text(kV30Setup, L"Version", L"3.0.4506.26")
             .Dword(kV30, L"SP", 1);
         return r;
       },
       true,
       RequirementLines({L"-1", L"1", L"-1", L"-1", L"-1", L"-1", L"-1"}) +
           L".NET 3.0 Detected SP 1\n.NET Version OK\n",
       {L".NET 3.0", 1, 3, 5}},
      {"3.0 of build 4506.25 is not found",
       Accepting({{139, L"1"}}),
       [] {
         FakeRegistry r;
         With20(r, 2)
             .Dword(kV30Setup, L"InstallSuccess", 1)
             .Text(kV30Setup, L"Version", L"3.0.4506.25")
             .Dword(kV30, L"SP", 1);
         return r;
       },
       false,
       RequirementLines({L"-1", L"1", L"-1", L"-1", L"-1", L"-1", L"-1"}) +
           L".NET Version Not OK .NET 3.0 1\n",
       {L".NET 3.0", 1, 3, 5}},
      {"4.0.30319 reports its servicing level; the 4.5 row does not find it",
       Accepting({{141, L"1"}, {143, L"0"}}),
       [] {
         FakeRegistry r;
         With4(r, kV4Client, 0, L"4.0.30319");
         return r;
       },
       false,
       RequirementLines({L"-1", L"-1", L"-1", L"1", L"-1", L"0", L"-1"}) +
           L".NET 4.0 Client Detected SP 0\n.NET Version Not OK .NET (client) 4.0 1\n",
       {L".NET (client) 4.0", 1, 4, 0}},
      {"only the 4.5 rows accepted: 4.8 is found there",
       Accepting({{143, L"0"}, {144, L"0"}}),
       Only48,
       true,
       RequirementLines({L"-1", L"-1", L"-1", L"-1", L"-1", L"0", L"0"}) +
           L".NET 4.5 Client Detected SP 8\n.NET Version OK\n",
       {L".NET (client) 4.5", 0, 4, 5}},
      {"a servicing number above the minor version wins",
       Accepting({{142, L"9"}}),
       [] {
         FakeRegistry r;
         With4(r, kV4Full, 9, L"4.5.50709");
         return r;
       },
       true,
       RequirementLines({L"-1", L"-1", L"-1", L"-1", L"9", L"-1", L"-1"}) +
           L".NET 4.0 Full Detected SP 9\n.NET Version OK\n",
       {L".NET (full) 4.0", 9, 4, 0}},
      {"a v4 version of another major and no servicing: level -1",
       Accepting({{141, L"0"}, {142, L"0"}}),
       [] {
         FakeRegistry r;
         r.Dword(kV4Full, L"Install", 1).Text(kV4Full, L"Version", L"5.0.1");
         return r;
       },
       false,
       RequirementLines({L"-1", L"-1", L"-1", L"0", L"0", L"-1", L"-1"}) +
           L".NET 4.0 Full Detected SP -1\n.NET Version Not OK .NET (client) 4.0 0\n",
       {L".NET (client) 4.0", 0, 4, 0}},
      {"missing strings read as level 0 and do not raise 2.0",
       Strings({{138, std::nullopt},
                {139, std::nullopt},
                {140, std::nullopt},
                {141, std::nullopt},
                {142, std::nullopt},
                {143, std::nullopt},
                {144, std::nullopt}}),
       Only48,
       true,
       RequirementLines({L"", L"", L"", L"", L"", L"", L""}) +
           L".NET 4.0 Client Detected SP 8\n.NET Version OK\n",
       {L".NET 2", 0, 2, 5}},
      {"an Install value other than 1 is not installed", Strings(),
       [] {
         FakeRegistry r;
         With4(r, kV4Client, 0, L"4.8.04084").Dword(kV4Client, L"Install", 2);
         return r;
       },
       false, kRaisedLines + not_ok_35, as_35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    FakeRegistry registry = c.machine();
    const DotNetResult result = CheckDotNetFramework(c.strings, registry, log);
    EXPECT_EQ(result.passed, c.passes);
    EXPECT_EQ(log.Pending(), c.log);
    const RequiredDotNet& run = result.required;
    EXPECT_EQ(run.RequiredDotNetName, c.fields.name);
    EXPECT_EQ(run.RequiredDotNetServicePack, c.fields.service_pack);
    EXPECT_EQ(run.RequiredDotNetMajor, c.fields.major);
    EXPECT_EQ(run.RequiredDotNetMinor, c.fields.minor);
  }
}

TEST(CheckDotNetFramework, NoAcceptedRowReadsNothingAndKeepsTheFields) {
  MemoryLogSystem system;
  DiagnosticLog log(system);
  FakeRegistry registry = Only48();
  const MapStringTable strings = Accepting({});
  const DotNetResult result = CheckDotNetFramework(strings, registry, log);
  EXPECT_FALSE(result.passed);
  const RequiredDotNet& run = result.required;
  EXPECT_EQ(registry.reads, 0);
  EXPECT_EQ(log.Pending(), RequirementLines({L"-1", L"-1", L"-1", L"-1", L"-1", L"-1", L"-1"}) +
                               L".NET Version Not OK Unknown .NET Version 0\n");
  EXPECT_EQ(run.RequiredDotNetName, L"Unknown .NET Version");
  EXPECT_EQ(run.RequiredDotNetServicePack, 0);
  EXPECT_EQ(run.RequiredDotNetMajor, 4);
  EXPECT_EQ(run.RequiredDotNetMinor, 5);
}

TEST(ReadRegistryVersion, SplitsAtRunsOfDotsIntoFourLeadingIntegers) {
  const struct {
    const wchar_t* text;
    VersionParts parts;
  } cases[] = {
      {L"4.8.04084", {4, 8, 4084, 0}},
      {L"3.5", {3, 5, 0, 0}},
      {L"3.5.21022.8.1", {3, 5, 21022, 8}},
      {L"1..2...3.4", {1, 2, 3, 4}},
      {L".5.", {5, 0, 0, 0}},
      {L"", {0, 0, 0, 0}},
      {L"v4.x.7", {0, 0, 7, 0}},
      {L" 3.-2.9z", {3, -2, 9, 0}},
      {L"99999999999.1", {2147483647, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    FakeRegistry registry;
    registry.Text(kV35, L"Version", c.text);
    VersionParts parts{9, 9, 9, 9};
    EXPECT_TRUE(ReadRegistryVersion(registry, kV35, parts));
    EXPECT_EQ(parts, c.parts) << "'" << testing::PrintToString(std::wstring(c.text)) << "'";
  }
}

TEST(ReadRegistryVersion, AnUnreadableVersionIsFalseWithEveryPartZero) {
  FakeRegistry registry;
  VersionParts parts{9, 9, 9, 9};
  EXPECT_FALSE(ReadRegistryVersion(registry, kV35, parts));
  EXPECT_EQ(parts, (VersionParts{0, 0, 0, 0}));
  EXPECT_EQ(ReadRegistryDword(registry, kV35, L"SP"), 0xFFFFFFFFu);
}

// A number is read only from a REG_DWORD and a text only from a REG_SZ: a
// text "1" as a service pack would otherwise be 49 and pass any minimum.
TEST(RegistryValues, AreTakenOnlyFromTheirOwnType) {
  constexpr std::uint32_t kNone = 0, kExpandText = 2, kBinary = 3, kBigEndian = 5, kMulti = 7, kQword = 11;
  using Bytes = std::vector<std::uint8_t>;
  const Bytes one_dword = {1, 0, 0, 0};
  const Bytes digit_one = {'1', 0, 0, 0};  // the text "1" with its terminator
  const Bytes version = {'4', 0, '.', 0, '8', 0, 0, 0, 'x', 0};
  struct ValueCase {
    const char* what;
    std::uint32_t type;
    Bytes bytes;
    std::optional<std::uint32_t> dword;
    std::optional<std::wstring> text;
  };
  const ValueCase cases[] = {
      {"a number", registry_type::Dword, one_dword, 1u, std::nullopt},
      {"the largest number", registry_type::Dword, {0xFE, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFEu, std::nullopt},
      {"a short number is padded with zeros", registry_type::Dword, {5}, 5u, std::nullopt},
      {"an empty number", registry_type::Dword, {}, 0u, std::nullopt},
      {"a text of a digit", registry_type::Text, digit_one, std::nullopt, L"1"},
      {"a text ends at its terminator", registry_type::Text, version, std::nullopt, L"4.8"},
      {"a text without a terminator", registry_type::Text, {'4', 0, '.', 0, '8', 0}, std::nullopt, L"4.8"},
      {"an odd last byte is no character", registry_type::Text, {'4', 0, '.'}, std::nullopt, L"4"},
      {"an empty text", registry_type::Text, {}, std::nullopt, L""},
      {"an expandable text", kExpandText, digit_one, std::nullopt, std::nullopt},
      {"several texts", kMulti, digit_one, std::nullopt, std::nullopt},
      {"four binary bytes", kBinary, one_dword, std::nullopt, std::nullopt},
      {"a big-endian number", kBigEndian, {0, 0, 0, 1}, std::nullopt, std::nullopt},
      {"a 64-bit number", kQword, {1, 0, 0, 0, 0, 0, 0, 0}, std::nullopt, std::nullopt},
      {"no type", kNone, one_dword, std::nullopt, std::nullopt},
      {"a number of more than four bytes", registry_type::Dword, {1, 0, 0, 0, 0}, std::nullopt, std::nullopt},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DwordFromValue(c.type, c.bytes), c.dword);
    EXPECT_EQ(TextFromValue(c.type, c.bytes), c.text);
  }
}

}  // namespace
}  // namespace lantern
