// Bootstrappers made by lantern_add_bootstrapper(): what is inside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "app/config_strings_win32.h"
#include "bitness.h"
#include "build_strings_expected.h"
#include "core/payload_compression.h"
#include "e2e_paths.h"
#include "e2e_support.h"
#include "payload/decoder.h"

namespace lantern::e2e {
namespace {

const std::wstring kPayload = HostPath(LANTERN_E2E_SOURCE_DIR "/payload");

std::vector<std::wstring> AllBootstrappers() {
  return {HostPath(LANTERN_BASIC_EXE), HostPath(LANTERN_STRINGS_EXE), HostPath(LANTERN_RAW_EXE)};
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto* out = reinterpret_cast<std::vector<std::wstring>*>(param);
  out->push_back(IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : name);
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
  return TRUE;
}

// The names of every "TOOLKIT" resource: ids as numbers, others as text.
std::vector<std::wstring> ToolkitNames(HMODULE module) {
  std::vector<std::wstring> names;
  EnumResourceNamesW(module, L"TOOLKIT", CollectName, reinterpret_cast<LONG_PTR>(&names));
  std::sort(names.begin(), names.end());
  return names;
}

// A 32-bit Windows GUI program; where only 64-bit test builds can run (see
// bitness.h), the x86-64 program that the same build makes there.
void ExpectWindowsGuiExecutable32(const std::wstring& exe) {
  SCOPED_TRACE(Narrow(exe));
  const auto bytes = ReadBytes(exe);
  ASSERT_GT(bytes.size(), sizeof(IMAGE_DOS_HEADER));
  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, bytes.data(), sizeof(dos));
  ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
  using Headers = std::conditional_t<test::kThirtyTwoBitBuild, IMAGE_NT_HEADERS32, IMAGE_NT_HEADERS64>;
  ASSERT_LT(static_cast<size_t>(dos.e_lfanew) + sizeof(Headers), bytes.size());
  Headers nt;
  std::memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof(nt));
  EXPECT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
  if constexpr (test::kThirtyTwoBitBuild) {
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  } else {
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  }
  EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST(Packaging, IsA32BitWindowsGuiExecutable) {
  for (const auto& exe : AllBootstrappers()) ExpectWindowsGuiExecutable32(exe);
}

TEST(Packaging, ManifestAsksForAdministratorAndCommonControls6AndIconIsThere) {
  for (const auto& exe : AllBootstrappers()) {
    SCOPED_TRACE(Narrow(exe));
    ResourceModule module(exe);
    const auto manifest = module.Bytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_TRUE(manifest.has_value());
    const std::string text(manifest->begin(), manifest->end());
    EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_TRUE(module.Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(5)).has_value());
  }
}

struct PayloadEntry {
  int id;
  std::wstring name;
  std::wstring file;
};

// A compressed resource's bytes as the bootstrapper decodes them.
std::vector<unsigned char> Decoded(const std::vector<unsigned char>& stored, std::size_t limit,
                                   const DecodingDictionary* dictionary) {
  struct Memory final : DecodedBytesWriter {
    std::vector<unsigned char> bytes;
    bool Write(const void* data, std::size_t size, std::uint32_t&) override {
      bytes.insert(bytes.end(), static_cast<const unsigned char*>(data),
                   static_cast<const unsigned char*>(data) + size);
      return true;
    }
  } memory;
  EXPECT_EQ(DecodeToWriter(stored.data(), stored.size(), limit, memory, dictionary).status,
            DecodeStatus::Done);
  return memory.bytes;
}

// The payload resources hold the files byte for byte (or, in a compressed
// build, the files' frames where they shrink), there are no others, and the
// catalogue lists them with their exact sizes.
void ExpectPayload(const std::wstring& exe, const std::vector<PayloadEntry>& expected) {
  ResourceModule module(exe);
  std::vector<std::wstring> ids = {L"101"};
  std::string catalogue;
  std::set<std::uint32_t> compressed;
  DecodingDictionary dictionary;
  if (const auto list = module.Bytes(RT_RCDATA, L"LANTERN_COMPRESSED")) {
    const auto listed = ParseCompressionList(std::string(list->begin(), list->end()));
    ASSERT_TRUE(listed.has_value());
    compressed = listed->ids;
    const auto stored = module.Bytes(RT_RCDATA, L"LANTERN_DICTIONARY");
    // A dictionary is there exactly when the list says the files share one.
    ASSERT_EQ(stored.has_value(), listed->dictionary);
    if (stored) {
      ASSERT_EQ(dictionary.Load(stored->data(), stored->size()).status, DecodeStatus::Done);
    }
  }
  for (const auto& entry : expected) {
    SCOPED_TRACE(entry.id);
    const auto file = ReadBytes(entry.file);
    const auto resource = module.Bytes(L"TOOLKIT", MAKEINTRESOURCEW(entry.id));
    ASSERT_TRUE(resource.has_value());
    if (compressed.contains(static_cast<std::uint32_t>(entry.id))) {
      EXPECT_LT(resource->size(), file.size());
      EXPECT_TRUE(Decoded(*resource, file.size(), &dictionary) == file);
    } else {
      EXPECT_TRUE(*resource == file);
    }
    ids.push_back(std::to_wstring(entry.id));
    if (!catalogue.empty()) catalogue += '*';
    catalogue += std::to_string(entry.id) + "*" + Narrow(entry.name) + "*" + std::to_string(file.size());
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ToolkitNames(module.get()), ids);

  const auto stored = module.Bytes(L"TOOLKIT", MAKEINTRESOURCEW(101));
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(std::string(stored->begin(), stored->end()), catalogue);
}

