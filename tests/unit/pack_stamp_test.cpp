// Stamping an information block into signed images (tests/fixtures/signed,
// signed by osslsigncode): where the block lands, what stays as it was, the
// checksum, stamping again, every refusal, the files and streams the tool
// uses; and the pieces it is made of: setting an unsigned attribute of a
// signature and writing object identifiers of any size.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/embedded_info.h"
#include "pack/information_block.h"
#include "pack/report.h"
#include "pack/stamp.h"
#include "pack/text.h"
#include "pe/byte_io.h"
#include "pe/certificate_table.h"
#include "pe/der.h"
#include "pe/der_writer.h"
#include "pe/image.h"
#include "pe/signature.h"
#include "pe/signed_data.h"
#include "pe_test_image.h"

namespace lantern::pack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;
using testing_fakes::Get32;
using testing_fakes::Put32;

const std::map<std::string, Bytes>& Fixtures() {
  static const std::map<std::string, Bytes> files = {
#include "signed_fixtures.inc"
  };
  return files;
}

const Bytes& Fixture(const std::string& name) { return Fixtures().at(name); }

const char* const kSignedFixtures[] = {"program_name.exe", "plain.exe", "rfc3161.exe", "countersigned.exe"};

// Information of `size` bytes that reads as XML and holds no marker.
Bytes Information(std::size_t size, char seed = 'a') {
  const std::string unit = std::string("<item name=\"") + seed + "\">text</item>\n";
  std::string text;
  while (text.size() < size) text += unit;
  text.resize(size);
  return Bytes(text.begin(), text.end());
}

Bytes Block(const Bytes& information) {
  auto block = InformationBlock(information, "the information");
  EXPECT_TRUE(block) << block.Message();
  return block ? block.Value() : Bytes{};
}

pe::Image ImageOf(const Bytes& file) {
  pe::SpanSource source(file);
  auto image = pe::ReadImage(source);
  EXPECT_TRUE(image) << image.Message();
  return image ? image.Value() : pe::Image{};
}

pe::Result<Bytes> Stamped(const Bytes& file, const Bytes& block) {
  pe::SpanSource source(file);
  pe::MemorySink sink;
  auto summary = Stamp(source, "'test.exe'", block, sink);
  if (!summary) {
    EXPECT_TRUE(sink.bytes.empty()) << "a refused stamp wrote " << sink.bytes.size() << " bytes";
    return summary.AsFailure();
  }
  EXPECT_EQ(summary->output_size, sink.bytes.size());
  return sink.bytes;
}

// The file with its checksum set to what it should be, or to 0.
Bytes WithChecksum(Bytes file, bool correct) {
  const pe::Image image = ImageOf(file);
  Put32(file, image.ChecksumOffset(), 0);
  if (correct) {
    pe::SpanSource source(file);
    auto checksum = pe::ComputeChecksum(source, image);
    Put32(file, image.ChecksumOffset(), checksum.Value());
  }
  return file;
}

std::optional<pe::SignatureSummary> SignatureOf(const Bytes& file) {
  pe::SpanSource source(file);
  auto signature = pe::ReadSignature(source, ImageOf(file));
  EXPECT_TRUE(signature) << signature.Message();
  return signature ? signature.Value() : std::nullopt;
}

