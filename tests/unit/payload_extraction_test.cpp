// Extraction's decisions with a fake system: the order files are written in,
// the first failure that stops it, and the result and log lines of every
// fault, including those Wine cannot produce (a resource that cannot be
// found, loaded or locked; a read-only file that an administrator's process
// cannot replace).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/payload_compression.h"
#include "memory_log.h"
#include "payload/extraction.h"
#include "std_threads.h"
#include "zstd_frames.h"

namespace lantern {
namespace {

using testing_fakes::MemoryLog;
using testing_fakes::StdThreads;

// A name as the file system compares it, for the names these tests use.
std::wstring Upper(std::wstring name) {
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
  return name;
}

// Whether two names are one file, or one is a folder on the other's path.
bool Clash(const std::wstring& a, const std::wstring& b) {
  const std::wstring& shorter = a.size() < b.size() ? a : b;
  const std::wstring& longer = a.size() < b.size() ? b : a;
  return longer.compare(0, shorter.size(), shorter) == 0 &&
         (longer.size() == shorter.size() || longer[shorter.size()] == L'\\');
}

class FakePayloadSystem final : public PayloadSystem {
 public:
  // The program's resources by id; the enumeration reports them in ascending order.
  std::map<std::uint32_t, std::string> resources;
  bool enumeration_fails = false;
  std::map<std::uint32_t, MapFailure> map_failures;
  std::set<std::wstring> cannot_create;                // such as a read-only file of the same name
  std::map<std::wstring, std::uint32_t> short_writes;  // bytes the disk takes before it is full
  std::set<std::wstring> slow;                         // writes that take a while
  WorkerThreads* threads = nullptr;
  std::optional<std::string> compression_list;  // the list's bytes, when there is one
  bool compression_list_fails = false;
  std::optional<std::string> dictionary;  // the stored dictionary's bytes, when there is one
  bool dictionary_fails = false;
  int dictionary_maps = 0;
  bool no_decoder = false;  // as in the plain stub, built without one

  // What happened, by file name.
  std::vector<std::pair<std::wstring, std::string>> files_written;
  int maps = 0;  // resources mapped
  // Writes that overlapped one of the same file, or of a file where the other
  // makes a folder.
  std::vector<std::pair<std::wstring, std::wstring>> clashes;