TEST(Packaging, PayloadAndCatalogueMatchTheFilesByteForByte) {
  // The front end first, then the files in the order given, then the folder's
  // files in name order, named by their relative paths.
  ExpectPayload(HostPath(LANTERN_BASIC_EXE),
                {
                    {102, L"standin.exe", HostPath(LANTERN_STANDIN_EXE)},
                    {103, L"standin.exe.config", kPayload + L"\\standin.exe.config"},
                    {104, L"bytes.bin", kPayload + L"\\bytes.bin"},
                    {105, L"empty.dat", kPayload + L"\\empty.dat"},
                    {106, L"sub folder\\nested.txt", kPayload + L"\\tree\\sub folder\\nested.txt"},
                    {107, L"top.txt", kPayload + L"\\tree\\top.txt"},
                });
}

TEST(Packaging, RawModeCarriesExactlyTheResourcesGiven) {
  ResourceModule module(HostPath(LANTERN_RAW_EXE));
  std::vector<std::wstring> expected_names = {L"101", L"102", L"300", L"NAMED"};
  std::sort(expected_names.begin(), expected_names.end());
  EXPECT_EQ(ToolkitNames(module.get()), expected_names);
  EXPECT_EQ(*module.Bytes(L"TOOLKIT", MAKEINTRESOURCEW(101)), ReadBytes(kPayload + L"\\raw_catalogue.txt"));
  EXPECT_EQ(*module.Bytes(L"TOOLKIT", MAKEINTRESOURCEW(102)), ReadBytes(kPayload + L"\\bytes.bin"));
  EXPECT_EQ(*module.Bytes(L"TOOLKIT", L"NAMED"), ReadBytes(kPayload + L"\\empty.dat"));
}

const std::map<unsigned, std::wstring>& DefaultStrings() {
  static const std::map<unsigned, std::wstring> table = [] {
    std::map<unsigned, std::wstring> entries;
    for (const auto& entry : testing_values::kBuildStrings) entries.emplace(entry.id, entry.text);
    return entries;
  }();
  return table;
}

void ExpectTable(const std::wstring& exe, const std::map<unsigned, std::wstring>& expected) {
  ResourceModule module(exe);
  ResourceStringTable table(module.get());
  for (unsigned id = 0; id < 200; ++id) {
    SCOPED_TRACE(id);
    const auto found = table.Find(id);
    const auto wanted = expected.find(id);
    if (wanted == expected.end()) {
      EXPECT_FALSE(found.has_value());
    } else {
      ASSERT_TRUE(found.has_value());
      EXPECT_EQ(*found, wanted->second);
    }
  }
  // One language only: English (United Kingdom).
  std::vector<WORD> languages;
  EnumResourceLanguagesW(module.get(), RT_STRING, MAKEINTRESOURCEW(1), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, std::vector<WORD>{0x0809});
}

TEST(Packaging, StringTableHoldsThisBuildsValues) {
  ExpectTable(HostPath(LANTERN_BASIC_EXE), DefaultStrings());
}

TEST(Packaging, StringTableTakesOverridesAndOmissions) {
  auto expected = DefaultStrings();
  expected[1] = L"\u00dcn\u00efcode Pr\u00f6d\u00fcct Download";
  expected[103] = L"250";
  expected[113] = L"Quote \"here\", back\\slash, tab\there\nnew line";
  expected.erase(145);
  expected.erase(137);
  ExpectTable(HostPath(LANTERN_STRINGS_EXE), expected);
}

// A bootstrapper built by another project that has Lantern as a subdirectory.
TEST(Consumer, BuildsABootstrapperOfItsOwnPayloadAndStrings) {
  const std::wstring exe = HostPath(LANTERN_CONSUMER_EXE);
  const std::wstring payload = HostPath(LANTERN_CONSUMER_PAYLOAD);
  ExpectWindowsGuiExecutable32(exe);
  ExpectPayload(exe, {
                         {102, L"App.exe", payload + L"\\App.exe"},
                         {103, L"App.exe.config", payload + L"\\App.exe.config"},
                         {104, L"nested\\deep.txt", payload + L"\\data\\nested\\deep.txt"},
                         {105, L"table.csv", payload + L"\\data\\table.csv"},
                     });
  auto expected = DefaultStrings();
  expected[1] = L"Consumer Product Download";
  expected[145] = L"0";
  expected.erase(137);
  ExpectTable(exe, expected);

  ResourceModule module(exe);
  const auto manifest = module.Bytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
  ASSERT_TRUE(manifest.has_value());
  EXPECT_NE(std::string(manifest->begin(), manifest->end()).find("requireAdministrator"), std::string::npos);
}

}  // namespace
}  // namespace lantern::e2e
