// Which information block a bootstrapper takes from its file: the headers'
// certificate table, a block stamped into the table after signing, a block
// at the end of the signed bytes (sealed, or packed and then signed by
// another tool) and one added after the table.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/embedded_info.h"

namespace lantern {
namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kNtHeaders = 0x80;

void PutU16(Bytes& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<unsigned char>(value);
  bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}
void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  PutU16(bytes, at, value & 0xFFFF);
  PutU16(bytes, at + 2, value >> 16);
}

// The headers of an image whose certificate table is `table_offset` and
// `table_size` (0 and 0: unsigned), PE32 or PE32+, in 1,024 bytes.
Bytes Headers(std::uint32_t table_offset, std::uint32_t table_size, bool pe32_plus = false) {
  Bytes bytes(1024, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  PutU32(bytes, 0x3C, kNtHeaders);
  std::memcpy(bytes.data() + kNtHeaders, "PE\0\0", 4);
  PutU16(bytes, kNtHeaders + 20, pe32_plus ? 240 : 224);  // SizeOfOptionalHeader
  const std::size_t optional = kNtHeaders + 24;
  PutU16(bytes, optional, pe32_plus ? 0x20B : 0x10B);
  const std::size_t count = optional + (pe32_plus ? 108 : 92);
  PutU32(bytes, count, 16);
  PutU32(bytes, count + 4 + 8 * 4, table_offset);
  PutU32(bytes, count + 4 + 8 * 4 + 4, table_size);
  return bytes;
}

void Append(Bytes& bytes, const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

// "MRDC", the information and the six trailing bytes.
std::string Block(const std::string& information) { return "MRDC" + information + std::string(6, '\0'); }

// How a test file is laid out, in order: headers, code, an optional block
// at the end of the signed bytes, an optional certificate table (with an
// optional block stamped at its end, counted in its size), an optional block
// after the table.
struct Layout {
  std::size_t code = 8000;
  std::string sealed;       // "" for none
  std::size_t padding = 0;  // zero bytes a signing tool put before the table
  std::size_t table = 0;    // bytes of the signature; 0: unsigned
  std::string stamped;      // inside the table
  std::string appended;     // after the table
  bool pe32_plus = false;
};

Bytes FileOf(const Layout& layout) {
  Bytes body(layout.code, 'c');
  if (!layout.sealed.empty()) Append(body, Block(layout.sealed));
  body.resize(body.size() + layout.padding, 0);
  const std::uint32_t table_offset = static_cast<std::uint32_t>(1024 + body.size());
  Bytes table(layout.table, 's');
  if (!layout.stamped.empty()) Append(table, Block(layout.stamped));
  const std::uint32_t table_size = layout.table == 0 ? 0 : static_cast<std::uint32_t>(table.size());
  Bytes file = Headers(layout.table == 0 ? 0 : table_offset, table_size, layout.pe32_plus);
  file.insert(file.end(), body.begin(), body.end());
  file.insert(file.end(), table.begin(), table.end());
  if (!layout.appended.empty()) Append(file, Block(layout.appended));
  return file;
}

struct Reads {
  const Bytes& file;
  int count = 0;
  ReadFileBytes Reader() {
    return [this](std::uint64_t offset, std::span<unsigned char> out) {
      ++count;
      if (offset + out.size() > file.size()) return false;
      std::memcpy(out.data(), file.data() + offset, out.size());
      return true;
    };
  }
};

std::string Text(const LocatedInformation& located) {
  return std::string(located.information.begin(), located.information.end());
}

TEST(LocateEmbeddedInformation, TakesTheBlockEachModeTrusts) {
  const std::string xml = "<info sealed=\"yes\"/>";
  const struct Case {
    const char* what;
    Layout layout;
    std::string stamped_takes, sealed_takes;  // "" for nothing
    bool sealed_ignores;                      // the sealed mode logs a block it passed over
  } cases[] = {
      {"unsigned, no block", {}, "", "", false},
      {"unsigned, a block at the end", {.sealed = xml}, xml, xml, false},
      {"signed, no block", {.table = 3000}, "", "", false},
      {"a block stamped into the table", {.table = 3000, .stamped = "<stamped/>"}, "<stamped/>", "", true},
      {"a sealed block and one stamped on top",
       {.sealed = xml, .table = 3000, .stamped = "<stamped/>"},
       "<stamped/>",
       xml,
       true},
      // Packed with a block, then signed by another tool: the block is taken
      // without the signature's bytes after it, whatever the table's size.
      {"a block before a small table", {.sealed = xml, .table = 1500}, xml, xml, false},
      {"a block before a large table", {.sealed = xml, .table = 6000}, xml, xml, false},
      // That tool padded the file to the table's alignment; a sealed block
      // is never padded, so its zero bytes are its own.
      {"a block before padding and the table",
       {.sealed = xml, .padding = 7, .table = 1500},
       xml,
       xml + std::string(7, '\0'),
       false},
      {"a block appended after the table",
       {.sealed = xml, .table = 3000, .appended = "<late/>"},
       xml,
       xml,
       true},
      {"a block stamped into a PE32+ file's table",
       {.sealed = xml, .table = 2000, .stamped = "<stamped/>", .pe32_plus = true},
       "<stamped/>",
       xml,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes file = FileOf(c.layout);
    for (const InformationMode mode : {InformationMode::Stamped, InformationMode::Sealed}) {
      const bool sealed = mode == InformationMode::Sealed;
      SCOPED_TRACE(sealed ? "sealed" : "stamped");
      Reads reads{file};
      const LocatedInformation located = LocateEmbeddedInformation(file.size(), mode, reads.Reader());
      const std::string& expected = sealed ? c.sealed_takes : c.stamped_takes;
      EXPECT_EQ(Text(located), expected);
      EXPECT_EQ(located.ignored_later_block, sealed && c.sealed_ignores);
      if (!expected.empty()) {
        EXPECT_EQ(std::string(file.begin() + static_cast<std::ptrdiff_t>(located.offset),
                              file.begin() + static_cast<std::ptrdiff_t>(located.offset + expected.size())),
                  expected);
      }
    }
  }
}

TEST(LocateEmbeddedInformation, ASmallFileIsNotReadAndUnreadableBytesGiveNothing) {
  Bytes small = FileOf({.code = 4116 - 1024});
  ASSERT_EQ(small.size(), kEmbeddedScanSize);
  Reads reads{small};
  EXPECT_TRUE(
      LocateEmbeddedInformation(small.size(), InformationMode::Stamped, reads.Reader()).information.empty());
  EXPECT_EQ(reads.count, 0);

  const Bytes file = FileOf({.sealed = "<a/>"});
  const ReadFileBytes failing = [](std::uint64_t, std::span<unsigned char>) { return false; };
  EXPECT_TRUE(LocateEmbeddedInformation(file.size(), InformationMode::Sealed, failing).information.empty());
}

TEST(FindCertificateTable, ReadsTheDirectoryOnlyFromHeadersThatHoldIt) {
  const auto with = [](auto change) {
    Bytes head = Headers(5000, 300);
    change(head);
    return head;
  };
  const struct Case {
    const char* what;
    Bytes head;
    std::optional<std::uint64_t> offset;
  } cases[] = {
      {"PE32", Headers(5000, 300), 5000},
      {"PE32+", Headers(5000, 300, true), 5000},
      {"unsigned", Headers(0, 0), std::nullopt},
      {"no MZ", with([](Bytes& h) { h[0] = 'X'; }), std::nullopt},
      {"no PE signature", with([](Bytes& h) { h[kNtHeaders] = 'X'; }), std::nullopt},
      {"an unknown optional header", with([](Bytes& h) { PutU16(h, kNtHeaders + 24, 0x107); }), std::nullopt},
      {"headers beyond the bytes read", with([](Bytes& h) { PutU32(h, 0x3C, 0x3F0); }), std::nullopt},
      {"four directories only", with([](Bytes& h) { PutU32(h, kNtHeaders + 24 + 92, 4); }), std::nullopt},
      {"an optional header too short for the entry",
       with([](Bytes& h) { PutU16(h, kNtHeaders + 20, 96 + 8 * 4); }), std::nullopt},
      {"a table past the end of the file", Headers(5000, 5001), std::nullopt},
      {"a table ending with the file", Headers(5000, 5000), 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto table = FindCertificateTable(c.head, 10000);
    ASSERT_EQ(table.has_value(), c.offset.has_value());
    if (table) {
      EXPECT_EQ(table->offset, *c.offset);
    }
  }
  EXPECT_FALSE(FindCertificateTable(std::span<const unsigned char>(Headers(5000, 300)).first(0x40), 10000));
}

}  // namespace
}  // namespace lantern