TEST(Stamp, TheBlockEndsTheFileInsideTheSignatureAndNothingElseChanges) {
  for (const char* name : kSignedFixtures) {
    for (const bool checksum : {true, false}) {
      for (const std::size_t size : {std::size_t{1}, std::size_t{2000}, kMaxEmbeddedInformation}) {
        SCOPED_TRACE(std::string(name) + (checksum ? " with a checksum, " : " without a checksum, ") +
                     std::to_string(size) + " bytes");
        const Bytes input = WithChecksum(Fixture(name), checksum);
        const Bytes information = Information(size);
        auto stamped = Stamped(input, Block(information));
        ASSERT_TRUE(stamped) << stamped.Message();
        const Bytes& output = stamped.Value();

        // The bootstrapper finds exactly the information in the file's tail.
        ASSERT_GT(output.size(), kEmbeddedSeekBack);
        std::array<unsigned char, kEmbeddedScanSize> tail{};
        std::copy_n(output.end() - kEmbeddedSeekBack, kEmbeddedScanSize, tail.begin());
        const auto found = FindEmbeddedInformation(tail);
        ASSERT_TRUE(found);
        EXPECT_EQ(Bytes(tail.begin() + found->offset, tail.begin() + found->offset + found->size),
                  information);

        // One entry, 8-aligned, to the very end of the file, no padding after the signature.
        const pe::Image in = ImageOf(input);
        const pe::Image out = ImageOf(output);
        const pe::DataDirectory table = out.Directory(pe::kCertificateDirectory);
        EXPECT_EQ(table.address, in.Directory(pe::kCertificateDirectory).address);
        EXPECT_EQ(table.address % 8, 0u);
        EXPECT_EQ(std::uint64_t{table.address} + table.size, output.size());
        EXPECT_EQ(Get32(output, table.address), table.size);
        EXPECT_EQ(Get32(output, table.address + 4), Get32(input, table.address + 4));  // revision and type
        pe::SpanSource source(output);
        auto entry = pe::ReadSignatureEntry(source, out);
        ASSERT_TRUE(entry) << entry.Message();
        EXPECT_EQ(entry->pkcs7.size() + 8, table.size);

        // Before the table only the table's size and the checksum differ.
        Bytes before_in(input.begin(), input.begin() + table.address);
        Bytes before_out(output.begin(), output.begin() + table.address);
        for (Bytes* bytes : {&before_in, &before_out}) {
          Put32(*bytes, in.DirectoryOffset(pe::kCertificateDirectory) + 4, 0);
          Put32(*bytes, in.ChecksumOffset(), 0);
        }
        EXPECT_EQ(before_in, before_out);
        if (checksum) {
          EXPECT_EQ(out.checksum, pe::ComputeChecksum(source, out).Value());
        } else {
          EXPECT_EQ(out.checksum, 0u);
        }

        // What the signature says, its timestamp too, reads as before.
        const auto was = SignatureOf(input);
        const auto is = SignatureOf(output);
        ASSERT_TRUE(was && is);
        EXPECT_EQ(is->signer_subject, was->signer_subject);
        EXPECT_EQ(is->program_name, was->program_name);
        EXPECT_EQ(is->signing_time, was->signing_time);
        EXPECT_EQ(is->timestamp, was->timestamp);
        EXPECT_EQ(is->timestamp_authority, was->timestamp_authority);
      }
    }
  }
}

TEST(Stamp, StampingAgainReplacesTheBlockAsIfTheFirstHadNeverBeen) {
  for (const char* name : kSignedFixtures) {
    SCOPED_TRACE(name);
    const Bytes input = WithChecksum(Fixture(name), true);
    const Bytes second = Block(Information(7, 'b'));
    auto once = Stamped(input, second);
    auto first = Stamped(input, Block(Information(kMaxEmbeddedInformation)));
    ASSERT_TRUE(once && first);
    pe::SpanSource source(first.Value());
    pe::MemorySink sink;
    auto summary = Stamp(source, "'first.exe'", second, sink);
    ASSERT_TRUE(summary) << summary.Message();
    EXPECT_TRUE(summary->replaced);
    EXPECT_EQ(summary->information_size, 7u);
    EXPECT_EQ(sink.bytes, once.Value());
  }
}

