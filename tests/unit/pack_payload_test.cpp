// The payload rules, name by name, and how the packing tool gathers the
// payload's files and plans the catalogue.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pack/payload.h"

namespace lantern::pack {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::vector<std::string> Split(const std::string& names) {
  std::vector<std::string> out;
  std::size_t at = 0;
  for (std::size_t comma; (comma = names.find(',', at)) != std::string::npos; at = comma + 1) {
    out.push_back(names.substr(at, comma - at));
  }
  out.push_back(names.substr(at));
  return out;
}

TEST(PayloadRules, EachNameAndFrontEndIsCheckedWithItsMessage) {
  struct Case {
    const char* front_end;
    const char* names;
    const char* message;  // empty: accepted
  };
  const Case cases[] = {
      {"App.exe", "App.exe,App.exe.config,data\\x.bin", ""},
      {"", "readme.txt,data\\table.csv", ""},
      {"Setup.exe", "App.exe", "the front end 'Setup.exe' is not in the payload (payload: App.exe)"},
      {"readme.txt", "readme.txt",
       "would not be started: its name must hold '.exe' after its first character"},
      {".exe", ".exe", "would not be started"},
      {"", "tool.exe,notes.txt,App.exe.config",
       "no FRONT_END is named, so the bootstrapper would start 'tool.exe' (payload names that look like "
       "programs: "
       "tool.exe;App.exe.config); name the front end with FRONT_END"},
      {"App.exe", "App.exe,a*b.txt",
       "payload name 'a*b.txt' holds '*', which separates the catalogue's fields"},
      {"App.exe", "App.exe,A.txt,a.TXT", "two payload files are both named 'a.TXT'"},
      {"App.exe", "App.exe,caf\xC3\xA9.txt", "must be printable ASCII"},
      {"App.exe", "App.exe,what?.txt", "holds a character that Windows does not allow in file names"},
      {"App.exe", "App.exe,..\\up.txt", "must be a relative path inside the working folder"},
      {"App.exe", "App.exe,\\rooted.txt", "must be a relative path inside the working folder"},
      {"App.exe", "App.exe,data\\\\x.txt", "must be a relative path inside the working folder"},
      {"App.exe", "App.exe,data\\", "must be a relative path inside the working folder"},
      {"App.exe", "App.exe,", "a payload file has an empty name"},
      // Device names, with or without an extension, in any part and any case.
      {"App.exe", "App.exe,NUL", "uses the device name 'NUL', which Windows opens as a device, not a file"},
      {"App.exe", "App.exe,con.txt", "device name 'CON'"},
      {"App.exe", "App.exe,data\\Aux.tar.gz", "device name 'AUX'"},
      {"App.exe", "App.exe,prn\\x.bin", "device name 'PRN'"},
      {"App.exe", "App.exe,com1.log", "device name 'COM1'"},
      {"App.exe", "App.exe,LPT9", "device name 'LPT9'"},
      {"App.exe", "App.exe,conin$", "device name 'CONIN$'"},
      {"App.exe", "App.exe,CONOUT$.txt", "device name 'CONOUT$'"},
      {"App.exe", "App.exe,nul .txt", "device name 'NUL'"},
      {"App.exe", "App.exe,data\\NUL.txt", "device name 'NUL'"},
      {"App.exe", "App.exe,lpt0", "device name 'LPT0'"},
      {"App.exe", "App.exe,console.txt,com10.txt,nul_x.txt,a.nul,data\\auxiliary\\x", ""},
      // Windows drops trailing dots and spaces: such names land on another name.
      {"App.exe", "App.exe,a.txt,a.txt.", "'a.txt.' has a part that ends in a dot or a space"},
      {"App.exe", "a.txt ,App.exe", "ends in a dot or a space"},
      {"App.exe", "App.exe,data.\\x.bin", "ends in a dot or a space"},
      {"App.exe", "App.exe,data \\x.bin", "ends in a dot or a space"},
      {"App.exe", "App.exe,...", "ends in a dot or a space"},
      {"App.exe", "App.exe, leading space.txt,.hidden,a..b.txt", ""},
      // A file and a folder of the same name.
      {"App.exe", "App.exe,data,DATA\\x.bin", "payload name 'DATA\\x.bin' needs a folder of the same name"},
      {"App.exe", "App.exe,data\\sub\\x.bin,data\\SUB", "needs a folder of the same name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.front_end) + " | " + c.names);
    const auto names = Split(c.names);
    const auto checked = CheckPayload(c.front_end, names);
    if (std::string(c.message).empty()) {
      EXPECT_TRUE(checked) << checked.Message();
    } else {
      ASSERT_FALSE(checked);
      EXPECT_THAT(checked.Message(), HasSubstr(c.message));
    }
  }
}

class PayloadFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / "lantern-payload-test";
    fs::remove_all(root_);
    for (const auto& [name, bytes] :
         std::vector<std::pair<std::string, std::string>>{{"App.exe", "MZ"},
                                                          {"tree/b.txt", "bb"},
                                                          {"tree/a/z.bin", "zzz"},
                                                          {"tree/a.txt", ""},
                                                          {"tree/B/c.txt", "c"}}) {
      fs::create_directories((root_ / name).parent_path());
      std::ofstream(root_ / name, std::ios::binary) << bytes;
    }
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(PayloadFolderTest, FilesComeFirstThenTheFolderInNameOrderWithBackslashes) {
  const std::vector<fs::path> files = {root_ / "App.exe"};
  auto payload = CollectPayload(files, root_ / "tree");
  ASSERT_TRUE(payload) << payload.Message();
  std::vector<std::string> names;
  for (const PayloadFile& file : payload.Value()) names.push_back(file.name);
  // Byte order of the '/'-separated paths: capitals first, "a.txt" before "a/".
  EXPECT_THAT(names, ::testing::ElementsAre("App.exe", "B\\c.txt", "a.txt", "a\\z.bin", "b.txt"));
  EXPECT_EQ(payload.Value()[3].source, root_ / "tree" / "a" / "z.bin");
}

TEST_F(PayloadFolderTest, TheFrontEndGetsTheFirstIdAndSizesAreExact) {
  const std::vector<PayloadFile> files = {{root_ / "tree" / "b.txt", "b.txt"},
                                          {root_ / "tree" / "a.txt", "a.txt"},
                                          {root_ / "App.exe", "App.exe"}};
  auto entries = PlanCatalogue(files, "App.exe");
  ASSERT_TRUE(entries) << entries.Message();
  EXPECT_EQ(CatalogueText(entries.Value()), "102*App.exe*2*103*b.txt*2*104*a.txt*0");
  EXPECT_EQ(entries.Value()[0].source, root_ / "App.exe");
}

TEST_F(PayloadFolderTest, MissingFilesAndFoldersAreNamed) {
  const std::vector<fs::path> missing = {root_ / "gone.dll"};
  auto gone = CollectPayload(missing, {});
  ASSERT_FALSE(gone);
  EXPECT_THAT(gone.Message(),
              HasSubstr("payload file '" + (root_ / "gone.dll").string() + "' does not exist"));
  auto not_folder = CollectPayload({}, root_ / "App.exe");
  ASSERT_FALSE(not_folder);
  EXPECT_THAT(not_folder.Message(),
              HasSubstr("PAYLOAD_DIR '" + (root_ / "App.exe").string() + "' is not a folder"));
  // These tests run as root, who reads every folder; an unreadable folder's
  // message is not shown here.
}

TEST_F(PayloadFolderTest, LinkedFoldersAreNotEnteredAndLinkedFilesAreTaken) {
  std::error_code error;
  fs::create_directory_symlink(root_ / "tree", root_ / "tree" / "loop", error);
  fs::create_symlink(root_ / "App.exe", root_ / "tree" / "linked.exe", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  auto payload = CollectPayload({}, root_ / "tree");
  ASSERT_TRUE(payload) << payload.Message();
  std::vector<std::string> names;
  for (const PayloadFile& file : payload.Value()) names.push_back(file.name);
  EXPECT_THAT(names, ::testing::ElementsAre("B\\c.txt", "a.txt", "a\\z.bin", "b.txt", "linked.exe"));
}

}  // namespace
}  // namespace lantern::pack
