// The diagnostic log's states, on real files in a scratch folder: lines wait in
// memory until a file opens, the file is kept, switched, closed and reopened
// for appending, and the bytes on disk are ANSI text with CR LF line ends.
#include "log/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace lantern {
namespace {

namespace fs = std::filesystem;

class DiagnosticLogFiles : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    do {
      folder_ = fs::temp_directory_path() / ("lantern-log-test-" + std::to_string(random()));
    } while (!fs::create_directory(folder_));
  }
  void TearDown() override {
    log_.CloseLogFile();  // an open file could not be removed on Windows
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::wstring PathOf(const fs::path& name) const { return (folder_ / name).wstring(); }

  static std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static void AppendBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
  }

  fs::path folder_;
  PlatformLogSystem system_;
  DiagnosticLog log_{system_};
};

TEST_F(DiagnosticLogFiles, WithoutALogFileLinesStayInMemory) {
  log_.LogText(L"Started 5\n");
  log_.LogFormat(L"Keep '%s'\n", L"0");
  log_.ReopenLogFile();  // no file was ever named

  EXPECT_FALSE(log_.IsOpen());
  EXPECT_EQ(log_.Pending(), L"Started 5\nKeep '0'\n");
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(DiagnosticLogFiles, OpeningWritesThePendingLinesFirst) {
  const std::wstring path = PathOf("run.log");
  log_.LogText(L"Command line params log\n\nTemp folder 'C:\\Temp\\'\n");
  log_.OpenLogFile(path);

  EXPECT_TRUE(log_.IsOpen());
  EXPECT_EQ(log_.Path(), path);
  EXPECT_EQ(log_.Pending(), L"");
  log_.LogFormat(L"Started %ld\n", 0xFFFFFFFFu);
  log_.LogText(L"two\nlines\n");
  log_.CloseLogFile();

  EXPECT_EQ(Contents(path),
            "Command line params log\r\n\r\nTemp folder 'C:\\Temp\\'\r\nStarted -1\r\ntwo\r\nlines\r\n");
}

TEST_F(DiagnosticLogFiles, AnUnopenablePathLeavesTheLogClosedUntilAGoodOne) {
  const std::wstring missing = PathOf(fs::path("no-such-folder") / "run.log");
  log_.LogText(L"one\n");
  log_.OpenLogFile(missing);

  EXPECT_FALSE(log_.IsOpen());
  EXPECT_EQ(log_.Path(), missing);
  log_.LogText(L"two\n");
  EXPECT_EQ(log_.Pending(), L"one\ntwo\n");
  EXPECT_TRUE(fs::is_empty(folder_));

  const std::wstring good = PathOf("run.log");
  log_.OpenLogFile(good);
  log_.LogText(L"three\n");
  log_.CloseLogFile();
  EXPECT_EQ(Contents(good), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(DiagnosticLogFiles, TheSamePathAgainKeepsTheFileOpenAndUntruncated) {
  const std::wstring path = PathOf("run.log");
  log_.OpenLogFile(path);
  log_.LogText(L"first parse\n");
  log_.OpenLogFile(path);  // the worker's parse of the same command line

  EXPECT_TRUE(log_.IsOpen());
  log_.LogText(L"second parse\n");
  log_.CloseLogFile();
  EXPECT_EQ(Contents(path), "first parse\r\nsecond parse\r\n");
}

TEST_F(DiagnosticLogFiles, ADifferentPathClosesTheOldFile) {
  const std::wstring first = PathOf("first.log");
  const std::wstring second = PathOf("second.log");
  log_.OpenLogFile(first);
  log_.LogText(L"to the first\n");
  log_.OpenLogFile(second);

  EXPECT_TRUE(log_.IsOpen());
  EXPECT_EQ(log_.Path(), second);
  // Closed, so its buffered line is already on disk.
  EXPECT_EQ(Contents(first), "to the first\r\n");
  log_.LogText(L"to the second\n");
  log_.CloseLogFile();
  EXPECT_EQ(Contents(first), "to the first\r\n");
  EXPECT_EQ(Contents(second), "to the second\r\n");
}

// The front end writes to the file while the log is closed; the log's later
// lines follow the front end's.
TEST_F(DiagnosticLogFiles, ReopeningAppendsAfterWhatOthersWrote) {
  const std::wstring path = PathOf("run.log");
  log_.OpenLogFile(path);
  log_.LogText(L"Starting the front end\n");
  log_.CloseLogFile();

  EXPECT_FALSE(log_.IsOpen());
  EXPECT_EQ(Contents(path), "Starting the front end\r\n");
  AppendBytes(path, "front end line\r\n");

  log_.ReopenLogFile();
  EXPECT_TRUE(log_.IsOpen());
  log_.LogText(L"Front end returned 0\n");
  log_.CloseLogFile();
  EXPECT_EQ(Contents(path), "Starting the front end\r\nfront end line\r\nFront end returned 0\r\n");
}

TEST_F(DiagnosticLogFiles, AFailedReopenLeavesTheLogClosed) {
  const fs::path sub = folder_ / "held";
  fs::create_directory(sub);
  const std::wstring path = (sub / "run.log").wstring();
  log_.OpenLogFile(path);
  log_.CloseLogFile();
  fs::remove_all(sub);

  log_.ReopenLogFile();
  EXPECT_FALSE(log_.IsOpen());
  log_.LogText(L"kept in memory\n");
  EXPECT_EQ(log_.Pending(), L"kept in memory\n");
  EXPECT_FALSE(fs::exists(sub));
}

TEST_F(DiagnosticLogFiles, CharactersOutsideTheCodePageBecomeTheDefaultCharacter) {
  if (system_.ToAnsi(L"\u00e9") != std::string("\xe9")) {
    GTEST_SKIP() << "the ANSI code page here is not 1252";
  }
  const std::wstring path = PathOf("run.log");
  log_.LogText(L"pending \u4e2d\n");
  log_.OpenLogFile(path);
  log_.LogText(L"caf\u00e9 \u20ac5 \u4e2d end\n");
  log_.CloseLogFile();

  EXPECT_EQ(Contents(path),
            "pending ?\r\ncaf\xe9 \x80"
            "5 ? end\r\n");
}

// The system cannot be made to fail a conversion to its code page, so a fake
// one does; it also counts the files it opens.
class FakeLogSystem final : public LogSystem {
 public:
  class File final : public LogFile {
   public:
    explicit File(std::string& disk) : disk_(disk) {}
    void Write(std::string_view bytes) override { disk_.append(bytes); }

   private:
    std::string& disk_;
  };

  std::optional<std::string> ToAnsi(std::wstring_view text) override {
    if (text.find(L'\uFFFF') != std::wstring_view::npos) {
      return std::nullopt;
    }
    return std::string(text.begin(), text.end());
  }
  std::unique_ptr<LogFile> Open(const std::wstring& path, bool append) override {
    ++opens;
    if (!append) {
      disk.clear();
    }
    last_path = path;
    return std::make_unique<File>(disk);
  }

  std::string disk;
  std::wstring last_path;
  int opens = 0;
};

TEST(DiagnosticLog, ALineTheCodePageRefusesIsStillWrittenWithItsAsciiKept) {
  FakeLogSystem system;
  DiagnosticLog log(system);
  log.LogText(L"pending \uFFFF\u00e9\n");
  log.OpenLogFile(L"run.log");
  log.LogText(L"before\n");
  log.LogText(L"bad \uFFFF\n");
  log.LogText(L"after\n");
  EXPECT_EQ(system.disk, "pending ??\nbefore\nbad ?\nafter\n");
}

TEST(DiagnosticLog, PathsAreComparedExactlyAsTyped) {
  FakeLogSystem system;
  DiagnosticLog log(system);
  log.OpenLogFile(L"C:\\Temp\\Run.log");
  log.OpenLogFile(L"C:\\Temp\\Run.log");
  EXPECT_EQ(system.opens, 1);

  log.OpenLogFile(L"C:\\Temp\\RUN.log");
  EXPECT_EQ(system.opens, 2);
  // Another file, though a code page's best fit would make both "a.log".
  log.OpenLogFile(L"C:\\Temp\\\uFF41.log");
  EXPECT_EQ(system.opens, 3);
  EXPECT_EQ(system.last_path, L"C:\\Temp\\\uFF41.log");
  EXPECT_EQ(log.Path(), L"C:\\Temp\\\uFF41.log");
}

}  // namespace
}  // namespace lantern