TEST(Stamp, OtherUnsignedAttributesStayInTheirOrderBeforeTheBlock) {
  // The timestamp token's attribute, byte for byte, then the block's.
  const Bytes input = Fixture("rfc3161.exe");
  pe::SpanSource in_source(input);
  auto before = pe::ReadSignatureEntry(in_source, ImageOf(input));
  ASSERT_TRUE(before) << before.Message();
  auto stamped = Stamped(input, Block(Information(300)));
  ASSERT_TRUE(stamped) << stamped.Message();
  pe::SpanSource out_source(stamped.Value());
  auto after = pe::ReadSignatureEntry(out_source, ImageOf(stamped.Value()));
  ASSERT_TRUE(after) << after.Message();

  // The old signature's last element is its unsigned attributes' set: its
  // content comes again, followed by the stamped attribute only.
  const auto attributes = [](const Bytes& pkcs7) {
    pe::der::Fault fault;
    pe::der::Reader top(pkcs7, fault);
    pe::der::Reader info = top.Into(top.Take(pe::der::kSequence, "info"));
    info.Next("type");
    pe::der::Reader wrapper = info.Into(info.Take(pe::der::ContextConstructed(0), "wrapper"));
    pe::der::Reader data = wrapper.Into(wrapper.Take(pe::der::kSequence, "data"));
    pe::der::Element last;
    while (!data.AtEnd()) last = data.Next("field");
    pe::der::Reader signers = data.Into(last);
    pe::der::Element signer;
    while (!signers.AtEnd()) signer = signers.Next("signer");
    pe::der::Reader fields = signers.Into(signer);
    pe::der::Element field;
    while (!fields.AtEnd()) field = fields.Next("signer field");
    EXPECT_FALSE(fault.Any()) << fault.Message();
    EXPECT_EQ(field.tag, pe::der::ContextConstructed(1));
    return Bytes(field.content.begin(), field.content.end());
  };
  const Bytes old_attributes = attributes(before->pkcs7);
  const Bytes new_attributes = attributes(after->pkcs7);
  ASSERT_GT(new_attributes.size(), old_attributes.size());
  EXPECT_EQ(Bytes(new_attributes.begin(), new_attributes.begin() + old_attributes.size()), old_attributes);
  const Bytes block = Block(Information(300));
  const Bytes rest(new_attributes.begin() + old_attributes.size(), new_attributes.end());
  pe::der::Fault fault;
  pe::der::Reader list(rest, fault);
  pe::der::Reader attribute = list.Into(list.Take(pe::der::kSequence, "the stamped attribute"));
  const pe::der::Element type = attribute.Take(pe::der::kObjectId, "its type");
  EXPECT_EQ(pe::der::ObjectId(type, fault, "its type"), kStampedInformationAttribute);
  pe::der::Reader values = attribute.Into(attribute.Take(pe::der::kSet, "its values"));
  const pe::der::Element value = values.Take(pe::der::kOctetString, "its value");
  EXPECT_TRUE(values.AtEnd() && attribute.AtEnd() && list.AtEnd());
  ASSERT_FALSE(fault.Any()) << fault.Message();
  ASSERT_GE(value.content.size(), block.size());
  EXPECT_TRUE(std::equal(block.begin(), block.end(),
                         value.content.end() - static_cast<std::ptrdiff_t>(block.size())));
  EXPECT_TRUE(std::all_of(value.content.begin(),
                          value.content.end() - static_cast<std::ptrdiff_t>(block.size()),
                          [](std::uint8_t byte) { return byte == 0; }));
}

// --- DER put together here, for signatures and tables no signing tool makes ---

Bytes Tlv(std::uint8_t tag, const Bytes& content) { return pe::der::Encode(tag, content); }

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Seq(std::initializer_list<Bytes> parts) { return Tlv(0x30, Join(parts)); }

Bytes Oid(std::string_view dotted) { return Tlv(0x06, pe::der::ObjectIdContent(dotted).value()); }

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes ContentInfo(std::string_view type, const Bytes& content) {
  return Seq({Oid(type), Tlv(0xA0, content)});
}

// The SignedData of `signers` (whole SignerInfo elements), and that in its ContentInfo.
Bytes SignedDataContent(std::initializer_list<Bytes> signers) {
  return Seq({Tlv(0x02, {1}), Tlv(0x31, {}), Seq({Oid("1.2.840.113549.1.7.1")}), Tlv(0x31, Join(signers))});
}

Bytes SignedData(std::initializer_list<Bytes> signers) {
  return ContentInfo("1.2.840.113549.1.7.2", SignedDataContent(signers));
}