  bool EnumerateResources(ResourceList& list) override {
    if (enumeration_fails) return false;
    MemoryLog scratch;
    for (const auto& [id, bytes] : resources) AddResourceName(list, L"TOOLKIT", id, scratch.log);
    return true;
  }
  MapFailure MapResource(const CResource& resource, MappedBytes& bytes) override {
    std::lock_guard lock(mutex_);
    ++maps;
    if (const auto failure = map_failures.find(resource.id); failure != map_failures.end())
      return failure->second;
    const std::string& data = resources.at(resource.id);
    bytes.data = data.data();
    bytes.size = static_cast<std::uint32_t>(data.size());
    return MapFailure::None;
  }
  ListRead ReadCompressionList(std::string& text) override {
    if (compression_list_fails) return ListRead::Failed;
    if (!compression_list) return ListRead::Absent;
    text = *compression_list;
    return ListRead::Read;
  }
  ListRead MapDictionary(MappedBytes& bytes) override {
    ++dictionary_maps;
    if (dictionary_fails) return ListRead::Failed;
    if (!dictionary) return ListRead::Absent;
    bytes.data = dictionary->data();
    bytes.size = static_cast<std::uint32_t>(dictionary->size());
    return ListRead::Read;
  }
  std::wstring WorkingFolderPath() override { return L"W:\\f"; }
  std::wstring GetFilePath(const std::wstring& file_name) override {
    return file_name.find(L"..") == std::wstring::npos ? L"W:\\f\\" + file_name : L"";
  }
  WriteResult WritePayloadFile(const std::wstring& file_name, const MappedBytes& bytes) override {
    const std::wstring key = Upper(file_name);
    {
      std::lock_guard lock(mutex_);
      for (const std::wstring& other : writing_) {
        if (Clash(key, other)) clashes.emplace_back(key, other);
      }
      writing_.insert(key);
    }
    // Long enough for a write that should wait to start if it does not.
    if (slow.count(file_name)) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::lock_guard lock(mutex_);
    writing_.erase(key);
    if (cannot_create.count(file_name)) return {false, 0, 5};
    WriteResult result{true, bytes.size, 0};
    if (const auto room = short_writes.find(file_name); room != short_writes.end()) {
      result.written = room->second;
      result.error = 112;  // the disk is full
    }
    files_written.emplace_back(file_name, std::string(static_cast<const char*>(bytes.data), result.written));
    return result;
  }
  // Decodes with the real decoder into memory; a short write stops it as a full disk does.
  WriteResult WriteDecodedFile(const std::wstring& file_name, const MappedBytes& bytes, std::uint32_t limit,
                               const DecodingDictionary* shared) override {
    if (cannot_create.count(file_name)) return {false, 0, 5};
    if (no_decoder) {
      files_written.emplace_back(file_name, "");
      WriteResult result{true, 0, 0};
      result.decoded = DecodeStatus::NoDecoder;
      return result;
    }
    struct Memory final : DecodedBytesWriter {
      std::string bytes;
      std::optional<std::uint32_t> room;
      bool Write(const void* data, std::size_t size, std::uint32_t& error) override {
        const std::size_t taken = room ? std::min<std::size_t>(size, *room - bytes.size()) : size;
        bytes.append(static_cast<const char*>(data), taken);
        if (taken == size) return true;
        error = 112;  // the disk is full
        return false;
      }
    } memory;
    if (const auto room = short_writes.find(file_name); room != short_writes.end())
      memory.room = room->second;
    const DecodeResult decoded = DecodeToWriter(bytes.data, bytes.size, limit, memory, shared);
    files_written.emplace_back(file_name, memory.bytes);
    WriteResult result{true, static_cast<std::uint32_t>(memory.bytes.size()), decoded.write_error};
    result.decoded = decoded.status;
    result.decoder_error = decoded.decoder_error;
    return result;
  }

  WorkerThreads* Threads() override { return threads; }

 private:
  std::mutex mutex_;
  std::multiset<std::wstring> writing_;
};

class ExtractionTest : public ::testing::Test {
 protected:
  ResultCode Extract() { return ExtractResources(list_, system_, program_path_, memory_.log); }
  std::vector<std::wstring> WrittenPaths() const {
    std::vector<std::wstring> paths;
    for (const auto& [path, bytes] : system_.files_written) paths.push_back(path);
    return paths;
  }
  // The log after the enumeration's own lines.
  std::wstring LinesAfterEnumeration() const {
    const std::wstring& lines = memory_.Lines();
    const std::wstring ok = L"Enumerate Resources OK \n";
    const std::size_t at = lines.find(ok);
    return at == std::wstring::npos ? lines : lines.substr(at + ok.size());
  }

