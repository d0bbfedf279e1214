// Who may change the working folder: the access a new one is made with, the
// test a folder already there must pass before a run takes it over, and the
// lock that keeps two runs out of one folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/folder_security.h"

namespace lantern {
namespace {

const std::wstring kUser = L"S-1-5-21-1-2-3-1001";
const std::wstring kUsers = L"S-1-5-32-545";
const std::wstring kAuthenticatedUsers = L"S-1-5-11";
constexpr std::uint8_t kInherit = kInheritedByFilesAndFolders;
constexpr std::uint8_t kInheritOnly = 0x08 | kInheritedByFilesAndFolders;

TEST(WorkingFolderAccess, GrantsChangesToNoOneButTheSystemTheAdministratorsAndAnUnelevatedUser) {
  const AccessEntry system{true, sid::kSystem, rights::kFullControl, kInherit};
  const AccessEntry administrators{true, sid::kAdministrators, rights::kFullControl, kInherit};
  const AccessEntry user{true, kUser, rights::kFullControl, kInherit};
  const AccessEntry everyone{true, sid::kEveryone, rights::kReadAndExecute, kInherit};

  EXPECT_EQ(WorkingFolderAccess(true, kUser),
            (FolderAccess{sid::kAdministrators, {system, administrators, everyone}}));
  EXPECT_EQ(WorkingFolderAccess(false, kUser), (FolderAccess{L"", {system, administrators, user, everyone}}));
  // Read and execute changes nothing.
  EXPECT_EQ(rights::kReadAndExecute & rights::kChanges, 0u);
  // What the run makes passes its own test.
  for (const bool elevated : {true, false}) {
    const FolderAccess access = WorkingFolderAccess(elevated, kUser);
    ExistingFolder made{true, false, elevated ? std::wstring(sid::kAdministrators) : kUser, true,
                        access.entries};
    EXPECT_EQ(JudgeFolderForReuse(made, elevated, kUser).verdict, ReuseVerdict::Accept) << elevated;
  }
}

TEST(JudgeFolderForReuse, TakesOverOnlyARealFolderNobodyElseCanChange) {
  const std::vector<AccessEntry> ours = WorkingFolderAccess(true, kUser).entries;
  auto with = [&ours](std::vector<AccessEntry> more) {
    std::vector<AccessEntry> entries = ours;
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
  };
  struct Case {
    const char* what;
    ExistingFolder folder;
    bool elevated;
    ReuseDecision decision;
  };
  const Case cases[] = {
      {"made by an elevated run",
       {true, false, sid::kAdministrators, true, ours},
       true,
       {ReuseVerdict::Accept, {}}},
      {"owned by the system", {true, false, sid::kSystem, true, ours}, true, {ReuseVerdict::Accept, {}}},
      {"a link", {true, true, sid::kAdministrators, true, ours}, true, {ReuseVerdict::Link, {}}},
      {"a file", {false, false, sid::kAdministrators, true, ours}, true, {ReuseVerdict::NotAFolder, {}}},
      {"owned by the user, elevated", {true, false, kUser, true, ours}, true, {ReuseVerdict::Owner, kUser}},
      {"owned by the user, not elevated",
       {true, false, kUser, true, ours},
       false,
       {ReuseVerdict::Accept, {}}},
      {"owned by another user",
       {true, false, L"S-1-5-21-9-9-9-1002", true, ours},
       false,
       {ReuseVerdict::Owner, L"S-1-5-21-9-9-9-1002"}},
      {"owner unknown", {true, false, L"", true, ours}, true, {ReuseVerdict::Owner, L""}},
      {"no access list",
       {true, false, sid::kAdministrators, false, {}},
       true,
       {ReuseVerdict::NoAccessList, {}}},
      {"users may add files (a temporary folder's root)",
       {true, false, sid::kAdministrators, true, with({{true, kUsers, 0x0002 | 0x0004, 0}})},
       true,
       {ReuseVerdict::OthersMayChange, kUsers}},
      {"authenticated users may modify (a drive's root)",
       {true, false, sid::kAdministrators, true, with({{true, kAuthenticatedUsers, 0x001301BF, kInherit}})},
       true,
       {ReuseVerdict::OthersMayChange, kAuthenticatedUsers}},
      {"everyone may delete",
       {true, false, sid::kAdministrators, true, with({{true, sid::kEveryone, 0x00010000, 0}})},
       true,
       {ReuseVerdict::OthersMayChange, sid::kEveryone}},
      {"everyone has generic write",
       {true, false, sid::kAdministrators, true, with({{true, sid::kEveryone, 0x40000000, 0}})},
       true,
       {ReuseVerdict::OthersMayChange, sid::kEveryone}},
      {"the user may take ownership, elevated",
       {true, false, sid::kAdministrators, true, with({{true, kUser, 0x00080000, 0}})},
       true,
       {ReuseVerdict::OthersMayChange, kUser}},
      {"the user has full control, not elevated",
       {true, false, sid::kAdministrators, true, with({{true, kUser, rights::kFullControl, kInherit}})},
       false,
       {ReuseVerdict::Accept, {}}},
      {"only what is made inside would let users change it",
       {true, false, sid::kAdministrators, true, with({{true, kUsers, rights::kFullControl, kInheritOnly}})},
       true,
       {ReuseVerdict::OthersMayChange, kUsers}},
      {"creator owner stands for the trusted who may create",
       {true, false, sid::kAdministrators, true,
        with({{true, sid::kCreatorOwner, rights::kFullControl, kInheritOnly}})},
       true,
       {ReuseVerdict::Accept, {}}},
      {"a denial takes nothing away from the test",
       {true, false, sid::kAdministrators, true, with({{false, sid::kEveryone, rights::kFullControl, 0}})},
       true,
       {ReuseVerdict::Accept, {}}},
      {"users may read and run",
       {true, false, sid::kAdministrators, true, with({{true, kUsers, rights::kReadAndExecute, 0}})},
       true,
       {ReuseVerdict::Accept, {}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JudgeFolderForReuse(c.folder, c.elevated, kUser), c.decision) << c.what;
  }
}

TEST(WorkingFolderLockName, OneNamePerFolderWhateverTheCaseOfItsLetters) {
  const std::wstring lock = WorkingFolderLockName(L"C:\\Temp\\{00000000-0000-0000-0000-000000000000}");
  EXPECT_EQ(lock, WorkingFolderLockName(L"c:\\temp\\{00000000-0000-0000-0000-000000000000}"));
  EXPECT_NE(lock, WorkingFolderLockName(L"D:\\Temp\\{00000000-0000-0000-0000-000000000000}"));
  EXPECT_TRUE(lock.starts_with(L"Global\\Lantern.WorkingFolder."));
  EXPECT_EQ(lock.size(), std::wstring(L"Global\\Lantern.WorkingFolder.").size() + 16);
  EXPECT_EQ(lock.find(L'\\', 7), std::wstring::npos);
  // The 64-bit FNV-1a of the folded path in upper-case hex: the name every
  // Lantern has used, so that runs of different versions see one another.
  EXPECT_EQ(lock, L"Global\\Lantern.WorkingFolder.3149665D30A17216");
}

}  // namespace
}  // namespace lantern
