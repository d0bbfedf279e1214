// The version record against the system's own reading of it: the record a
// resource compiler wrote into this program, and the system's version
// functions walking the bytes the packing tool writes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/version_resource.h"

namespace lantern {
namespace {

std::span<const std::uint8_t> OwnRecord() {
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
  const HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  if (!loaded) return {};
  return {static_cast<const std::uint8_t*>(LockResource(loaded)), SizeofResource(nullptr, found)};
}

// This program's record comes from the resource compiler (see the tests'
// CMakeLists.txt for its values).
TEST(VersionResource, ReadsTheRecordAResourceCompilerWrote) {
  const std::span<const std::uint8_t> own = OwnRecord();
  ASSERT_FALSE(own.empty());
  const std::optional<VersionRecord> read = ReadVersionResource(own);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->version, (std::array<std::uint16_t, 4>{9, 8, 7, 6}));
  EXPECT_EQ(read->copyright, u"Copyright (C) Unit Tests");
  // What the packing tool writes for the same values is the same, byte for byte.
  EXPECT_EQ(std::vector<std::uint8_t>(own.begin(), own.end()), BuildVersionResource(*read));
}

TEST(VersionResource, WritesWhatTheVersionFunctionsRead) {
  std::vector<std::uint8_t> bytes = BuildVersionResource({{3, 1, 4, 15}, u"© 2026 Vantrel & Sons"});
  // The functions may write converted texts after the record, as they do in
  // the buffer GetFileVersionInfoW fills.
  bytes.resize(bytes.size() * 3, 0);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(bytes.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 1u);
  EXPECT_EQ(fixed->dwFileVersionLS, (4u << 16) | 15u);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  const struct {
    const wchar_t* path;
    const wchar_t* value;
  } texts[] = {
      {L"\\StringFileInfo\\080904B0\\FileVersion", L"3.1.4.15"},
      {L"\\StringFileInfo\\080904B0\\ProductVersion", L"3.1.4.15"},
      {L"\\StringFileInfo\\080904B0\\LegalCopyright", L"© 2026 Vantrel & Sons"},
  };
  for (const auto& text : texts) {
    wchar_t* value = nullptr;
    ASSERT_TRUE(VerQueryValueW(bytes.data(), text.path, reinterpret_cast<void**>(&value), &length))
        << text.path;
    EXPECT_EQ(std::wstring(value), text.value);
  }
  DWORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(bytes.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(*translation, 0x04B00809u);
}

}  // namespace
}  // namespace lantern