// A signer information whose signature is `signature`, with `unsigned_attributes` (the [1] element) if given.
Bytes Signer(std::string_view signature, const Bytes& unsigned_attributes = {}) {
  return Seq({Tlv(0x02, {1}), Seq({Seq({}), Tlv(0x02, {7})}), Seq({Oid("2.16.840.1.101.3.4.2.1")}),
              Seq({Oid("1.2.840.113549.1.1.1")}), Tlv(0x04, Text(signature)), unsigned_attributes});
}

Bytes Attribute(std::string_view type, const Bytes& value) { return Seq({Oid(type), Tlv(0x31, value)}); }

// The certificate table entry that holds `signature`.
Bytes Entry(const Bytes& signature, std::uint16_t type = 2) {
  Bytes entry(8);
  Put32(entry, 0, static_cast<std::uint32_t>(signature.size() + 8));
  entry[5] = 0x02;
  entry[6] = static_cast<std::uint8_t>(type);
  std::copy(signature.begin(), signature.end(), std::back_inserter(entry));
  while (entry.size() % 8 != 0) entry.push_back(0);
  return entry;
}

Bytes ImageWithTable(const Bytes& table) {
  testing_fakes::TestImageShape shape;
  shape.sections = {{".text", testing_fakes::TestBytes(0x40, 1), 0x60000020}};
  shape.certificate = table;
  return testing_fakes::BuildTestImage(shape);
}

std::size_t TableAt(const Bytes& file) { return ImageOf(file).Directory(pe::kCertificateDirectory).address; }
std::size_t TableSizeAt(const Bytes& file) {
  return ImageOf(file).DirectoryOffset(pe::kCertificateDirectory) + 4;
}

TEST(Stamp, RefusesWhatCannotBeStampedAndWritesNothing) {
  const Bytes signed_file = Fixture("rfc3161.exe");
  const Bytes good_signature = SignedData({Signer("sig")});
  struct Case {
    const char* what;
    std::function<Bytes()> file;
    const char* message;
  };
  const Case cases[] = {
      {"not a program", [] { return Text("just some text, not a program at all"); },
       "'test.exe' is not a Windows program"},
      {"unsigned", [] { return ImageWithTable({}); },
       "'test.exe': it is not signed (it has no certificate table)"},
      {"a byte after the table",
       [&] {
         Bytes file = signed_file;
         file.push_back(0);
         return file;
       },
       "its certificate table is not at the end of the file (1 bytes follow it)"},
      {"the table running past the end",
       [&] {
         Bytes file = signed_file;
         Put32(file, TableSizeAt(file), Get32(file, TableSizeAt(file)) + 8);
         return file;
       },
       "runs past the end of the file"},
      {"two entries",
       [&] {
         Bytes file = signed_file;
         const Bytes second = Entry(good_signature);
         file.insert(file.end(), second.begin(), second.end());
         Put32(file, TableSizeAt(file),
               Get32(file, TableSizeAt(file)) + static_cast<std::uint32_t>(second.size()));
         return file;
       },
       "its certificate table holds more than one entry"},
      {"an entry longer than the table",
       [&] {
         Bytes file = signed_file;
         Put32(file, TableAt(file), Get32(file, TableSizeAt(file)) + 8);
         return file;
       },
       "its certificate table's entry has a length of"},
      {"an X.509 entry", [&] { return ImageWithTable(Entry(good_signature, 1)); },
       "its certificate table's entry is not a PKCS #7 signature (type 0x1)"},
      {"a table off the 8-byte grid",
       [&] {
         Bytes file = ImageWithTable(Entry(good_signature));
         const std::size_t at = TableAt(file);
         file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), {1, 2, 3});
         Put32(file, TableSizeAt(file) - 4, static_cast<std::uint32_t>(at + 3));
         return file;
       },
       "does not start on an 8-byte boundary"},
      {"a table too large",
       [] { return ImageWithTable(Entry(Tlv(0x04, Bytes(pe::kMaxCertificateTableSize, 0)))); },
       "its certificate table is larger than 4 MB"},
      {"a signature that is no DER",
       [] {
         return ImageWithTable(Entry({0x30, 0x40, 1, 2, 3}));
       },
       "its signature cannot be read: the signature runs past the end"},
      {"a signature of other content",
       [] { return ImageWithTable(Entry(ContentInfo("1.2.840.113549.1.7.1", Tlv(0x04, Text("data"))))); },
       "the signature is not PKCS #7 signed data (its content type is 1.2.840.113549.1.7.1)"},
      {"signed data cut short",
       [] {
         return ImageWithTable(
             Entry(ContentInfo("1.2.840.113549.1.7.2", Seq({Tlv(0x02, {1}), Tlv(0x31, {})}))));
       },
       "the signature cannot be read: the signed content is missing"},
      {"no signer", [] { return ImageWithTable(Entry(SignedData({}))); }, "it has no signer information"},
      {"more after the signed data",
       [] {
         return ImageWithTable(Entry(
             ContentInfo("1.2.840.113549.1.7.2", Join({SignedDataContent({Signer("sig")}), Tlv(0x05, {})}))));
       },
       "the signature cannot be read: the signed data has more after its signer information"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto stamped = Stamped(c.file(), Block(Information(10)));
    ASSERT_FALSE(stamped);
    EXPECT_THAT(stamped.Message(), HasSubstr(c.message));
  }
}

