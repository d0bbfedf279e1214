// Reading what an image's signature says: images signed by osslsigncode
// (tests/fixtures/signed, made by its script), signatures put together here
// for what that tool does not write, the faults of a broken certificate table
// or signature, and the DER reader's decoding of numbers, texts and times.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pe/byte_io.h"
#include "pe/der.h"
#include "pe/image.h"
#include "pe/little_endian.h"
#include "pe/signature.h"
#include "pe_test_image.h"

namespace lantern::pe {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_fakes::BuildTestImage;
using testing_fakes::DirectoryAt;
using testing_fakes::Get32;
using testing_fakes::Put32;
using testing_fakes::TestBytes;
using testing_fakes::TestImageShape;

const std::map<std::string, Bytes>& Fixtures() {
  static const std::map<std::string, Bytes> files = {
#include "signed_fixtures.inc"
  };
  return files;
}

const Bytes& Fixture(const std::string& name) { return Fixtures().at(name); }

// What make-fixtures recorded from openssl: "<certificate> <field>=<value>".
std::string OpensslSays(const std::string& certificate, const std::string& field) {
  const Bytes& file = Fixture("expected.txt");
  const std::string text(file.begin(), file.end());
  const std::string key = certificate + " " + field + "=";
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return "(not recorded)";
  const std::size_t start = at + key.size();
  return text.substr(start, text.find('\n', start) - start);
}

Result<std::optional<SignatureSummary>> Read(const Bytes& file) {
  SpanSource source(file);
  const Result<Image> image = ReadImage(source);
  if (!image) return Failure{"the image does not read: " + image.Message()};
  return ReadSignature(source, image.Value());
}

// The signature's bytes in a fixture: its certificate table's one entry, without the entry's header.
Bytes SignatureOf(const Bytes& file) {
  const std::size_t directory = DirectoryAt(file[0x80 + 24] == 0x0B && file[0x80 + 25] == 0x02, 4);
  const std::uint32_t at = Get32(file, directory);
  const std::uint32_t length = Get32(file, at);
  return Bytes(file.begin() + at + 8, file.begin() + at + length);
}

Bytes Entry(const Bytes& signature, std::uint16_t revision = 0x0200, std::uint16_t type = 2) {
  Bytes entry(8);
  Put32(entry, 0, static_cast<std::uint32_t>(signature.size() + 8));
  entry[4] = static_cast<std::uint8_t>(revision);
  entry[5] = static_cast<std::uint8_t>(revision >> 8);
  entry[6] = static_cast<std::uint8_t>(type);
  entry[7] = static_cast<std::uint8_t>(type >> 8);
  entry.insert(entry.end(), signature.begin(), signature.end());
  return entry;
}

Bytes ImageWithTable(const Bytes& table) {
  TestImageShape shape;
  shape.sections = {{".text", TestBytes(0x40, 1), 0x60000020}};
  shape.certificate = table;
  return BuildTestImage(shape);
}

// --- DER, written here for signatures osslsigncode does not make ---

Bytes Tlv(std::uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  const std::size_t size = content.size();
  if (size < 0x80) {
    out.push_back(static_cast<std::uint8_t>(size));
  } else {
    Bytes length;
    for (std::size_t rest = size; rest != 0; rest >>= 8) length.insert(length.begin(), rest & 0xFF);
    out.push_back(static_cast<std::uint8_t>(0x80 | length.size()));
    out.insert(out.end(), length.begin(), length.end());
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Seq(std::initializer_list<Bytes> parts) { return Tlv(0x30, Join(parts)); }
Bytes SetOf(std::initializer_list<Bytes> parts) { return Tlv(0x31, Join(parts)); }

Bytes Oid(const std::string& dotted) {
  std::vector<std::uint64_t> arcs;
  std::size_t at = 0;
  while (at <= dotted.size()) {
    const std::size_t dot = dotted.find('.', at);
    arcs.push_back(std::stoull(dotted.substr(at, dot - at)));
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  Bytes content;
  arcs[1] += 40 * arcs[0];
  for (std::size_t i = 1; i < arcs.size(); ++i) {
    Bytes arc{static_cast<std::uint8_t>(arcs[i] & 0x7F)};
    for (std::uint64_t rest = arcs[i] >> 7; rest != 0; rest >>= 7) {
      arc.insert(arc.begin(), static_cast<std::uint8_t>(0x80 | (rest & 0x7F)));
    }
    content.insert(content.end(), arc.begin(), arc.end());
  }
  return Tlv(0x06, content);
}

Bytes Ascii(std::uint8_t tag, const std::string& text) { return Tlv(tag, Bytes(text.begin(), text.end())); }

Bytes Utf16(std::uint8_t tag, const std::u16string& text) {
  Bytes content;
  for (const char16_t unit : text) {
    content.push_back(static_cast<std::uint8_t>(unit >> 8));
    content.push_back(static_cast<std::uint8_t>(unit));
  }
  return Tlv(tag, content);
}

Bytes Attribute(const std::string& type, const Bytes& value) { return Seq({Oid(type), SetOf({value})}); }
Bytes Name(const Bytes& common_name) { return Seq({SetOf({Seq({Oid("2.5.4.3"), common_name})})}); }
Bytes Algorithm(const std::string& id) { return Seq({Oid(id), Tlv(0x05, {})}); }

Bytes Certificate(const Bytes& serial, const Bytes& issuer, const Bytes& subject, const Bytes& key_id) {
  const Bytes validity = Seq({Ascii(0x17, "240101000000Z"), Ascii(0x17, "340101000000Z")});
  const Bytes extensions = Tlv(0xA3, Seq({Seq({Oid("2.5.29.14"), Tlv(0x04, Tlv(0x04, key_id))})}));
  const Bytes signed_part =
      Seq({Tlv(0xA0, Tlv(0x02, {2})), Tlv(0x02, serial), Algorithm("1.2.840.113549.1.1.11"), issuer, validity,
           subject, Seq({}), extensions});
  return Seq({signed_part, Algorithm("1.2.840.113549.1.1.11"), Tlv(0x03, {0})});
}

// A signature as Windows' signing tool shapes what osslsigncode does not
// write: the program name as a BMPString, and what the tests vary.
struct Synthetic {
  std::string content_type = "1.3.6.1.4.1.311.2.1.4";
  std::string digest = "2.16.840.1.101.3.4.2.2";
  Bytes serial = {0xFF, 0x7F};         // negative
  bool signer_by_key_id = true;        // the signer names its certificate by key id
  Bytes signer_key_id = {1, 2, 3, 4};  // the certificate's is 1 2 3 4
  Bytes opus_info = Seq({Tlv(0xA0, Utf16(0x80, u"Pr\u00FCfung \U0001D11E")),
                         Tlv(0xA1, Tlv(0xA2, Ascii(0x81, "file://server/readme.txt")))});
  Bytes signing_time = Ascii(0x18, "20240229233000-0130");
  Bytes unsigned_attributes;  // [1]'s content
};

Bytes Build(const Synthetic& shape) {
  const Bytes issuer = Name(Utf16(0x1E, u"Synthetic Root"));
  const Bytes subject = Seq(
      {SetOf({Seq({Oid("2.5.4.6"), Ascii(0x13, "GB")})}),
       SetOf({Seq({Oid("2.5.4.3"), Ascii(0x14, "Caf\xE9")}), Seq({Oid("2.5.4.5"), Ascii(0x13, "1234")})})});
  const Bytes certificate = Certificate(shape.serial, issuer, subject, {1, 2, 3, 4});
  const Bytes indirect = Seq({Seq({Oid("1.3.6.1.4.1.311.2.1.15"), Seq({})}),
                              Seq({Algorithm(shape.digest), Tlv(0x04, Bytes(48, 0xAB))})});
  const Bytes signer_id =
      shape.signer_by_key_id ? Tlv(0x80, shape.signer_key_id) : Seq({issuer, Tlv(0x02, shape.serial)});
  Bytes signed_attributes = Join({Attribute("1.2.840.113549.1.9.3", Oid(shape.content_type)),
                                  Attribute("1.3.6.1.4.1.311.2.1.12", shape.opus_info),
                                  Attribute("1.2.840.113549.1.9.5", shape.signing_time)});
  Bytes signer_fields =
      Join({Tlv(0x02, {3}), signer_id, Algorithm("2.16.840.1.101.3.4.2.2"), Tlv(0xA0, signed_attributes),
            Algorithm("1.2.840.113549.1.1.1"), Tlv(0x04, Bytes(16, 0x55))});
  if (!shape.unsigned_attributes.empty()) {
    signer_fields = Join({signer_fields, Tlv(0xA1, shape.unsigned_attributes)});
  }
  const Bytes signed_data = Seq({Tlv(0x02, {1}), SetOf({Algorithm(shape.digest)}),
                                 Seq({Oid(shape.content_type), Tlv(0xA0, indirect)}), Tlv(0xA0, certificate),
                                 SetOf({Tlv(0x30, signer_fields)})});
  return Seq({Oid("1.2.840.113549.1.7.2"), Tlv(0xA0, signed_data)});
}

// --- the tests ---

TEST(ReadSignature, AnUnsignedImageHasNone) {
  TestImageShape shape;
  shape.sections = {{".text", TestBytes(0x40, 1), 0x60000020}};
  Bytes file = BuildTestImage(shape);
  Result<std::optional<SignatureSummary>> read = Read(file);
  ASSERT_TRUE(read) << read.Message();
  EXPECT_FALSE(read->has_value());

  // An address without a size is no table either.
  Put32(file, DirectoryAt(true, 4), 0x600);
  read = Read(file);
  ASSERT_TRUE(read) << read.Message();
  EXPECT_FALSE(read->has_value());
}

TEST(ReadSignature, ReadsWhatOsslsigncodeWrote) {
  const std::string publisher =
      "E=signing@example.com, CN=Lantern Fixture Publisher, OU=Signing, O=\"Pr\u00FCfung, GmbH\", "
      "L=K\u00F6ln, ST=Nordrhein-Westfalen, C=DE";
  const std::string plain = "OU=Build + CN=Plain Publisher, O=Lantern Tests";
  const std::string root = "CN=Lantern Fixture Root, O=Lantern Tests, C=GB";
  const std::string authority = "CN=Lantern Fixture Timestamps, O=Lantern Tests, C=GB";
  using Text = std::optional<std::string>;
  struct Case {
    std::string file;
    SignatureSummary expected;
  };
  const Case cases[] = {
      {"program_name.exe",
       {"sha256",
        publisher,
        root,
        "C0FFEE00D15EA5E5",
        Text("Pr\u00FCfung \u2713"),
        Text("https://example.com/lantern?a=1&b=2"),
        Text("2023-11-14T22:13:20Z"),
        {},
        {}}},
      {"plain.exe", {"sha1", plain, root, "0100", {}, {}, Text("2020-09-13T12:26:40Z"), {}, {}}},
      {"rfc3161.exe",
       {"sha256",
        publisher,
        root,
        "C0FFEE00D15EA5E5",
        Text("Lantern"),
        {},
        Text("2023-11-14T22:13:20Z"),
        Text("2023-11-14T22:15:00Z"),
        Text(authority)}},
      {"countersigned.exe",
       {"sha1",
        plain,
        root,
        "0100",
        {},
        {},
        Text("2020-09-13T12:26:40Z"),
        Text("2026-12-10T22:43:48Z"),
        Text(authority)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Result<std::optional<SignatureSummary>> read = Read(Fixture(c.file));
    ASSERT_TRUE(read) << read.Message();
    ASSERT_TRUE(read->has_value());
    const SignatureSummary& got = *read.Value();
    EXPECT_EQ(got.digest_algorithm, c.expected.digest_algorithm);
    EXPECT_EQ(got.signer_subject, c.expected.signer_subject);
    EXPECT_EQ(got.signer_issuer, c.expected.signer_issuer);
    EXPECT_EQ(got.serial_number, c.expected.serial_number);
    EXPECT_EQ(got.program_name, c.expected.program_name);
    EXPECT_EQ(got.more_info, c.expected.more_info);
    EXPECT_EQ(got.signing_time, c.expected.signing_time);
    EXPECT_EQ(got.timestamp, c.expected.timestamp);
    EXPECT_EQ(got.timestamp_authority, c.expected.timestamp_authority);
  }
}

TEST(ReadSignature, ShowsSerialNumbersAsOpensslDoes) {
  // The publisher's serial has its top bit set, so DER puts a zero byte before it.
  const std::pair<const char*, const char*> signed_by[] = {{"program_name.exe", "publisher"},
                                                           {"plain.exe", "plain"}};
  for (const auto& [file, certificate] : signed_by) {
    SCOPED_TRACE(file);
    const Result<std::optional<SignatureSummary>> read = Read(Fixture(file));
    ASSERT_TRUE(read && read->has_value()) << read.Message();
    EXPECT_EQ(read.Value()->serial_number, OpensslSays(certificate, "serial"));
  }
  const std::pair<Bytes, std::string> integers[] = {
      {{0x00}, "00"},
      {{}, "00"},
      {{0x00, 0xC0}, "C0"},
      {{0x01, 0x00}, "0100"},
      {{0x00, 0x00, 0x2A}, "2A"},
      {{0xFF}, "-01"},
      {{0xFF, 0x7F}, "-81"},
      {{0x80}, "-80"},
      {{0xFF, 0x00}, "-0100"},
  };
  for (const auto& [content, hex] : integers) EXPECT_EQ(der::IntegerHex(content), hex);
}

TEST(ReadSignature, ReadsWhatWindowsSigningToolsWrite) {
  const Bytes signature = Build(Synthetic{});
  const Result<std::optional<SignatureSummary>> read = Read(ImageWithTable(Entry(signature)));
  ASSERT_TRUE(read) << read.Message();
  ASSERT_TRUE(read->has_value());
  const SignatureSummary& got = *read.Value();
  EXPECT_EQ(got.digest_algorithm, "2.16.840.1.101.3.4.2.2");
  EXPECT_EQ(got.signer_subject, "CN=Caf\u00E9 + 2.5.4.5=1234, C=GB");
  EXPECT_EQ(got.signer_issuer, "CN=Synthetic Root");
  EXPECT_EQ(got.serial_number, "-81");
  EXPECT_EQ(got.program_name, "Pr\u00FCfung \U0001D11E");
  EXPECT_EQ(got.more_info, "file://server/readme.txt");
  EXPECT_EQ(got.signing_time, "2024-03-01T01:00:00Z");
  EXPECT_FALSE(got.timestamp);
}

TEST(ReadSignature, TheFaultsOfASignatureSay) {
  const Bytes real = SignatureOf(Fixture("program_name.exe"));
  Synthetic no_certificate;
  no_certificate.signer_key_id = {9, 9};
  Synthetic by_serial;  // by issuer and serial number, found, as a check that the next case is a fault
  by_serial.signer_by_key_id = false;
  Synthetic not_an_image;
  not_an_image.content_type = "1.2.840.113549.1.7.1";
  Synthetic bad_time;
  bad_time.signing_time = Ascii(0x17, "230230120000Z");
  Synthetic bad_opus;
  bad_opus.opus_info = Seq({Tlv(0xA0, Ascii(0x16, "not a choice"))});
  Synthetic bad_countersignature;
  bad_countersignature.unsigned_attributes = Attribute("1.2.840.113549.1.9.6", Seq({Tlv(0x02, {1})}));
  Synthetic bad_token;
  bad_token.unsigned_attributes =
      Attribute("1.3.6.1.4.1.311.3.3.1", Seq({Oid("1.2.840.113549.1.7.1"), Tlv(0xA0, Tlv(0x04, {}))}));

  Bytes cut = real;
  cut.resize(cut.size() / 2);
  Bytes wrong_length = real;
  wrong_length[2] += 1;  // the outer SEQUENCE's length, two bytes long, made larger

  struct Case {
    const char* what;
    Bytes signature;
    const char* message;  // empty where the signature reads
  };
  const Case cases[] = {
      {"found by issuer and serial number", Build(by_serial), ""},
      {"no certificate of the signer", Build(no_certificate),
       "the signature cannot be read: the signer's certificate is not among its certificates"},
      {"signed content other than an image's digest", Build(not_an_image),
       "the signature does not sign an image's digest (its content type is 1.2.840.113549.1.7.1)"},
      {"30 February", Build(bad_time),
       "the signature cannot be read: the signing time is not a valid time (\"230230120000Z\")"},
      {"a program name of no known kind", Build(bad_opus),
       "the signature cannot be read: the program name is tag 0x16, not a text"},
      {"a countersignature cut short", Build(bad_countersignature),
       "the signature cannot be read: the countersignature's issuer and serial number is missing"},
      {"a timestamp that is not signed data", Build(bad_token),
       "the signature cannot be read: the timestamp is not PKCS #7 signed data (its content type is "
       "1.2.840.113549.1.7.1)"},
      {"cut in half", cut,
       "the signature cannot be read: the signature runs past the end of the data around it"},
      {"a length past the end", wrong_length,
       "the signature cannot be read: the signature runs past the end of the data around it"},
      {"an OCTET STRING", Tlv(0x04, {1, 2, 3}), "the signature is not PKCS #7 signed data"},
      {"garbage", TestBytes(300, 7), "the signature is not PKCS #7 signed data"},
      {"data, not signed data", Seq({Oid("1.2.840.113549.1.7.1"), Tlv(0xA0, Tlv(0x04, {}))}),
       "the signature is not PKCS #7 signed data (its content type is 1.2.840.113549.1.7.1)"},
      {"a SEQUENCE of garbage", Tlv(0x30, {0x06, 0x85, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       "the signature cannot be read: the signature's content type has a length of more than 4 bytes"},
      {"an indefinite length never ended",
       {0x30, 0x80, 0x06, 0x01, 0x2A},
       "the signature cannot be read: the signature has no end-of-contents marker"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result<std::optional<SignatureSummary>> read = Read(ImageWithTable(Entry(c.signature)));
    if (*c.message == '\0') {
      EXPECT_TRUE(read && read->has_value()) << read.Message();
    } else {
      EXPECT_FALSE(read);
      EXPECT_EQ(read.Message(), c.message);
    }
  }
}

TEST(ReadSignature, ARealSignatureCutOrChangedAnywhereReadsOrSaysWhy) {
  const Bytes signature = SignatureOf(Fixture("rfc3161.exe"));
  const std::size_t encoded = 4 + ((std::size_t{signature[2]} << 8) | signature[3]);  // 30 82 hi lo
  ASSERT_LE(encoded, signature.size());
  for (std::size_t size = 0; size < encoded; ++size) {
    const Result<std::optional<SignatureSummary>> read =
        Read(ImageWithTable(Entry(Bytes(signature.begin(), signature.begin() + size))));
    ASSERT_FALSE(read) << "cut at " << size;
    ASSERT_FALSE(read.Message().empty());
  }
  // A changed byte deep inside (a tag, a length, a time) is met where it is.
  std::size_t faults = 0;
  for (std::size_t at = 0; at < encoded; ++at) {
    Bytes changed = signature;
    changed[at] ^= at % 2 == 0 ? 0x01 : 0x80;  // SEQUENCE to SET, universal to context, lengths
    const Result<std::optional<SignatureSummary>> read = Read(ImageWithTable(Entry(changed)));
    ASSERT_TRUE(read ? read->has_value() : !read.Message().empty()) << "byte " << at;
    faults += read ? 0 : 1;
  }
  EXPECT_GT(faults, 0u);
}

TEST(ReadSignature, TheFaultsOfATableSay) {
  const Bytes signed_file = Fixture("program_name.exe");
  const Bytes signature = SignatureOf(signed_file);
  const std::size_t directory = DirectoryAt(false, 4);
  const std::uint32_t table_at = Get32(signed_file, directory);

  Bytes past = signed_file;
  Put32(past, directory, static_cast<std::uint32_t>(past.size() + 0x100));
  Bytes truncated = signed_file;
  truncated.resize(truncated.size() - 100);
  Bytes in_sections = signed_file;
  Put32(in_sections, directory, 0x200);

  Bytes short_entry = Entry(signature);
  Put32(short_entry, 0, 4);
  Bytes long_entry = Entry(signature);
  Put32(long_entry, 0, static_cast<std::uint32_t>(long_entry.size() + 8));
  Bytes two_entries = Entry(Bytes(13, 0x11), 0x0200, 1);  // an X.509 certificate first, padded to 8 bytes
  two_entries.resize(24, 0);
  const Bytes second = Entry(signature);
  two_entries.insert(two_entries.end(), second.begin(), second.end());

  struct Case {
    const char* what;
    Bytes file;
    std::string message;
  };
  const Case cases[] = {
      {"a table past the file", past,
       "the certificate table (at " + Hex(signed_file.size() + 0x100) + ") starts past the end of the file"},
      {"a file cut short", truncated,
       "the certificate table runs past the end of the file (" + Hex(signed_file.size() - 0x800) +
           " bytes at 0x800, the file has " + Hex(truncated.size()) + ")"},
      {"a table in the sections", in_sections,
       "the certificate table (at 0x200) lies inside the image's headers or sections"},
      {"an entry shorter than its header", ImageWithTable(short_entry),
       "the certificate table's entry at 0x600 has a length of 4, less than its header"},
      {"an entry longer than the table", ImageWithTable(long_entry),
       "the certificate table's entry at 0x600 runs past the end of the table"},
      {"a table shorter than a header", ImageWithTable(Bytes(5, 0)),
       "the certificate table ends inside the header of an entry (at 0x600)"},
      {"only an X.509 certificate", ImageWithTable(Entry(Bytes(16, 0x11), 0x0200, 1)),
       "the certificate table holds no PKCS #7 signature"},
      {"an unknown revision", ImageWithTable(Entry(signature, 0x0300)),
       "the signature's entry in the certificate table has revision 0x300, not 0x200"},
      {"the signature second", ImageWithTable(two_entries), ""},
  };
  EXPECT_EQ(table_at, 0x800u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result<std::optional<SignatureSummary>> read = Read(c.file);
    if (c.message.empty()) {
      ASSERT_TRUE(read) << read.Message();
      ASSERT_TRUE(read->has_value());
      EXPECT_EQ(read.Value()->program_name, "Pr\u00FCfung \u2713");
    } else {
      EXPECT_FALSE(read);
      EXPECT_EQ(read.Message(), c.message);
    }
  }
}

TEST(Der, ReadsTimes) {
  const std::pair<Bytes, std::string> times[] = {
      {Ascii(0x17, "491231235959Z"), "2049-12-31T23:59:59Z"},
      {Ascii(0x17, "500101000000Z"), "1950-01-01T00:00:00Z"},
      {Ascii(0x17, "2402291200Z"), "2024-02-29T12:00:00Z"},
      {Ascii(0x18, "20231114221500.123Z"), "2023-11-14T22:15:00Z"},
      {Ascii(0x18, "20231231233000-0045"), "2024-01-01T00:15:00Z"},
      {Ascii(0x17, "240101001500+0100"), "2023-12-31T23:15:00Z"},
      {Ascii(0x18, "20161231235960Z"), "2016-12-31T23:59:60Z"},
      {Ascii(0x17, "230229000000Z"), ""},
      {Ascii(0x17, "231301000000Z"), ""},
      {Ascii(0x18, "20231114221500"), ""},  // local time
      {Ascii(0x18, "2023111422150Z"), ""},
      {Ascii(0x17, "23111422150aZ"), ""},
      {Ascii(0x18, "20231114221500.Z"), ""},
      {Ascii(0x17, "231114221500Z "), ""},
      {Ascii(0x16, "231114221500Z"), ""},
  };
  for (const auto& [encoded, shown] : times) {
    SCOPED_TRACE(std::string(encoded.begin() + 2, encoded.end()));
    der::Fault fault;
    der::Reader reader(encoded, fault);
    const std::string time = der::Time(reader.Next("the time"), fault, "the time");
    EXPECT_EQ(time, shown);
    EXPECT_EQ(fault.Any(), shown.empty());
  }
}

TEST(Der, ReadsTexts) {
  const std::pair<Bytes, std::optional<std::string>> texts[] = {
      {Ascii(0x0C, "K\xC3\xB6ln"), "K\u00F6ln"},
      {Ascii(0x16, "K\xC3\xB6ln"), "K\u00F6ln"},  // UTF-8 where one byte a character belongs
      {Ascii(0x16, "K\xF6ln"), "K\u00F6ln"},      // not UTF-8: Latin-1
      {Ascii(0x14, "K\xF6ln"), "K\u00F6ln"},
      {Ascii(0x0C, "a\x1B[2Jb\x7F"), "a\uFFFD[2Jb\uFFFD"},
      {Utf16(0x1E, u"\u2713\U0001F600"), "\u2713\U0001F600"},
      {Utf16(0x1E, std::u16string(u"a\xD800"
                                  u"b")),
       "a\uFFFDb"},
      {Tlv(0x1E, {0x00, 0x41, 0x00}), "A\uFFFD"},
      {Tlv(0x1C, {0x00, 0x01, 0xF6, 0x00, 0x00, 0x11, 0x00, 0x00}), "\U0001F600\uFFFD"},
      {Tlv(0x04, {0x41}), std::nullopt},
  };
  for (const auto& [encoded, shown] : texts) {
    der::Fault fault;
    der::Reader reader(encoded, fault);
    EXPECT_EQ(der::Text(reader.Next("the text")), shown);
    EXPECT_FALSE(fault.Any());
  }
}

TEST(Der, ReadsIndefiniteLengthsAndRefusesWhatIsBroken) {
  der::Fault fault;
  const Bytes indefinite = {0x30, 0x80, 0x31, 0x80, 0x02, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00};
  der::Reader reader(indefinite, fault);
  const der::Element outer = reader.Take(der::kSequence, "the outer");
  der::Reader inside = reader.Into(outer);
  der::Reader set = inside.Into(inside.Take(der::kSet, "the set"));
  EXPECT_EQ(der::IntegerHex(set.Take(der::kInteger, "the number").content), "05");
  EXPECT_TRUE(set.AtEnd());
  EXPECT_TRUE(inside.AtEnd());
  EXPECT_EQ(reader.Take(der::kOctetString, "the last").tag, der::kOctetString);
  EXPECT_FALSE(fault.Any()) << fault.Message();

  Bytes deep;
  for (int i = 0; i < 200; ++i) deep.insert(deep.end(), {0x30, 0x80});
  const std::pair<Bytes, std::string> broken[] = {
      {{0x04, 0x80, 0x00, 0x00}, "it has an indefinite length but is not constructed"},
      {{0x30, 0x05, 0x02}, "it runs past the end of the data around it"},
      {{0x30}, "it is cut short before its length"},
      {{0x30, 0x82, 0x01}, "it is cut short in its length"},
      {{0x1F, 0x81, 0x82, 0x83, 0x04, 0x00}, "it has a tag number too large"},
      {deep, "it is nested too deeply"},
      {{}, "it is missing"},
  };
  for (const auto& [encoded, message] : broken) {
    der::Fault broken_fault;
    der::Reader broken_reader(encoded, broken_fault);
    broken_reader.Next("it");
    ASSERT_TRUE(broken_fault.Any()) << message;
    EXPECT_NE(broken_fault.Message().find(message.substr(3)), std::string::npos) << broken_fault.Message();
    EXPECT_TRUE(broken_reader.AtEnd());
  }
}

TEST(Der, ReadsObjectIdentifiers) {
  der::Fault fault;
  const Bytes encoded = Oid("2.999.1.18446744073709551615");
  der::Reader reader(encoded, fault);
  EXPECT_EQ(der::ObjectId(reader.Next("the id"), fault, "the id"), "2.999.1.18446744073709551615");
  EXPECT_FALSE(fault.Any());

  for (const Bytes& bad :
       {Bytes{0x06, 0x01, 0x81}, Bytes{0x06, 0x00}, Bytes{0x02, 0x01, 0x01},
        // An arc of 26 base-128 digits: beyond the 128 bits of a UUID-based one.
        Bytes{0x06, 0x1B, 0x2A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}}) {
    der::Fault bad_fault;
    der::Reader bad_reader(bad, bad_fault);
    EXPECT_EQ(der::ObjectId(bad_reader.Next("the id"), bad_fault, "the id"), "");
    EXPECT_TRUE(bad_fault.Any());
  }
}

}  // namespace
}  // namespace lantern::pe
