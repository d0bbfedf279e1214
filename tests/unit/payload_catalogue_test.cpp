// The payload catalogue: how its text is read, which names are programs, the
// resource list's order and how the catalogue names the resources.
#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "memory_log.h"
#include "payload/catalogue.h"

namespace lantern {
namespace {

using testing_fakes::MemoryLog;

TEST(ParseCatalogue, ReadsTriplesUnderTheSplittingAndNumberRules) {
  const CResourceFile payload{102, 4096, L"payload.bin"};
  const struct {
    const wchar_t* text;
    std::vector<CResourceFile> records;
  } cases[] = {
      {L"102*payload.bin*4096*103*Frontend.exe*2048*104*Frontend.exe.config*512",
       {payload, {103, 2048, L"Frontend.exe"}, {104, 512, L"Frontend.exe.config"}}},
      {L"102**payload.bin*4096", {payload}},
      {L"*102*payload.bin*4096*", {payload}},
      {L"***102***payload.bin***4096***", {payload}},
      // A trailing id without a name is dropped.
      {L"102*payload.bin*4096*103", {payload}},
      // A later entry for the same id replaces the earlier one.
      {L"102*payload.bin*4096*102*other.bin*10", {{102, 10, L"other.bin"}}},
      // Numbers: leading white space, sign, digits up to the first other character.
      {L" 102*payload.bin* 4096", {payload}},
      {L"102*payload.bin*4096abc", {payload}},
      {L"102*payload.bin*abc", {{102, 0, L"payload.bin"}}},
      {L"102*payload.bin*-1", {{102, 0xFFFFFFFFu, L"payload.bin"}}},
      {L"102*payload.bin*99999999999", {{102, 0x7FFFFFFFu, L"payload.bin"}}},
      {L"abc*payload.bin*4096", {{0, 4096, L"payload.bin"}}},
      // Names are kept exactly, spaces and backslashes included.
      {L"102*my file.bin *10", {{102, 10, L"my file.bin "}}},
      {L"102*lib\\Extra.dll*10", {{102, 10, L"lib\\Extra.dll"}}},
      // A name without a size: stored with size 0, and the reading stops.
      {L"102*payload.bin*4096*103*last.bin", {payload, {103, 0, L"last.bin"}}},
      {L"", {}},
      {L"***", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
    CatalogueMap map;
    EXPECT_EQ(ParseCatalogue(c.text, map), rc::Ok);
    std::vector<CResourceFile> records;
    for (const auto& [id, record] : map) {
      EXPECT_EQ(id, record.id);
      records.push_back(record);
    }
    EXPECT_EQ(records, c.records);
  }
}

TEST(IsProgram, WantsExeAfterTheFirstCharacterInAnyCase) {
  const struct {
    const wchar_t* name;
    bool program;
  } cases[] = {
      {L"Frontend.exe", true},        {L"FRONTEND.EXE", true},
      {L"Frontend.exe.config", true}, {L"a.exe", true},
      {L"lib\\tool.ExE", true},       {L".exe", false},
      {L".exe.config", false},        {L"Frontend.ex", false},
      {L"payload.bin", false},        {L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsProgram(c.name), c.program) << std::string(c.name, c.name + std::wcslen(c.name));
  }
}

TEST(AddResourceName, PutsIdsAtTheHeadAndIgnoresTextNames) {
  MemoryLog memory;
  ResourceList list;
  AddResourceName(list, L"TOOLKIT", 101, memory.log);
  AddResourceName(list, L"TOOLKIT", std::nullopt, memory.log);  // named by a text
  AddResourceName(list, L"TOOLKIT", 129, memory.log);

  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.front().id, 129u);
  EXPECT_EQ(list.back().id, 101u);
  for (const CResource& resource : list) {
    EXPECT_EQ(resource.type, L"TOOLKIT");
    EXPECT_EQ(resource.size, 0u);
    EXPECT_TRUE(resource.file_name.empty());
  }
  EXPECT_EQ(memory.Lines(), L"Enumerate Resources TOOLKIT 65\nEnumerate Resources TOOLKIT 81\n");
}

class WorkOutFileNamesTest : public ::testing::Test {
 protected:
  // Resources as the enumeration leaves them: ascending ids, each at the head.
  void Enumerate(std::initializer_list<std::uint32_t> ids) {
    MemoryLog scratch;
    for (const std::uint32_t id : ids) AddResourceName(list_, L"TOOLKIT", id, scratch.log);
  }
  const CResource& Resource(std::uint32_t id) const {
    for (const CResource& resource : list_) {
      if (resource.id == id) return resource;
    }
    throw std::logic_error("no such resource");
  }

  MemoryLog memory_;
  ResourceList list_;
};

TEST_F(WorkOutFileNamesTest, NamesListedResourcesFromTheHighestIdAndPicksTheLowestProgram) {
  Enumerate({101, 102, 103, 104, 105});

  EXPECT_EQ(
      WorkOutFileNames(
          list_, L"102*payload.bin*4096*103*Frontend.exe*2048*104*Frontend.exe.config*512*999*gone.bin*1",
          memory_.log),
      L"Frontend.exe");
  EXPECT_EQ(Resource(102).file_name, L"payload.bin");
  EXPECT_EQ(Resource(102).size, 4096u);
  EXPECT_EQ(Resource(104).file_name, L"Frontend.exe.config");
  // Neither the catalogue itself nor an unlisted resource gets a name.
  EXPECT_TRUE(Resource(101).file_name.empty());
  EXPECT_TRUE(Resource(105).file_name.empty());
  EXPECT_EQ(memory_.Lines(),
            L"Work Out FileName Frontend.exe.config, Bytes 512\n"
            L"Work Out FileName Frontend.exe, Bytes 2048\n"
            L"Work Out FileName payload.bin, Bytes 4096\n"
            L"WorkOutFileNames 0\n");
}

TEST_F(WorkOutFileNamesTest, AnEmptyCatalogueOrOneWithoutAProgramNamesNoProgram) {
  const struct {
    const wchar_t* text;
    std::size_t named;
  } cases[] = {{L"", 0}, {L"***", 0}, {L"102*payload.bin*4096*103*.exe*1", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
    list_.clear();
    Enumerate({101, 102, 103});
    MemoryLog memory;
    EXPECT_EQ(WorkOutFileNames(list_, c.text, memory.log), std::nullopt);
    std::size_t named = 0;
    for (const CResource& resource : list_) named += resource.file_name.empty() ? 0 : 1;
    EXPECT_EQ(named, c.named);
    if (c.named == 0) {
      EXPECT_EQ(memory.Lines(), L"WorkOutFileNames 0\n");
    }
  }
}

}  // namespace
}  // namespace lantern