TEST(Stamp, TheBlockFollowsTheRulesTheBootstrapperReadsItBy) {
  struct Case {
    std::string information;
    const char* refusal;  // null: accepted
  };
  const Case cases[] = {
      {"x", nullptr},
      {std::string(kMaxEmbeddedInformation, 'x'), nullptr},
      {"RDC after the marker", nullptr},
      {"before the zeros: MRD", nullptr},
      {"", "the information file 'i.xml' holds 0 bytes; the information block takes 1 to 4106"},
      {std::string(kMaxEmbeddedInformation + 1, 'x'),
       "the information file 'i.xml' holds 4107 bytes; the information block takes 1 to 4106"},
      {"a MRDC inside",
       "the information file 'i.xml' holds the marker \"MRDC\", which would cut the information short"},
      {"MRDC first",
       "the information file 'i.xml' holds the marker \"MRDC\", which would cut the information short"},
      {"last: MRDC",
       "the information file 'i.xml' holds the marker \"MRDC\", which would cut the information short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.information.substr(0, 30));
    auto block = InformationBlock(Text(c.information), "the information file 'i.xml'");
    if (c.refusal) {
      ASSERT_FALSE(block);
      EXPECT_EQ(block.Message(), c.refusal);
      continue;
    }
    ASSERT_TRUE(block) << block.Message();
    auto stamped = Stamped(Fixture("program_name.exe"), block.Value());
    ASSERT_TRUE(stamped) << stamped.Message();
    std::array<unsigned char, kEmbeddedScanSize> tail{};
    std::copy_n(stamped->end() - kEmbeddedSeekBack, kEmbeddedScanSize, tail.begin());
    const auto found = FindEmbeddedInformation(tail);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(tail.begin() + found->offset, tail.begin() + found->offset + found->size),
              c.information);
  }
}

// --- Files and streams, as the tool passes them ---

class StampFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("lantern-stamp-test-" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    WriteAll(root_ / "Setup.exe", Fixture("rfc3161.exe"));
    WriteAll(root_ / "info.xml", information_);
  }
  void TearDown() override { fs::remove_all(root_); }

  static void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static Bytes ReadAll(std::FILE* file) {
    std::rewind(file);
    Bytes bytes;
    std::array<std::uint8_t, 4096> buffer{};
    while (const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file))
      bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read));
    return bytes;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  Bytes Expected() const { return Stamped(Fixture("rfc3161.exe"), Block(information_)).Value(); }

  fs::path root_;
  Bytes information_ = Information(2000);
};

