#include "pe/signature.h"

#include <algorithm>
#include <span>
#include <vector>

#include "pe/der.h"
#include "pe/little_endian.h"

namespace lantern::pe {
namespace {

using der::Element;
using der::Fault;
using der::Reader;

// The entries of the certificate table: a length that counts the 8-byte
// header, a revision and a type; each entry starts on an 8-byte boundary.
constexpr std::uint32_t kEntryHeaderSize = 8;
constexpr std::uint32_t kEntryAlignment = 8;
constexpr std::uint16_t kRevision1 = 0x0100;
constexpr std::uint16_t kRevision2 = 0x0200;
constexpr std::uint16_t kTypePkcsSignedData = 0x0002;
// Far more than a signature with its chain and timestamps takes; a larger
// entry is not read into memory.
constexpr std::uint32_t kMaxSignatureSize = 16u * 1024 * 1024;

constexpr std::string_view kSignedDataType = "1.2.840.113549.1.7.2";
constexpr std::string_view kIndirectDataType = "1.3.6.1.4.1.311.2.1.4";
constexpr std::string_view kOpusInfoAttribute = "1.3.6.1.4.1.311.2.1.12";
constexpr std::string_view kSigningTimeAttribute = "1.2.840.113549.1.9.5";
constexpr std::string_view kCounterSignatureAttribute = "1.2.840.113549.1.9.6";
constexpr std::string_view kTimestampTokenAttribute = "1.3.6.1.4.1.311.3.3.1";
constexpr std::string_view kTimestampInfoType = "1.2.840.113549.1.9.16.1.4";
constexpr std::string_view kSubjectKeyIdExtension = "2.5.29.14";

struct Certificate {
  std::span<const std::uint8_t> issuer;   // the whole Name, as encoded
  std::span<const std::uint8_t> subject;  // the same
  std::span<const std::uint8_t> serial;   // the INTEGER's content
  std::span<const std::uint8_t> key_id;   // its subject key identifier, if it has one
};

// Who signed, as a signer information names its certificate, and what it signed with it.
struct Signer {
  std::span<const std::uint8_t> issuer;
  std::span<const std::uint8_t> serial;
  std::span<const std::uint8_t> key_id;  // instead of issuer and serial number
  std::optional<Element> signed_attributes;
  std::optional<Element> unsigned_attributes;
};

struct SignedData {
  std::string content_type;
  std::optional<Element> content;
  std::vector<Certificate> certificates;
  std::vector<Signer> signers;
};

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

Certificate ReadCertificate(Reader& list) {
  Certificate certificate;
  const Element whole = list.Take(der::kSequence, "a certificate");
  Reader outer = list.Into(whole);
  Reader fields = outer.Into(outer.Take(der::kSequence, "a certificate's signed part"));
  fields.TakeIf(der::ContextConstructed(0), "a certificate's version");
  certificate.serial = fields.Take(der::kInteger, "a certificate's serial number").content;
  fields.Take(der::kSequence, "a certificate's signature algorithm");
  certificate.issuer = fields.Take(der::kSequence, "a certificate's issuer").encoding;
  fields.Take(der::kSequence, "a certificate's validity");
  certificate.subject = fields.Take(der::kSequence, "a certificate's subject").encoding;
  fields.Take(der::kSequence, "a certificate's public key");
  fields.TakeIf(der::ContextPrimitive(1), "a certificate's issuer unique id");
  fields.TakeIf(der::ContextPrimitive(2), "a certificate's subject unique id");
  const std::optional<Element> wrapped =
      fields.TakeIf(der::ContextConstructed(3), "a certificate's extensions");
  if (!wrapped) return certificate;
  Reader wrapper = fields.Into(*wrapped);
  Reader extensions = wrapper.Into(wrapper.Take(der::kSequence, "a certificate's extensions"));
  while (!extensions.AtEnd()) {
    Reader extension = extensions.Into(extensions.Take(der::kSequence, "a certificate extension"));
    const std::string id = der::ObjectId(extension.Next("a certificate extension's id"), list.GetFault(),
                                         "a certificate extension's id");
    extension.TakeIf(der::kBoolean, "a certificate extension's critical flag");
    const Element value = extension.Take(der::kOctetString, "a certificate extension's value");
    if (id == kSubjectKeyIdExtension) {
      Reader key_id = extension.Into(value);
      certificate.key_id = key_id.Take(der::kOctetString, "a subject key identifier").content;
    }
  }
  return certificate;
}

Signer ReadSigner(Reader& parent, const std::string& what) {
  Signer signer;
  Reader fields = parent.Into(parent.Take(der::kSequence, what));
  fields.Take(der::kInteger, what + "'s version");
  if (const std::optional<Element> key_id = fields.TakeIf(der::ContextPrimitive(0), what + "'s key id")) {
    signer.key_id = key_id->content;
  } else {
    Reader id = fields.Into(fields.Take(der::kSequence, what + "'s issuer and serial number"));
    signer.issuer = id.Take(der::kSequence, what + "'s issuer").encoding;
    signer.serial = id.Take(der::kInteger, what + "'s serial number").content;
  }
  fields.Take(der::kSequence, what + "'s digest algorithm");
  signer.signed_attributes = fields.TakeIf(der::ContextConstructed(0), what + "'s signed attributes");
  fields.Take(der::kSequence, what + "'s signature algorithm");
  fields.Take(der::kOctetString, what + "'s signature");
  signer.unsigned_attributes = fields.TakeIf(der::ContextConstructed(1), what + "'s unsigned attributes");
  return signer;
}

// A ContentInfo that holds PKCS #7 signed data, read from `parent`. `what`
// names it ("the signature", "the timestamp"). Nothing, with a fault, when it
// is malformed or holds another kind of content.
std::optional<SignedData> ReadSignedData(Reader& parent, const std::string& what) {
  Fault& fault = parent.GetFault();
  Reader info = parent.Into(parent.Take(der::kSequence, what));
  SignedData data;
  const std::string type =
      der::ObjectId(info.Next(what + "'s content type"), fault, what + "'s content type");
  if (fault.Any()) return std::nullopt;
  if (type != kSignedDataType) {
    fault.Set(what + " is not PKCS #7 signed data (its content type is " + type + ")");
    return std::nullopt;
  }
  Reader explicit_content = info.Into(info.Take(der::ContextConstructed(0), what + "'s content"));
  Reader fields = explicit_content.Into(explicit_content.Take(der::kSequence, what + "'s signed data"));
  fields.Take(der::kInteger, what + "'s version");
  fields.Take(der::kSet, what + "'s digest algorithms");
  Reader content = fields.Into(fields.Take(der::kSequence, what + "'s signed content"));
  data.content_type =
      der::ObjectId(content.Next(what + "'s signed content type"), fault, what + "'s signed content type");
  if (const std::optional<Element> wrapped =
          content.TakeIf(der::ContextConstructed(0), what + "'s signed content")) {
    Reader inner = content.Into(*wrapped);
    data.content = inner.Next(what + "'s signed content");
  }
  if (const std::optional<Element> set =
          fields.TakeIf(der::ContextConstructed(0), what + "'s certificates")) {
    Reader list = fields.Into(*set);
    while (!list.AtEnd()) {
      // Attribute certificates and other kinds of certificate name no signer.
      if (list.PeekTag() != der::kSequence) {
        list.Next(what + "'s certificates");
        continue;
      }
      data.certificates.push_back(ReadCertificate(list));
    }
  }
  fields.TakeIf(der::ContextConstructed(1), what + "'s revocation lists");
  Reader signers = fields.Into(fields.Take(der::kSet, what + "'s signer information"));
  while (!signers.AtEnd()) data.signers.push_back(ReadSigner(signers, what + "'s signer information"));
  if (fault.Any()) return std::nullopt;
  return data;
}

const Certificate* FindCertificate(const std::vector<Certificate>& certificates, const Signer& signer) {
  for (const Certificate& certificate : certificates) {
    const bool same =
        signer.key_id.empty()
            ? SameBytes(certificate.issuer, signer.issuer) && SameBytes(certificate.serial, signer.serial)
            : !certificate.key_id.empty() && SameBytes(certificate.key_id, signer.key_id);
    if (same) return &certificate;
  }
  return nullptr;
}

std::string AttributeName(const std::string& id) {
  static const std::pair<std::string_view, std::string_view> kNames[] = {
      {"2.5.4.3", "CN"},
      {"2.5.4.10", "O"},
      {"2.5.4.11", "OU"},
      {"2.5.4.6", "C"},
      {"2.5.4.7", "L"},
      {"2.5.4.8", "ST"},
      {"1.2.840.113549.1.9.1", "E"},
  };
  for (const auto& [dotted, name] : kNames) {
    if (id == dotted) return std::string(name);
  }
  return id;
}

// A value as the system's certificate dialogs show it: in double quotes (and
// quotes inside doubled) when it holds a character that separates names.
std::string QuotedValue(const std::string& value) {
  const bool plain = !value.empty() && value.front() != ' ' && value.back() != ' ' &&
                     value.find_first_of(",+=\"<>#;") == std::string::npos;
  if (plain) return value;
  std::string quoted = "\"";
  for (const char c : value) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const std::uint8_t byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

// A Name as "CN=..., O=..., C=...": the most specific part first, as the
// system shows it; the parts of one relative name joined with " + ".
std::string NameText(std::span<const std::uint8_t> encoding, Fault& fault, const std::string& what) {
  Reader top(encoding, fault);
  Reader name = top.Into(top.Take(der::kSequence, what));
  std::vector<std::string> parts;
  while (!name.AtEnd()) {
    Reader relative = name.Into(name.Take(der::kSet, what + "'s part"));
    std::string part;
    while (!relative.AtEnd()) {
      Reader pair = relative.Into(relative.Take(der::kSequence, what + "'s attribute"));
      const std::string id =
          der::ObjectId(pair.Next(what + "'s attribute type"), fault, what + "'s attribute type");
      const Element value = pair.Next(what + "'s attribute value");
      if (fault.Any()) return {};
      const std::optional<std::string> text = der::Text(value);
      if (!part.empty()) part += " + ";
      part += AttributeName(id);
      part += '=';
      if (text) {
        part += QuotedValue(*text);
      } else {
        part += '#';  // a value of another type, as its encoding
        part += HexBytes(value.encoding);
      }
    }
    if (!part.empty()) parts.push_back(std::move(part));
  }
  std::string shown;
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    if (!shown.empty()) shown += ", ";
    shown += *part;
  }
  return shown;
}

// The first value of attribute `id` among `attributes` (the content of a
// SET OF Attribute), if it is there.
std::optional<Element> AttributeValue(const std::optional<Element>& attributes, std::string_view id,
                                      Fault& fault, const std::string& what) {
  if (!attributes || fault.Any()) return std::nullopt;
  Reader list(attributes->content, fault);
  while (!list.AtEnd()) {
    Reader attribute = list.Into(list.Take(der::kSequence, what));
    const std::string type = der::ObjectId(attribute.Next(what + "'s type"), fault, what + "'s type");
    const Element values = attribute.Take(der::kSet, what + "'s values");
    if (fault.Any() || type != id) continue;
    Reader first = attribute.Into(values);
    Element value = first.Next(what + " " + std::string(id) + "'s value");
    if (fault.Any()) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

// An SpcString: [0] a BMPString, [1] an IA5String.
std::optional<std::string> SpcStringText(const Element& wrapped, Fault& fault, const std::string& what) {
  Reader choice(wrapped.content, fault);
  Element text = choice.Next(what);
  if (fault.Any()) return std::nullopt;
  if (text.tag == der::ContextPrimitive(0)) {
    text.tag = der::kBmpString;
  } else if (text.tag == der::ContextPrimitive(1)) {
    text.tag = der::kIa5String;
  } else {
    fault.Set(what + " is " + der::DescribeTag(text.tag) + ", not a text");
    return std::nullopt;
  }
  std::optional<std::string> decoded = der::Text(text);
  if (decoded && decoded->empty()) return std::nullopt;
  return decoded;
}

void ReadOpusInfo(const Element& value, SignatureSummary& summary, Fault& fault) {
  const std::string what = "the program information";
  if (value.tag != der::kSequence) {
    fault.Set(what + " is " + der::DescribeTag(value.tag) + " where a SEQUENCE belongs");
    return;
  }
  Reader fields(value.content, fault);
  if (const std::optional<Element> name = fields.TakeIf(der::ContextConstructed(0), "the program name")) {
    summary.program_name = SpcStringText(*name, fault, "the program name");
  }
  const std::optional<Element> link = fields.TakeIf(der::ContextConstructed(1), "the more-info link");
  if (!link) return;
  Reader choice = fields.Into(*link);
  Element target = choice.Next("the more-info link");
  if (fault.Any()) return;
  if (target.tag == der::ContextPrimitive(0)) {  // a URL
    target.tag = der::kIa5String;
    summary.more_info = der::Text(target);
    if (summary.more_info && summary.more_info->empty()) summary.more_info.reset();
  } else if (target.tag == der::ContextConstructed(2)) {  // a file
    summary.more_info = SpcStringText(target, fault, "the more-info link");
  } else if (target.tag != der::ContextConstructed(1)) {  // a serialized object says nothing to people
    fault.Set("the more-info link is " + der::DescribeTag(target.tag) + ", not a link");
  }
}

// An RFC 3161 timestamp token: signed data over the timestamp information,
// whose time is when the authority saw the signature.
void ReadTimestampToken(const Element& value, const std::vector<Certificate>& outer_certificates,
                        SignatureSummary& summary, Fault& fault) {
  Reader holder(value.encoding, fault);
  const std::optional<SignedData> token = ReadSignedData(holder, "the timestamp");
  if (!token) return;
  if (token->content_type != kTimestampInfoType) {
    fault.Set("the timestamp does not hold timestamp information (its content type is " +
              token->content_type + ")");
    return;
  }
  if (!token->content || token->content->tag != der::kOctetString) {
    fault.Set("the timestamp's information is not an OCTET STRING");
    return;
  }
  Reader octets(token->content->content, fault);
  Reader info = octets.Into(octets.Take(der::kSequence, "the timestamp information"));
  info.Take(der::kInteger, "the timestamp information's version");
  info.Take(der::kObjectId, "the timestamp's policy");
  info.Take(der::kSequence, "the timestamp's message imprint");
  info.Take(der::kInteger, "the timestamp's serial number");
  const Element time = info.Take(der::kGeneralizedTime, "the timestamp's time");
  summary.timestamp = der::Time(time, fault, "the timestamp's time");
  if (token->signers.empty()) return;
  const Certificate* authority = FindCertificate(token->certificates, token->signers.front());
  if (!authority) authority = FindCertificate(outer_certificates, token->signers.front());
  if (authority) summary.timestamp_authority = NameText(authority->subject, fault, "the timestamp authority");
}

// A countersignature: a signer information over the signature whose own
// signing time is when the authority saw the signature.
void ReadCounterSignature(const Element& value, const std::vector<Certificate>& certificates,
                          SignatureSummary& summary, Fault& fault) {
  Reader holder(value.encoding, fault);
  const Signer counter = ReadSigner(holder, "the countersignature");
  const std::optional<Element> time =
      AttributeValue(counter.signed_attributes, kSigningTimeAttribute, fault, "a countersignature attribute");
  if (fault.Any()) return;
  if (!time) {
    fault.Set("the countersignature has no signing time");
    return;
  }
  summary.timestamp = der::Time(*time, fault, "the countersignature's signing time");
  if (const Certificate* authority = FindCertificate(certificates, counter)) {
    summary.timestamp_authority = NameText(authority->subject, fault, "the timestamp authority");
  }
}

void ReadTimestamp(const Signer& signer, const std::vector<Certificate>& certificates,
                   SignatureSummary& summary, Fault& fault) {
  if (!signer.unsigned_attributes) return;
  Reader list(signer.unsigned_attributes->content, fault);
  while (!list.AtEnd()) {
    const std::string what = "an unsigned attribute";
    Reader attribute = list.Into(list.Take(der::kSequence, what));
    const std::string type = der::ObjectId(attribute.Next(what + "'s type"), fault, what + "'s type");
    Reader values = attribute.Into(attribute.Take(der::kSet, what + "'s values"));
    if (type != kTimestampTokenAttribute && type != kCounterSignatureAttribute) continue;
    const Element value = values.Next(what + " " + type + "'s value");
    if (fault.Any()) return;
    if (type == kTimestampTokenAttribute) {
      ReadTimestampToken(value, certificates, summary, fault);
    } else {
      ReadCounterSignature(value, certificates, summary, fault);
    }
    return;
  }
}

std::string DigestName(const std::string& id) {
  if (id == "2.16.840.1.101.3.4.2.1") return "sha256";
  if (id == "1.3.14.3.2.26") return "sha1";
  return id;
}

Result<std::optional<SignatureSummary>> ReadPkcs7(std::span<const std::uint8_t> bytes) {
  Fault fault;
  Reader top(bytes, fault);
  if (top.PeekTag() != der::kSequence) return Failure{"the signature is not PKCS #7 signed data"};
  const std::optional<SignedData> data = ReadSignedData(top, "the signature");
  const auto failed = [&fault] {
    const std::string& message = fault.Message();
    if (message.rfind("the signature is not", 0) == 0) return Failure{message};
    return Failure{"the signature cannot be read: " + message};
  };
  if (!data) return failed();
  if (data->content_type != kIndirectDataType) {
    return Failure{"the signature does not sign an image's digest (its content type is " +
                   data->content_type + ")"};
  }
  if (!data->content) return Failure{"the signature cannot be read: it holds no signed content"};

  SignatureSummary summary;
  Reader content(data->content->encoding, fault);
  Reader indirect = content.Into(content.Take(der::kSequence, "the signed digest"));
  indirect.Take(der::kSequence, "the signed digest's data");
  Reader digest = indirect.Into(indirect.Take(der::kSequence, "the signed digest's value"));
  Reader algorithm = digest.Into(digest.Take(der::kSequence, "the digest algorithm"));
  summary.digest_algorithm =
      DigestName(der::ObjectId(algorithm.Next("the digest algorithm"), fault, "the digest algorithm"));
  if (fault.Any()) return failed();

  if (data->signers.empty()) return Failure{"the signature cannot be read: it has no signer information"};
  const Signer& signer = data->signers.front();
  const Certificate* certificate = FindCertificate(data->certificates, signer);
  if (!certificate) {
    return Failure{"the signature cannot be read: the signer's certificate is not among its certificates"};
  }
  summary.signer_subject = NameText(certificate->subject, fault, "the signer's subject");
  summary.signer_issuer = NameText(certificate->issuer, fault, "the signer's issuer");
  summary.serial_number = der::IntegerHex(certificate->serial);

  if (const std::optional<Element> opus =
          AttributeValue(signer.signed_attributes, kOpusInfoAttribute, fault, "a signed attribute")) {
    ReadOpusInfo(*opus, summary, fault);
  }
  if (const std::optional<Element> time =
          AttributeValue(signer.signed_attributes, kSigningTimeAttribute, fault, "a signed attribute")) {
    summary.signing_time = der::Time(*time, fault, "the signing time");
  }
  ReadTimestamp(signer, data->certificates, summary, fault);
  if (fault.Any()) return failed();
  return std::optional<SignatureSummary>(std::move(summary));
}

}  // namespace

Result<std::optional<SignatureSummary>> ReadSignature(ByteSource& file, const Image& image) {
  const DataDirectory table = image.Directory(kCertificateDirectory);
  if (table.size == 0) return std::optional<SignatureSummary>();
  const std::uint64_t start = table.address;
  const std::uint64_t end = start + table.size;
  if (start >= file.Size()) {
    return Failure{"the certificate table (at " + Hex(start) + ") starts past the end of the file"};
  }
  if (end > file.Size()) {
    return Failure{"the certificate table runs past the end of the file (" + Hex(table.size) + " bytes at " +
                   Hex(start) + ", the file has " + Hex(file.Size()) + ")"};
  }
  if (start < image.EndOfSections()) {
    return Failure{"the certificate table (at " + Hex(start) +
                   ") lies inside the image's headers or sections"};
  }
  for (std::uint64_t offset = start; offset < end;) {
    std::uint8_t header[kEntryHeaderSize];
    if (end - offset < kEntryHeaderSize) {
      return Failure{"the certificate table ends inside the header of an entry (at " + Hex(offset) + ")"};
    }
    if (!file.ReadAt(offset, header)) return Failure{"the certificate table cannot be read"};
    const std::uint32_t length = ReadU32(header);
    const std::uint16_t revision = ReadU16(header + 4);
    const std::uint16_t type = ReadU16(header + 6);
    if (length < kEntryHeaderSize) {
      return Failure{"the certificate table's entry at " + Hex(offset) + " has a length of " +
                     std::to_string(length) + ", less than its header"};
    }
    if (length > end - offset) {
      return Failure{"the certificate table's entry at " + Hex(offset) + " runs past the end of the table"};
    }
    if (type == kTypePkcsSignedData) {
      if (revision != kRevision2 && revision != kRevision1) {
        return Failure{"the signature's entry in the certificate table has revision " + Hex(revision) +
                       ", not 0x200"};
      }
      if (length - kEntryHeaderSize > kMaxSignatureSize) {
        return Failure{"the signature is larger than " + std::to_string(kMaxSignatureSize / (1024 * 1024)) +
                       " MB"};
      }
      std::vector<std::uint8_t> bytes(length - kEntryHeaderSize);
      if (!file.ReadAt(offset + kEntryHeaderSize, bytes)) return Failure{"the signature cannot be read"};
      return ReadPkcs7(bytes);
    }
    offset += (std::uint64_t{length} + kEntryAlignment - 1) / kEntryAlignment * kEntryAlignment;
  }
  return Failure{"the certificate table holds no PKCS #7 signature"};
}

}  // namespace lantern::pe