  FakePayloadSystem system_;
  MemoryLog memory_;
  ResourceList list_;
  std::wstring program_path_;
};

TEST_F(ExtractionTest, WritesEveryListedResourceFromTheHighestIdAndHandsBackTheProgram) {
  system_.resources = {{101, "102*a.bin*3*103*Front.exe*2*104*sub\\c.txt*0*105*Front.exe.config*1"},
                       {102, "abc"},
                       {103, "MZ"},
                       {104, ""},
                       {105, "x"},
                       {106, "unlisted"}};

  EXPECT_EQ(Extract(), rc::Ok);
  EXPECT_EQ(program_path_, L"W:\\f\\Front.exe");
  EXPECT_EQ(system_.files_written,
            (std::vector<std::pair<std::wstring, std::string>>{
                {L"Front.exe.config", "x"}, {L"sub\\c.txt", ""}, {L"Front.exe", "MZ"}, {L"a.bin", "abc"}}));
  EXPECT_EQ(LinesAfterEnumeration(),
            L"Work Out FileName Front.exe.config, Bytes 1\n"
            L"Work Out FileName sub\\c.txt, Bytes 0\n"
            L"Work Out FileName Front.exe, Bytes 2\n"
            L"Work Out FileName a.bin, Bytes 3\n"
            L"WorkOutFileNames 0\n"
            L"W:\\f\\Front.exe.config written Ok\n"
            L"Extract File Front.exe.config 0\n"
            L"W:\\f\\sub\\c.txt written Ok\n"
            L"Extract File sub\\c.txt 0\n"
            L"W:\\f\\Front.exe written Ok\n"
            L"Extract File Front.exe 0\n"
            L"W:\\f\\a.bin written Ok\n"
            L"Extract File a.bin 0\n");
}

TEST_F(ExtractionTest, TwoEntriesWithOneNameLeaveTheLowerIdsBytes) {
  system_.resources = {{101, "102*same.txt*3*103*same.txt*4"}, {102, "low"}, {103, "high"}};
  EXPECT_EQ(Extract(), rc::Ok);
  ASSERT_EQ(system_.files_written.size(), 2u);
  EXPECT_EQ(system_.files_written.back().second, "low");
}

TEST_F(ExtractionTest, NothingToEnumerateWritesNothing) {
  system_.enumeration_fails = true;
  EXPECT_EQ(Extract(), rc::Fail);
  EXPECT_EQ(memory_.Lines(), L"Enumerate Resources has failed\n");
}

TEST_F(ExtractionTest, ACatalogueThatCannotBeReadNamesAndWritesNothing) {
  using Failure = PayloadSystem::MapFailure;
  const struct {
    Failure failure;
    const wchar_t* line;
  } cases[] = {{Failure::Find, L"ExtractSelf FindResource has failed\n"},
               {Failure::Load, L"ExtractSelf LoadResource has failed\n"},
               {Failure::Lock, L"ExtractSelf LockResource has failed\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.failure));
    FakePayloadSystem system;
    system.resources = {{101, "102*a.exe*3"}, {102, "abc"}};
    system.map_failures[101] = c.failure;
    MemoryLog memory;
    ResourceList list;
    std::wstring program_path;
    EXPECT_EQ(ExtractResources(list, system, program_path, memory.log), rc::Fail);
    EXPECT_TRUE(system.files_written.empty());
    EXPECT_TRUE(program_path.empty());
    for (const CResource& resource : list) {
      EXPECT_TRUE(resource.file_name.empty());
    }
    EXPECT_EQ(memory.Lines(),
              L"Enumerate Resources OK \n" + std::wstring(c.line) + L"WorkOutFileNames 80004005\n");
  }
}

TEST_F(ExtractionTest, WithoutACatalogueOrWithAnEmptyOneNothingIsNamedOrWritten) {
  const struct {
    const char* what;
    std::map<std::uint32_t, std::string> resources;
    int maps;  // only a catalogue that is there is read
  } cases[] = {{"no catalogue", {{102, "102*a.exe*3"}, {103, "abc"}}, 0},
               {"an empty catalogue", {{101, ""}, {102, "abc"}}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePayloadSystem system;
    system.resources = c.resources;
    MemoryLog memory;
    ResourceList list;
    std::wstring program_path;
    EXPECT_EQ(ExtractResources(list, system, program_path, memory.log), rc::Ok);
    EXPECT_EQ(system.maps, c.maps);
    EXPECT_TRUE(system.files_written.empty());
    EXPECT_TRUE(program_path.empty());
    EXPECT_EQ(memory.Lines(), L"Enumerate Resources OK \nWorkOutFileNames 0\n");
  }
}

// One faulty entry (id 103) above a good one (id 102), which must then never be written.
TEST_F(ExtractionTest, EachFaultGivesItsResultAndLinesAndStopsTheExtraction) {
  using Failure = PayloadSystem::MapFailure;
  struct Case {
    const char* what;
    const char* catalogue;
    void (*arrange)(FakePayloadSystem&);
    ResultCode result;
    const wchar_t* lines;  // the log after "WorkOutFileNames 0\n"
    bool written;          // a file for id 103 was created
  };
  const Case cases[] = {
      {"not found", "102*a.bin*3*103*b.bin*4",
       [](FakePayloadSystem& s) { s.map_failures[103] = Failure::Find; }, rc::Fail,
       L"FindResource has failed\nExtract File b.bin 80004005\n", false},
      {"not loaded", "102*a.bin*3*103*b.bin*4",
       [](FakePayloadSystem& s) { s.map_failures[103] = Failure::Load; }, rc::Fail,
       L"ResourceLoaded has failed\nExtract File b.bin 80004005\n", false},
      {"not locked", "102*a.bin*3*103*b.bin*4",
       [](FakePayloadSystem& s) { s.map_failures[103] = Failure::Lock; }, rc::Fail,
       L"LockResource has failed\nExtract File b.bin 80004005\n", false},
      {"read-only file of that name", "102*a.bin*3*103*b.bin*4",
       [](FakePayloadSystem& s) { s.cannot_create.insert(L"b.bin"); }, rc::Fail,
       L"W:\\f\\b.bin Create file has failed\nExtract File b.bin 80004005\n", false},
      {"name leaves the folder", "102*a.bin*3*103*..\\b.bin*4", [](FakePayloadSystem&) {}, rc::Fail,
       L"W:\\f\\..\\b.bin Create file has failed\nExtract File ..\\b.bin 80004005\n", false},
      {"disk full", "102*a.bin*3*103*b.bin*4", [](FakePayloadSystem& s) { s.short_writes[L"b.bin"] = 1; },
       rc::Fail, L"W:\\f\\b.bin Short write 1 of 4 bytes, error 112\nExtract File b.bin 80004005\n", true},
      {"size one byte too large", "102*a.bin*3*103*b.bin*5", [](FakePayloadSystem&) {}, rc::FileCorrupt,
       L"W:\\f\\b.bin Write file has failed\nExtract File b.bin 80040167\n", true},
      {"size one byte too small", "102*a.bin*3*103*b.bin*3", [](FakePayloadSystem&) {}, rc::FileCorrupt,
       L"W:\\f\\b.bin Write file has failed\nExtract File b.bin 80040167\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePayloadSystem system;
    system.resources = {{101, c.catalogue}, {102, "abc"}, {103, "bbbb"}};
    c.arrange(system);
    MemoryLog memory;
    ResourceList list;
    std::wstring program_path;
    EXPECT_EQ(ExtractResources(list, system, program_path, memory.log), c.result);
    const std::wstring& lines = memory.Lines();
    const std::wstring names_done = L"WorkOutFileNames 0\n";
    ASSERT_NE(lines.find(names_done), std::wstring::npos);
    EXPECT_EQ(lines.substr(lines.find(names_done) + names_done.size()), c.lines);
    EXPECT_EQ(system.files_written.size(), c.written ? 1u : 0u);
  }
}

// A catalogue of `count` files named f00.bin, f01.bin, ... (the first
// written first) with some in sub-folders, and their resources.
void ManyFiles(FakePayloadSystem& system, int count) {
  std::string catalogue;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t id = 102 + static_cast<std::uint32_t>(count - 1 - i);
    const std::string name =
        (i % 3 == 2 ? "sub\\f" : "f") + std::string(i < 10 ? "0" : "") + std::to_string(i);
    const std::string bytes(static_cast<std::size_t>(i), 'x');
    catalogue += (catalogue.empty() ? "" : "*") + std::to_string(id) + "*" + name + ".bin*" +
                 std::to_string(bytes.size());
    system.resources[id] = bytes;
  }
  system.resources[101] = catalogue;
}

struct Extraction {
  ResultCode result;
  std::wstring lines;
  std::set<std::pair<std::wstring, std::string>> files;
};

Extraction ExtractWith(FakePayloadSystem& system) {
  MemoryLog memory;
  ResourceList list;
  std::wstring program_path;
  Extraction done;
  done.result = ExtractResources(list, system, program_path, memory.log);
  done.lines = memory.Lines();
  done.files.insert(system.files_written.begin(), system.files_written.end());
  return done;
}

// On several threads the result and the log are exactly those of one thread,
// with slow writes early on and a failure in the middle alike; a file that
// one thread would not have reached may have been written meanwhile, but no
// line tells of it.
TEST(ExtractionOnThreads, GivesTheResultAndLogOfTheSequentialOrder) {
  const struct {
    const char* what;
    void (*arrange)(FakePayloadSystem&);
    ResultCode result;
  } cases[] = {
      {"all written", [](FakePayloadSystem&) {}, rc::Ok},
      {"early writes slow",
       [](FakePayloadSystem& s) {
         s.slow = {L"f00.bin", L"f01.bin"};
       },
       rc::Ok},
      {"a file cannot be made",
       [](FakePayloadSystem& s) {
         s.cannot_create = {L"f09.bin"};
         s.slow = {L"f07.bin"};
       },
       rc::Fail},
      {"two failures, the later one first",
       [](FakePayloadSystem& s) {
         s.short_writes[L"f06.bin"] = 1;
         s.slow = {L"f06.bin"};
         s.cannot_create = {L"f07.bin"};
       },
       rc::Fail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePayloadSystem one;
    ManyFiles(one, 30);
    c.arrange(one);
    one.slow.clear();
    const Extraction sequential = ExtractWith(one);
    EXPECT_EQ(sequential.result, c.result);

    FakePayloadSystem several;
    ManyFiles(several, 30);
    c.arrange(several);
    StdThreads threads;
    several.threads = &threads;
    const Extraction threaded = ExtractWith(several);
    EXPECT_EQ(threaded.result, sequential.result);
    EXPECT_EQ(threaded.lines, sequential.lines);
    for (const auto& file : sequential.files) {
      EXPECT_EQ(threaded.files.count(file), 1u);
    }
    if (c.result == rc::Ok) {
      EXPECT_EQ(threaded.files, sequential.files);
    }
    EXPECT_TRUE(several.clashes.empty());
  }
}

// Two entries of one name, in any case, end with the lower id's bytes, and a
// file where another entry makes a folder fails as it does on one thread:
// such writes never overlap, however slow the first.
TEST(ExtractionOnThreads, WritesToOneFileOrItsFolderStayInOrder) {
  FakePayloadSystem system;
  system.resources = {
      {101, "102*same.txt*3*103*a*1*104*Same.TXT*4*105*A\\b.bin*1*106*b\\c.bin*1*107*a\\c.bin*1"},
      {102, "low"},
      {103, "a"},
      {104, "high"},
      {105, "b"},
      {106, "c"},
      {107, "c"}};
  system.slow = {L"Same.TXT", L"a\\c.bin", L"A\\b.bin"};
  StdThreads threads;
  system.threads = &threads;
  const Extraction done = ExtractWith(system);
  EXPECT_EQ(done.result, rc::Ok);
  EXPECT_TRUE(system.clashes.empty());
  std::string last_same;
  for (const auto& [name, bytes] : system.files_written) {
    if (Upper(name) == L"SAME.TXT") last_same = bytes;
  }
  EXPECT_EQ(last_same, "low");
}

TEST_F(ExtractionTest, ACompressedBuildDecodesTheListedFilesAndWritesTheOthersAsTheyAre) {
  // Larger than one decoded piece, so that it is written in several.
  const std::string big = testing_fakes::Compressible(kDecodedPieceSize * 2 + 123);
  const std::string small = "a small file that compresses";
  system_.resources = {{101, "102*Front.exe*2*103*big.bin*" + std::to_string(big.size()) + "*104*small.txt*" +
                                 std::to_string(small.size()) + "*105*empty.bin*0"},
                       {102, "MZ"},
                       {103, testing_fakes::ZstdFrame(big)},
                       {104, testing_fakes::ZstdFrame(small)},
                       {105, ""}};
  system_.compression_list = "zstd*103*104";

  EXPECT_EQ(Extract(), rc::Ok);
  EXPECT_EQ(system_.files_written,
            (std::vector<std::pair<std::wstring, std::string>>{
                {L"empty.bin", ""}, {L"small.txt", small}, {L"big.bin", big}, {L"Front.exe", "MZ"}}));
  const std::wstring lines = LinesAfterEnumeration();
  EXPECT_NE(lines.find(L"WorkOutFileNames 0\nCompressed files 2\nW:\\f\\empty.bin written Ok\n"),
            std::wstring::npos)
      << lines;
  EXPECT_NE(lines.find(L"W:\\f\\big.bin written Ok\nExtract File big.bin 0\n"), std::wstring::npos) << lines;
}

// A compressed file (id 103) above a plain one (id 102), which must then never be written.
TEST_F(ExtractionTest, EachFaultOfACompressedFileGivesItsResultAndLinesAndStopsTheExtraction) {
  const std::string data = testing_fakes::Compressible(5000);
  const std::string frame = testing_fakes::ZstdFrame(data);
  std::string damaged = frame;
  damaged[damaged.size() / 2] ^= 0x55;
  const std::string big = testing_fakes::Compressible(5u << 20);  // needs an 8 MB window
  const std::string size = std::to_string(data.size());
  struct Case {
    const char* what;
    std::string bytes;
    std::string catalogue_size;
    std::uint32_t room;  // what the disk takes, 0: all
    ResultCode result;
    std::wstring line;  // before "Extract File ..."
    std::size_t written;
  };
  const Case cases[] = {
      {"damaged", damaged, size, 0, rc::Fail, L"Decoding has failed: the compressed data is damaged", 0},
      {"cut short", frame.substr(0, frame.size() - 9), size, 0, rc::Fail,
       L"Decoding has failed: the compressed data ends early", 0},
      {"empty", "", "0", 0, rc::Fail, L"Decoding has failed: the compressed data ends early", 0},
      {"not zstd", "plain bytes, not a frame", size, 0, rc::Fail,
       L"Decoding has failed: the compressed data is damaged", 0},
      {"window too large", testing_fakes::ZstdFrame(big, 23), std::to_string(big.size()), 0, rc::Fail,
       L"Decoding has failed: it needs a larger decoding window than this build allows", 0},
      {"catalogue one byte larger", frame, std::to_string(data.size() + 1), 0, rc::FileCorrupt,
       L"Write file has failed", data.size()},
      {"catalogue one byte smaller", frame, std::to_string(data.size() - 1), 0, rc::FileCorrupt,
       L"Write file has failed", 0},
      {"disk full", frame, size, 100, rc::Fail, L"Short write 100 of 5000 bytes, error 112", 100},
      {"no decoder", frame, size, 0, rc::Fail, L"Decoding has failed: this bootstrapper has no decoder", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePayloadSystem system;
    system.resources = {{101, "102*a.bin*3*103*b.bin*" + c.catalogue_size}, {102, "abc"}, {103, c.bytes}};
    system.compression_list = "zstd*103";
    if (c.room) system.short_writes[L"b.bin"] = c.room;
    system.no_decoder = std::string_view(c.what) == "no decoder";
    MemoryLog memory;
    ResourceList list;
    std::wstring program_path;
    EXPECT_EQ(ExtractResources(list, system, program_path, memory.log), c.result);
    const std::wstring& lines = memory.Lines();
    const std::wstring marked = L"Compressed files 1\n";
    ASSERT_NE(lines.find(marked), std::wstring::npos);
    std::wstring expected = L"W:\\f\\b.bin " + c.line;
    if (c.line.starts_with(L"Decoding")) expected += L", error ";
    EXPECT_TRUE(lines.substr(lines.find(marked) + marked.size()).starts_with(expected)) << lines;
    EXPECT_NE(
        lines.find(L"Extract File b.bin " + std::wstring(c.result == rc::Fail ? L"80004005" : L"80040167")),
        std::wstring::npos);
    ASSERT_EQ(system.files_written.size(), 1u);
    EXPECT_EQ(system.files_written[0].second.size(), c.written);
  }
}

TEST_F(ExtractionTest, ACompressionListThatCannotBeReadOrUnderstoodWritesNothing) {
  const struct {
    const char* what;
    std::optional<std::string> list;
    bool fails;
    const wchar_t* line;
  } cases[] = {{"unreadable", std::nullopt, true, L"Compression list cannot be read\n"},
               {"another method", "lz4*102", false, L"Compression list is not understood\n"},
               {"a broken id", "zstd*10x", false, L"Compression list is not understood\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePayloadSystem system;
    system.resources = {{101, "102*a.exe*3"}, {102, "abc"}};
    system.compression_list = c.list;
    system.compression_list_fails = c.fails;
    MemoryLog memory;
    ResourceList list;
    std::wstring program_path;
    EXPECT_EQ(ExtractResources(list, system, program_path, memory.log), rc::Fail);
    EXPECT_TRUE(system.files_written.empty());
    EXPECT_TRUE(memory.Lines().ends_with(std::wstring(L"WorkOutFileNames 0\n") + c.line)) << memory.Lines();
  }
}

// Files that refer to a shared dictionary, beside one made on its own and
// one stored as it is.
TEST_F(ExtractionTest, ADictionaryBuildDecodesTheDictionaryOnceBeforeItsFiles) {
  const std::string content = testing_fakes::Compressible(kDecodedPieceSize + 5000);
  const std::string big = content.substr(100) + content.substr(0, 1000);
  const std::string small = content.substr(7000, 3000);
  system_.resources = {{101, "102*Front.exe*2*103*big.bin*" + std::to_string(big.size()) + "*104*small.txt*" +
                                 std::to_string(small.size()) + "*105*own.txt*3"},
                       {102, "MZ"},
                       {103, testing_fakes::ZstdFrameWithDictionary(big, content)},
                       {104, testing_fakes::ZstdFrameWithDictionary(small, content)},
                       {105, testing_fakes::ZstdFrame("own")}};
  system_.compression_list = "zstd-dict*103*104*105";
  system_.dictionary = testing_fakes::ZstdFrame(content);

  EXPECT_EQ(Extract(), rc::Ok);
  EXPECT_EQ(system_.files_written,
            (std::vector<std::pair<std::wstring, std::string>>{
                {L"own.txt", "own"}, {L"small.txt", small}, {L"big.bin", big}, {L"Front.exe", "MZ"}}));
  EXPECT_EQ(system_.dictionary_maps, 1);
  const std::wstring lines = LinesAfterEnumeration();
  EXPECT_NE(lines.find(L"WorkOutFileNames 0\nCompressed files 3\nCompression dictionary " +
                       std::to_wstring(content.size()) + L" bytes\nW:\\f\\own.txt written Ok\n"),
            std::wstring::npos)
      << lines;
}

// Without the dictionary no file that needs it can be written: nothing is.
TEST_F(ExtractionTest, ADictionaryThatIsMissingOrCannotBeDecodedWritesNothing) {
  const std::string content = testing_fakes::Compressible(20000);
  std::string damaged = testing_fakes::ZstdFrame(content);
  damaged[damaged.size() / 2] ^= 0x55;
  const struct {
    const char* what;
    std::optional<std::string> dictionary;
    bool fails;
    std::wstring line;
  } cases[] = {
      {"missing", std::nullopt, false, L"Compression dictionary is missing\n"},
      {"unreadable", std::nullopt, true, L"Compression dictionary cannot be read\n"},
      {"damaged", damaged, false,
       L"Compression dictionary cannot be decoded: the compressed data is damaged, error "},
      {"cut short", testing_fakes::ZstdFrame(content).substr(0, 40), false,
       L"Compression dictionary cannot be decoded: the compressed data ends early, error "},
      {"too large", testing_fakes::ZstdFrame(std::string(kMaxDictionaryBytes + 1, 'x')), false,
       L"Compression dictionary cannot be decoded: the dictionary is larger than this build allows, error "
       L"0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePayloadSystem system;
    system.resources = {{101, "102*a.bin*3*103*b.bin*" + std::to_string(content.size())},
                        {102, "abc"},
                        {103, testing_fakes::ZstdFrameWithDictionary(content, content)}};
    system.compression_list = "zstd-dict*103";
    system.dictionary = c.dictionary;
    system.dictionary_fails = c.fails;
    MemoryLog memory;
    ResourceList list;
    std::wstring program_path;
    EXPECT_EQ(ExtractResources(list, system, program_path, memory.log), rc::Fail);
    EXPECT_TRUE(system.files_written.empty());
    const std::wstring& lines = memory.Lines();
    const std::wstring before = L"WorkOutFileNames 0\nCompressed files 1\n";
    ASSERT_NE(lines.find(before), std::wstring::npos) << lines;
    EXPECT_TRUE(lines.substr(lines.find(before) + before.size()).starts_with(c.line)) << lines;
  }
}

}  // namespace
}  // namespace lantern