TEST_F(StampFileTest, WritesANewFileOrReplacesTheInputInPlace) {
  auto summary =
      StampFile({root_ / "Setup.exe", root_ / "info.xml", root_ / "Stamped.exe"}, nullptr, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(summary->information_size, 2000u);
  EXPECT_FALSE(summary->replaced);
  EXPECT_EQ(ReadAll(root_ / "Stamped.exe"), Expected());
  EXPECT_EQ(ReadAll(root_ / "Setup.exe"), Fixture("rfc3161.exe"));

  summary = StampFile({root_ / "Setup.exe", root_ / "info.xml", root_ / "Setup.exe"}, nullptr, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(ReadAll(root_ / "Setup.exe"), Expected());
  // Stamped again, in place: the same bytes.
  summary = StampFile({root_ / "Setup.exe", root_ / "info.xml", root_ / "Setup.exe"}, nullptr, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_TRUE(summary->replaced);
  EXPECT_EQ(ReadAll(root_ / "Setup.exe"), Expected());
  EXPECT_EQ(Names(), (std::vector<std::string>{"Setup.exe", "Stamped.exe", "info.xml"}));
}

TEST_F(StampFileTest, ARefusalLeavesTheOutputAsItWas) {
  WriteAll(root_ / "Out.exe", Text("what was there"));
  WriteAll(root_ / "marker.xml", Text("<a>MRDC</a>"));
  WriteAll(root_ / "Plain.txt", Text("not a program"));
  fs::create_directories(root_ / "folder");
  struct Case {
    StampOptions options;
    std::string message;
  };
  const Case cases[] = {
      {{root_ / "Setup.exe", root_ / "marker.xml", root_ / "Out.exe"}, "holds the marker \"MRDC\""},
      {{root_ / "Setup.exe", root_ / "missing.xml", root_ / "Out.exe"},
       "the information file '" + ShowPath(root_ / "missing.xml") + "' does not exist"},
      {{root_ / "Missing.exe", root_ / "info.xml", root_ / "Out.exe"},
       ShowPath(root_ / "Missing.exe") + "' does not exist"},
      {{root_ / "Plain.txt", root_ / "info.xml", root_ / "Out.exe"}, "is not a Windows program"},
      {{root_ / "Setup.exe", root_ / "info.xml", root_ / "folder"}, "is a folder"},
      {{root_ / "Setup.exe", root_ / "info.xml", root_ / "no such folder" / "Out.exe"}, "cannot be written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    auto summary = StampFile(c.options, nullptr, nullptr);
    ASSERT_FALSE(summary);
    EXPECT_THAT(summary.Message(), HasSubstr(c.message));
    EXPECT_EQ(ReadAll(root_ / "Out.exe"), Text("what was there"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Out.exe", "Plain.txt", "Setup.exe", "folder", "info.xml",
                                                 "marker.xml"}));
  }
}

TEST_F(StampFileTest, StreamsFromTheStandardInputToTheStandardOutput) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  ASSERT_TRUE(in && out);
  const Bytes& input = Fixture("rfc3161.exe");
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  auto summary = StampFile({"-", root_ / "info.xml", "-"}, in, out);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(ReadAll(out), Expected());
  std::fclose(in);
  std::fclose(out);

#ifndef _WIN32
  // A pipe cannot be read at any offset: it is copied to a temporary file first.
  const std::string command = "cat '" + (root_ / "Setup.exe").string() + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_TRUE(pipe);
  summary = StampFile({"-", root_ / "info.xml", root_ / "Piped.exe"}, pipe, nullptr);
  pclose(pipe);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(ReadAll(root_ / "Piped.exe"), Expected());
  std::vector<std::string> spooled;
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    if (entry.path().filename().string().rfind("lantern-stamp-", 0) == 0 &&
        entry.path().extension() == ".tmp")
      spooled.push_back(entry.path().string());
  }
  EXPECT_THAT(spooled, ::testing::IsEmpty());
#endif
}

TEST_F(StampFileTest, InspectShowsTheStampedBlock) {
  ASSERT_TRUE(StampFile({root_ / "Setup.exe", root_ / "info.xml", root_ / "Setup.exe"}, nullptr, nullptr));
  auto report = Inspect(root_ / "Setup.exe");
  ASSERT_TRUE(report) << report.Message();
  ASSERT_TRUE(report->information);
  EXPECT_EQ(*report->information, information_);
  EXPECT_TRUE(report->signature) << report->signature_problem;
  EXPECT_THAT(ReportText(report.Value()), HasSubstr("Information block: 2,000 bytes"));
}

// --- The pieces: one unsigned attribute set, object identifiers written ---

TEST(SignedData, SetsTheAttributeOfTheChosenSignerAndKeepsEveryOtherByte) {
  const std::string_view id = "1.3.6.1.4.1.311.3.3.1";
  const Bytes value = Tlv(0x04, Text("new"));
  const Bytes other = Attribute("1.3.6.1.4.1.311.2.4.1", Tlv(0x05, {}));
  const Bytes old_value = Attribute(id, Tlv(0x04, Text("old")));
  const Bytes last = Attribute("1.2.3.4", Tlv(0x05, {}));
  struct Case {
    const char* what;
    Bytes input;
    pe::SignerChoice which;
    Bytes expected;
  };
  const Case cases[] = {
      {"added to the last signer", SignedData({Signer("one"), Signer("two")}), pe::SignerChoice::kLast,
       SignedData({Signer("one"), Signer("two", Tlv(0xA1, Attribute(id, value)))})},
      {"added to the first signer", SignedData({Signer("one"), Signer("two")}), pe::SignerChoice::kFirst,
       SignedData({Signer("one", Tlv(0xA1, Attribute(id, value))), Signer("two")})},
      {"replaced, and moved after the others",
       SignedData({Signer("one", Tlv(0xA1, Join({other, old_value, last})))}), pe::SignerChoice::kLast,
       SignedData({Signer("one", Tlv(0xA1, Join({other, last, Attribute(id, value)})))})},
      {"long enough for lengths of two bytes", SignedData({Signer(std::string(300, 's'), Tlv(0xA1, other))}),
       pe::SignerChoice::kLast,
       SignedData({Signer(std::string(300, 's'), Tlv(0xA1, Join({other, Attribute(id, value)})))})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto set = pe::SetUnsignedAttribute(c.input, id, value, c.which);
    ASSERT_TRUE(set) << set.Message();
    EXPECT_EQ(set.Value(), c.expected);
  }
  EXPECT_THAT(pe::SetUnsignedAttribute(SignedData({Signer("one")}), "1.x", value).Message(),
              HasSubstr("the identifier '1.x' is not an object identifier"));
}

TEST(Der, ObjectIdentifiersOfAnySizeAreWrittenAndReadBack) {
  for (const std::string_view dotted :
       {"2.25.302247809841260939668780919246452456230", "1.2.840.113549.1.7.2", "2.999.18446744073709551616",
        "0.39", "1.3.6.1.4.1.311.3.3.1"}) {
    SCOPED_TRACE(dotted);
    const auto content = pe::der::ObjectIdContent(dotted);
    ASSERT_TRUE(content);
    pe::der::Fault fault;
    const Bytes encoded = Tlv(0x06, *content);
    pe::der::Reader reader(encoded, fault);
    EXPECT_EQ(pe::der::ObjectId(reader.Next("id"), fault, "id"), dotted);
    EXPECT_FALSE(fault.Any()) << fault.Message();
  }
  EXPECT_EQ(pe::der::ObjectIdContent("1.2.840.113549"), (Bytes{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D}));
  for (const std::string_view bad : {"", "1", "3.1", "1.40", "1..2", "01.2", "1.2a", "1.2."}) {
    EXPECT_FALSE(pe::der::ObjectIdContent(bad)) << bad;
  }
  // An arc far beyond any identifier's is refused, not converted.
  Bytes huge(40, 0xFF);
  huge.push_back(0x01);
  pe::der::Fault fault;
  const Bytes encoded = Tlv(0x06, huge);
  pe::der::Reader reader(encoded, fault);
  EXPECT_EQ(pe::der::ObjectId(reader.Next("id"), fault, "the type"), "");
  EXPECT_EQ(fault.Message(), "the type has a number too large");
}

}  // namespace
}  // namespace lantern::pack
