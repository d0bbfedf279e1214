// The string-table resource read directly: this test program carries the
// bootstrapper's table, so it must read back exactly what the build put in.
#include "app/config_strings_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>

#include "build_strings_expected.h"

namespace lantern {
namespace {

TEST(ResourceStringTable, ReadsThisProgramsTable) {
  const ResourceStringTable table(GetModuleHandleW(nullptr));
  for (const auto& expected : testing_values::kBuildStrings) {
    SCOPED_TRACE(testing::Message() << "entry " << expected.id);
    const std::optional<std::wstring> text = table.Find(expected.id);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, expected.text);
  }
}

TEST(ResourceStringTable, TheUsageMessageHoldsRealControlCharacters) {
  const std::optional<std::wstring> usage =
      ResourceStringTable(GetModuleHandleW(nullptr)).Find(cfg::UsageMessage);
  ASSERT_TRUE(usage.has_value());
  EXPECT_TRUE(usage->starts_with(L"Command line '%s' incorrect.\nValid switches include:- \n\t extract"));
  EXPECT_EQ(usage->find(L"\\n"), std::wstring::npos);
  EXPECT_EQ(usage->find(L"\\t"), std::wstring::npos);
  // The example ends the message and names the switches it must show.
  const std::wstring example = usage->substr(usage->rfind(L"\n\t") + 2);
  EXPECT_NE(example.find(L" log "), std::wstring::npos);
  EXPECT_NE(example.find(L"/IAgreeToTheEULA"), std::wstring::npos);
  EXPECT_NE(example.find(L"VT_PFUR_ENABLED=1"), std::wstring::npos);
}

TEST(ResourceStringTable, UnusedIdsAreMissing) {
  const ResourceStringTable table(GetModuleHandleW(nullptr));
  for (const unsigned id : testing_values::kUnusedIds) {
    EXPECT_EQ(table.Find(id), std::nullopt) << "entry " << id;
  }
  EXPECT_EQ(table.Find(65536), std::nullopt);  // beyond what a resource id can name
}

struct ModuleFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// Removed at the end of the test, after the module that maps it is freed.
struct ScratchFile {
  std::filesystem::path path;
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
};

TEST(ResourceStringTable, ReadsAnotherModulesTable) {
  // A copy of this program loaded as plain data: a module that is not the
  // process's own but carries the same table.
  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::filesystem::path copy = std::filesystem::temp_directory_path() /
                                     ("lantern-strings-" + std::to_string(GetCurrentProcessId()) + ".dll");
  ASSERT_TRUE(std::filesystem::copy_file(self, copy, std::filesystem::copy_options::overwrite_existing));
  const ScratchFile removal{copy};
  const UniqueModule module(LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_NE(module, nullptr);
  ASSERT_NE(module.get(), GetModuleHandleW(nullptr));

  const ResourceStringTable table(module.get());
  EXPECT_EQ(table.Find(cfg::ProductName), std::optional<std::wstring>(L"Vantrel Studio Download"));
  EXPECT_EQ(table.Find(cfg::AdminRequired), std::optional<std::wstring>(L"1"));
  EXPECT_EQ(table.Find(107), std::nullopt);
}

}  // namespace
}  // namespace lantern
