// The payload as the packing tool takes it in: the rules every name keeps,
// with their exact messages; the files of a payload folder and their order;
// the catalogue's ids, sizes and text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pack/payload.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace lantern::pack {
namespace {

namespace fs = std::filesystem;

// A path as the messages show it.
std::string Text(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  std::stringstream in(list);
  for (std::string name; std::getline(in, name, ',');) names.push_back(name);
  return names;
}

TEST(PackPayloadRules, EachRuleGivesItsMessage) {
  const struct {
    const char* front_end;
    const char* names;     // separated by commas
    const char* expected;  // the whole message, or nullptr when the payload is sound
  } cases[] = {
      {"App.exe", "App.exe,App.exe.config,data\\x.bin", nullptr},
      {"", "readme.txt,data\\table.csv", nullptr},
      {"Setup.exe", "App.exe", "the front end 'Setup.exe' is not in the payload (payload: App.exe)"},
      {"Setup.exe", "App.exe,b.txt",
       "the front end 'Setup.exe' is not in the payload (payload: App.exe;b.txt)"},
      {"app.exe", "App.exe", "the front end 'app.exe' is not in the payload (payload: App.exe)"},
      {"readme.txt", "readme.txt",
       "the front end 'readme.txt' would not be started: its name must hold '.exe' after its first "
       "character"},
      {".exe", ".exe",
       "the front end '.exe' would not be started: its name must hold '.exe' after its first character"},
      {"", "tool.exe,notes.txt",
       "no FRONT_END is named, so the bootstrapper would start 'tool.exe' (payload names that look like "
       "programs: "
       "tool.exe); name the front end with FRONT_END"},
      {"", "a.txt,tool.EXE,b\\x.exe.config",
       "no FRONT_END is named, so the bootstrapper would start 'tool.EXE' (payload names that look like "
       "programs: "
       "tool.EXE;b\\x.exe.config); name the front end with FRONT_END"},
      {"", ".exe,notes.txt", nullptr},
      {"App.exe", "App.exe,,x.bin", "a payload file has an empty name"},
      {"App.exe", "App.exe,a*b.txt",
       "payload name 'a*b.txt' holds '*', which separates the catalogue's fields"},
      {"App.exe", "App.exe,A.txt,a.TXT", "two payload files are both named 'a.TXT'"},
      {"App.exe", "App.exe,a.txt,a.txt", "two payload files are both named 'a.txt'"},
      {"App.exe", "App.exe,data\\x.bin,DATA\\X.BIN", "two payload files are both named 'DATA\\X.BIN'"},
      {"App.exe", "App.exe,caf\xC3\xA9.txt",
       "payload name 'caf\xC3\xA9.txt' must be printable ASCII, so that it reads the same in every code "
       "page"},
      {"App.exe", "App.exe,tab\there",
       "payload name 'tab\there' must be printable ASCII, so that it reads the same in every code page"},
      {"App.exe", "App.exe,what?.txt",
       "payload name 'what?.txt' holds a character that Windows does not allow in file names"},
      {"App.exe", "App.exe,data/x.bin",
       "payload name 'data/x.bin' holds a character that Windows does not allow in file names"},
      {"App.exe", "App.exe,c:x.bin",
       "payload name 'c:x.bin' holds a character that Windows does not allow in file names"},
      {"App.exe", "App.exe,..\\up.txt",
       "payload name '..\\up.txt' must be a relative path inside the working folder"},
      {"App.exe", "App.exe,\\rooted.txt",
       "payload name '\\rooted.txt' must be a relative path inside the working folder"},
      {"App.exe", "App.exe,data\\",
       "payload name 'data\\' must be a relative path inside the working folder"},
      {"App.exe", "App.exe,a\\\\b",
       "payload name 'a\\\\b' must be a relative path inside the working folder"},
      {"App.exe", "App.exe,a\\.\\b",
       "payload name 'a\\.\\b' must be a relative path inside the working folder"},
      {"App.exe", "App.exe,.", "payload name '.' must be a relative path inside the working folder"},
      // Device names, with or without an extension, in any part and any case.
      {"App.exe", "App.exe,NUL",
       "payload name 'NUL' uses the device name 'NUL', which Windows opens as a device, not a file"},
      {"App.exe", "App.exe,con.txt", "uses the device name 'CON',"},
      {"App.exe", "App.exe,data\\Aux.tar.gz", "uses the device name 'AUX',"},
      {"App.exe", "App.exe,prn\\x.bin", "uses the device name 'PRN',"},
      {"App.exe", "App.exe,com1.log", "uses the device name 'COM1',"},
      {"App.exe", "App.exe,LPT9", "uses the device name 'LPT9',"},
      {"App.exe", "App.exe,conin$", "uses the device name 'CONIN$',"},
      {"App.exe", "App.exe,CONOUT$.txt", "uses the device name 'CONOUT$',"},
      {"App.exe", "App.exe,nul .txt", "uses the device name 'NUL',"},
      {"App.exe", "App.exe,data\\NUL.txt", "uses the device name 'NUL',"},
      {"App.exe", "App.exe,com1", "uses the device name 'COM1',"},
      {"App.exe", "App.exe,lpt0", "uses the device name 'LPT0',"},
      {"App.exe", "App.exe,console.txt,com10.txt,nul_x.txt,a.nul,data\\auxiliary\\x,conin.txt,comx", nullptr},
      // Windows drops trailing dots and spaces: such names land on another name.
      {"App.exe", "App.exe,a.txt,a.txt.",
       "payload name 'a.txt.' has a part that ends in a dot or a space, which Windows drops from file names"},
      {"App.exe", "a.txt ,App.exe", "payload name 'a.txt ' has a part that ends in a dot or a space,"},
      {"App.exe", "App.exe,data.\\x.bin",
       "payload name 'data.\\x.bin' has a part that ends in a dot or a space,"},
      {"App.exe", "App.exe,data \\x.bin",
       "payload name 'data \\x.bin' has a part that ends in a dot or a space,"},
      {"App.exe", "App.exe,...", "payload name '...' has a part that ends in a dot or a space,"},
      {"App.exe", "App.exe, leading space.txt,.hidden,a..b.txt", nullptr},
      // A file and a folder of the same name.
      {"App.exe", "App.exe,data,DATA\\x.bin",
       "payload name 'DATA\\x.bin' needs a folder of the same name as another payload file"},
      {"App.exe", "App.exe,data\\sub\\x.bin,data\\SUB",
       "payload name 'data\\sub\\x.bin' needs a folder of the same name as another payload file"},
      // Every rule is kept before the front end is looked at.
      {"Setup.exe", "App.exe,a*b", "payload name 'a*b' holds '*', which separates the catalogue's fields"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("front end '") + c.front_end + "', names '" + c.names + "'");
    const Status status = CheckPayload(c.front_end, SplitNames(c.names));
    if (c.expected == nullptr) {
      EXPECT_TRUE(status.Ok()) << status.Message();
    } else {
      ASSERT_FALSE(status.Ok());
      const std::string expected = c.expected;
      if (expected.back() == ',') {
        EXPECT_NE(status.Message().find(expected), std::string::npos) << status.Message();
      } else {
        EXPECT_EQ(status.Message(), expected);
      }
    }
  }
}

TEST(PackPayloadRules, ALongListIsCutShortInTheMessage) {
  std::vector<std::string> names;
  for (int i = 0; i < 25; ++i) names.push_back("f" + std::to_string(i));
  const Status status = CheckPayload("Setup.exe", names);
  ASSERT_FALSE(status.Ok());
  EXPECT_EQ(status.Message(),
            "the front end 'Setup.exe' is not in the payload (payload: "
            "f0;f1;f2;f3;f4;f5;f6;f7;f8;f9;f10;f11;f12;f13;"
            "f14;f15;f16;f17;f18;f19;... (25 in all))");
}

TEST(PackPayloadRules, AProgramNameHoldsDotExeAfterItsFirstCharacter) {
  const struct {
    const char* name;
    bool program;
  } cases[] = {
      {"App.exe", true},     {"APP.EXE", true}, {"a.Exe", true},       {"x.exe.config", true},
      {"tool.exe\\x", true}, {".exe", false},   {"readme.txt", false}, {"exe", false},
      {"a.ex", false},       {"", false},       {"a.exe ", true},      {"a_exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsProgramName(c.name), c.program) << c.name;
}

class PackPayloadFiles : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    do {
      folder_ = fs::temp_directory_path() / ("lantern-pack-payload-test-" + std::to_string(random()));
    } while (!fs::create_directory(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    for (const fs::path& locked : locked_) fs::permissions(locked, fs::perms::owner_all, ignored);
    fs::remove_all(folder_, ignored);
  }

  // A file of `size` bytes below the scratch folder, with its folders.
  fs::path Write(const fs::path& relative, std::size_t size) {
    const fs::path path = folder_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    return path;
  }

  static std::vector<std::string> Names(const std::vector<PayloadFile>& files) {
    std::vector<std::string> names;
    for (const PayloadFile& file : files) names.push_back(file.name);
    return names;
  }

  fs::path folder_;
  std::vector<fs::path> locked_;
};

TEST_F(PackPayloadFiles, FilesGivenOneByOneComeFirstThenTheFolderInByteOrder) {
  const fs::path given = Write("given/Setup.exe", 4);
  const fs::path other = Write("given/notes.txt", 1);
  // '/' sorts before '0' and '\' after it: the order is that of the
  // '/'-separated paths. Capitals sort before small letters.
  for (const char* relative : {"tree/a0.txt", "tree/a/y/z.bin", "tree/a.txt", "tree/C.txt", "tree/a/x.bin",
                               "tree/.hidden", "tree/a-b.txt"}) {
    Write(relative, 2);
  }
  fs::create_directories(folder_ / "tree" / "empty");

  const std::vector<fs::path> files = {given, other};
  const Result<std::vector<PayloadFile>> payload = CollectPayload(files, folder_ / "tree");
  ASSERT_TRUE(payload.Ok()) << payload.Message();
  EXPECT_EQ(Names(payload.Value()),
            (std::vector<std::string>{"Setup.exe", "notes.txt", ".hidden", "C.txt", "a-b.txt", "a.txt",
                                      "a\\x.bin", "a\\y\\z.bin", "a0.txt"}));
  EXPECT_EQ(payload->at(0).source, given);
  EXPECT_EQ(payload->at(6).source, folder_ / "tree" / "a" / "x.bin");
  EXPECT_EQ(payload->at(7).source, folder_ / "tree" / "a" / "y" / "z.bin");
}

TEST_F(PackPayloadFiles, NoFolderMeansTheFilesAloneAndAnEmptyFolderAddsNothing) {
  const fs::path given = Write("Setup.exe", 1);
  const std::vector<fs::path> files = {given};
  const auto alone = CollectPayload(files, {});
  ASSERT_TRUE(alone.Ok()) << alone.Message();
  EXPECT_EQ(Names(alone.Value()), std::vector<std::string>{"Setup.exe"});

  fs::create_directory(folder_ / "empty");
  const auto with_empty = CollectPayload(files, folder_ / "empty");
  ASSERT_TRUE(with_empty.Ok()) << with_empty.Message();
  EXPECT_EQ(Names(with_empty.Value()), std::vector<std::string>{"Setup.exe"});
}

TEST_F(PackPayloadFiles, WhatIsNoFileOrNoFolderIsRefused) {
  const fs::path file = Write("file.txt", 1);
  fs::create_directory(folder_ / "dir");
  const struct {
    fs::path file;  // empty: none
    fs::path folder;
    std::string expected;
  } cases[] = {
      {folder_ / "missing.bin", {}, "payload file '" + Text(folder_ / "missing.bin") + "' does not exist"},
      {folder_ / "dir", {}, "payload file '" + Text(folder_ / "dir") + "' is a folder, not a file"},
      {{}, file, "PAYLOAD_DIR '" + Text(file) + "' is not a folder"},
      {{}, folder_ / "nothing", "PAYLOAD_DIR '" + Text(folder_ / "nothing") + "' is not a folder"},
  };
  for (const auto& c : cases) {
    std::vector<fs::path> files;
    if (!c.file.empty()) files.push_back(c.file);
    const auto payload = CollectPayload(files, c.folder);
    ASSERT_FALSE(payload.Ok());
    EXPECT_EQ(payload.Message(), c.expected);
  }
}

#ifndef _WIN32
// Links are followed as the folder shows them; one that leads back into a
// folder that holds it is refused rather than walked without end. (Under
// Wine a link to a folder is a reparse point, which the native build shows.)
TEST_F(PackPayloadFiles, LinksAreFollowedAndALoopIsRefused) {
  const fs::path outside_file = Write("outside/file.bin", 3);
  Write("outside/folder/inner.txt", 1);
  Write("tree/plain.txt", 1);
  fs::create_symlink(outside_file, folder_ / "tree" / "link.bin");
  fs::create_directory_symlink(folder_ / "outside" / "folder", folder_ / "tree" / "linked");

  const auto payload = CollectPayload({}, folder_ / "tree");
  ASSERT_TRUE(payload.Ok()) << payload.Message();
  EXPECT_EQ(Names(payload.Value()), (std::vector<std::string>{"link.bin", "linked\\inner.txt", "plain.txt"}));

  const struct {
    fs::path target;
    fs::path link;
  } loops[] = {
      {folder_ / "tree", folder_ / "tree" / "sub" / "loop"},          // the payload folder itself
      {folder_ / "tree" / "sub", folder_ / "tree" / "sub" / "loop"},  // the folder holding the link
      {folder_, folder_ / "tree" / "sub" / "loop"},                   // a folder above the payload folder
      {folder_ / "tree", folder_ / "outside" / "folder" / "back"},    // through a linked folder
  };
  for (const auto& loop : loops) {
    SCOPED_TRACE(Text(loop.link) + " -> " + Text(loop.target));
    fs::create_directories(folder_ / "tree" / "sub");
    fs::create_directory_symlink(loop.target, loop.link);
    const auto looped = CollectPayload({}, folder_ / "tree");
    ASSERT_FALSE(looped.Ok());
    const fs::path shown_link = loop.link.parent_path() == folder_ / "outside" / "folder"
                                    ? folder_ / "tree" / "linked" / "back"
                                    : loop.link;
    EXPECT_EQ(looped.Message(), "the payload folder '" + Text(folder_ / "tree") + "' holds a link '" +
                                    Text(shown_link) + "' back to '" + Text(fs::canonical(loop.target)) +
                                    "', a folder that holds the link itself");
    fs::remove(loop.link);
  }

  fs::create_symlink(folder_ / "gone", folder_ / "tree" / "dangling");
  const auto dangling = CollectPayload({}, folder_ / "tree");
  ASSERT_FALSE(dangling.Ok());
  EXPECT_EQ(dangling.Message(), "payload file '" + Text(folder_ / "tree" / "dangling") + "' does not exist");
}

// This machine may run the tests as root, which reads every folder, so the
// walk runs in a child process that gives up root first.
TEST_F(PackPayloadFiles, AFolderThatCannotBeReadSaysWhy) {
  Write("tree/a.txt", 1);
  const fs::path locked = folder_ / "tree" / "locked";
  Write("tree/locked/secret.txt", 1);
  fs::permissions(folder_, fs::perms::all);  // others may enter the scratch folder
  fs::permissions(folder_ / "tree", fs::perms::all);
  fs::permissions(locked, fs::perms::none);
  locked_.push_back(locked);

  const std::string expected = "the payload folder '" + Text(locked) + "' cannot be read: Permission denied";
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    const auto payload = CollectPayload({}, folder_ / "tree");
    _exit(!payload.Ok() && payload.Message() == expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "expected: " << expected;
}
#endif

TEST_F(PackPayloadFiles, TheFrontEndComesFirstAndEveryFileHasItsExactSize) {
  const std::vector<PayloadFile> files = {
      {Write("readme.txt", 5), "readme.txt"},
      {Write("empty.dat", 0), "empty.dat"},
      {Write("data/t.bin", 3), "data\\t.bin"},
      {Write("App.exe", 7), "App.exe"},
  };
  const auto entries = PlanCatalogue(files, "App.exe");
  ASSERT_TRUE(entries.Ok()) << entries.Message();
  ASSERT_EQ(entries->size(), 4u);
  EXPECT_EQ(entries->at(0).id, 102);
  EXPECT_EQ(entries->at(0).source, files[3].source);
  EXPECT_EQ(entries->at(3).source, files[2].source);
  EXPECT_EQ(CatalogueText(entries.Value()),
            "102*App.exe*7*103*readme.txt*5*104*empty.dat*0*105*data\\t.bin*3");

  // Without a front end (and no program) the order given stays.
  const auto kept = PlanCatalogue(std::span(files).first(3), "");
  ASSERT_TRUE(kept.Ok()) << kept.Message();
  EXPECT_EQ(CatalogueText(kept.Value()), "102*readme.txt*5*103*empty.dat*0*104*data\\t.bin*3");
}

TEST_F(PackPayloadFiles, APlanThatCannotBeCarriedIsRefused) {
  const fs::path app = Write("App.exe", 1);
  // The rules come before the files are looked at.
  const std::vector<PayloadFile> bad_name = {{app, "App.exe"}, {folder_ / "missing", "a*b"}};
  EXPECT_EQ(PlanCatalogue(bad_name, "App.exe").Message(),
            "payload name 'a*b' holds '*', which separates the catalogue's fields");
  const std::vector<PayloadFile> missing = {{app, "App.exe"}, {folder_ / "missing", "x.bin"}};
  EXPECT_EQ(PlanCatalogue(missing, "App.exe").Message(),
            "payload file '" + Text(folder_ / "missing") + "' does not exist");

  // Resource ids are 16 bits: 102 to 65535.
  std::vector<PayloadFile> many = {{app, "App.exe"}};
  for (std::size_t i = 1; i < kMaxPayloadFiles; ++i) many.push_back({app, "f" + std::to_string(i)});
  ASSERT_EQ(many.size(), 65434u);
  const auto fits = PlanCatalogue(many, "App.exe");
  ASSERT_TRUE(fits.Ok()) << fits.Message();
  EXPECT_EQ(fits->back().id, 65535);
  many.push_back({app, "one-more"});
  EXPECT_EQ(
      PlanCatalogue(many, "App.exe").Message(),
      "the payload has 65435 files; a bootstrapper can carry at most 65434 (resource ids 102 to 65535)");
}

// Files of gigabytes, made sparse so that they take no room on the disk.
TEST_F(PackPayloadFiles, APayloadBeyondWhatTheImageCanHoldIsRefused) {
  const fs::path app = Write("App.exe", 1);
  const fs::path largest = Write("largest.bin", 0);
  const fs::path too_large = Write("too-large.bin", 0);
  std::error_code error;
  fs::resize_file(largest, kMaxPayloadBytes - 1, error);
  if (!error) fs::resize_file(too_large, kMaxPayloadBytes + 1, error);
  if (error) GTEST_SKIP() << "no sparse files here: " << error.message();

  const std::vector<PayloadFile> fits = {{app, "App.exe"}, {largest, "largest.bin"}};
  const auto entries = PlanCatalogue(fits, "App.exe");
  ASSERT_TRUE(entries.Ok()) << entries.Message();
  EXPECT_EQ(CatalogueText(entries.Value()),
            "102*App.exe*1*103*largest.bin*" + std::to_string(kMaxPayloadBytes - 1));

  const std::vector<PayloadFile> one_too_many = {
      {app, "App.exe"}, {largest, "largest.bin"}, {app, "again.exe"}};
  EXPECT_EQ(PlanCatalogue(one_too_many, "App.exe").Message(),
            "payload is 1610612737 bytes; a bootstrapper can carry at most 1610612736 bytes (1.5 GB), "
            "as a 32-bit process holds its whole program");
  const std::vector<PayloadFile> one_file = {{app, "App.exe"}, {too_large, "too-large.bin"}};
  EXPECT_EQ(PlanCatalogue(one_file, "App.exe").Message(),
            "payload file '" + Text(too_large) +
                "' is 1610612737 bytes; a bootstrapper can carry at most 1610612736 bytes (1.5 GB), "
                "as a 32-bit process holds its whole program");
}

TEST(PackCatalogueText, JoinsTheTriplesWithStars) {
  EXPECT_EQ(CatalogueText({}), "");
  const std::vector<CatalogueEntry> one = {{102, "Setup.exe", "x", 0}};
  EXPECT_EQ(CatalogueText(one), "102*Setup.exe*0");
  const std::vector<CatalogueEntry> two = {{102, "Setup.exe", "x", 12},
                                           {103, "sub dir\\a b.txt", "y", 4294967295}};
  EXPECT_EQ(CatalogueText(two), "102*Setup.exe*12*103*sub dir\\a b.txt*4294967295");
}

}  // namespace
}  // namespace lantern::pack
