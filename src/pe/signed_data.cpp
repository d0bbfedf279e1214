#include "pe/signed_data.h"

#include <algorithm>
#include <optional>
#include <string>

#include "pe/der.h"
#include "pe/der_writer.h"

namespace lantern::pe {
namespace {

using der::Element;
using der::Fault;
using der::Reader;

constexpr std::string_view kSignedDataType = "1.2.840.113549.1.7.2";

// `parent` encoded again with `child` (an element within its content)
// replaced by `replacement`. Only the lengths on the way change: every other
// byte is kept as it was.
std::vector<std::uint8_t> Spliced(const Element& parent, const Element& child,
                                  std::span<const std::uint8_t> replacement) {
  const std::size_t before = static_cast<std::size_t>(child.encoding.data() - parent.content.data());
  const std::size_t after = before + child.encoding.size();
  std::vector<std::uint8_t> content;
  content.reserve(parent.content.size() - child.encoding.size() + replacement.size());
  content.insert(content.end(), parent.content.begin(),
                 parent.content.begin() + static_cast<std::ptrdiff_t>(before));
  content.insert(content.end(), replacement.begin(), replacement.end());
  content.insert(content.end(), parent.content.begin() + static_cast<std::ptrdiff_t>(after),
                 parent.content.end());
  return der::Encode(static_cast<std::uint8_t>(parent.tag), content);
}

std::vector<std::uint8_t> Attribute(std::span<const std::uint8_t> id, std::span<const std::uint8_t> value) {
  std::vector<std::uint8_t> content = der::Encode(static_cast<std::uint8_t>(der::kObjectId), id);
  const std::vector<std::uint8_t> values = der::Encode(static_cast<std::uint8_t>(der::kSet), value);
  content.insert(content.end(), values.begin(), values.end());
  return der::Encode(static_cast<std::uint8_t>(der::kSequence), content);
}

// The elements of a signature on the way to one signer information, and
// that signer's signature value and unsigned attributes.
struct SignerPath {
  Element info, wrapper, signed_data, signer_set, signer, signature;
  std::optional<Element> unsigned_attributes;
};

Result<SignerPath> FindSigner(std::span<const std::uint8_t> pkcs7, SignerChoice which, Fault& fault) {
  const auto failed = [&fault] { return Failure{"the signature cannot be read: " + fault.Message()}; };
  SignerPath path;
  Reader top(pkcs7, fault);
  path.info = top.Take(der::kSequence, "the signature");
  Reader info_fields = top.Into(path.info);
  const std::string type =
      der::ObjectId(info_fields.Next("the signature's content type"), fault, "the signature's content type");
  if (fault.Any()) return failed();
  if (type != kSignedDataType) {
    return Failure{"the signature is not PKCS #7 signed data (its content type is " + type + ")"};
  }
  path.wrapper = info_fields.Take(der::ContextConstructed(0), "the signature's content");
  Reader wrapper_fields = info_fields.Into(path.wrapper);
  path.signed_data = wrapper_fields.Take(der::kSequence, "the signature's signed data");
  Reader fields = wrapper_fields.Into(path.signed_data);
  fields.Take(der::kInteger, "the signed data's version");
  fields.Take(der::kSet, "the signed data's digest algorithms");
  fields.Take(der::kSequence, "the signed content");
  fields.TakeIf(der::ContextConstructed(0), "the signed data's certificates");
  fields.TakeIf(der::ContextConstructed(1), "the signed data's revocation lists");
  path.signer_set = fields.Take(der::kSet, "the signer information");
  // Nothing follows the signer information in signed data, the signed data
  // in its wrapper, or the wrapper in the content information.
  if (!fault.Any() && !(fields.AtEnd() && wrapper_fields.AtEnd() && info_fields.AtEnd())) {
    fault.Set("the signed data has more after its signer information");
  }
  Reader signers = fields.Into(path.signer_set);
  std::vector<Element> signer_list;
  while (!signers.AtEnd()) signer_list.push_back(signers.Take(der::kSequence, "a signer information"));
  if (fault.Any()) return failed();
  if (signer_list.empty()) return Failure{"the signature cannot be read: it has no signer information"};
  path.signer = which == SignerChoice::kFirst ? signer_list.front() : signer_list.back();

  Reader signer_fields = signers.Into(path.signer);
  signer_fields.Take(der::kInteger, "the signer information's version");
  if (!signer_fields.TakeIf(der::ContextPrimitive(0), "the signer's key id")) {
    signer_fields.Take(der::kSequence, "the signer's issuer and serial number");
  }
  signer_fields.Take(der::kSequence, "the signer's digest algorithm");
  signer_fields.TakeIf(der::ContextConstructed(0), "the signer's signed attributes");
  signer_fields.Take(der::kSequence, "the signer's signature algorithm");
  path.signature = signer_fields.Take(der::kOctetString, "the signer's signature");
  path.unsigned_attributes = signer_fields.TakeIf(der::ContextConstructed(1), "the signer's unsigned attributes");
  if (!fault.Any() && !signer_fields.AtEnd())
    fault.Set("the signer information has more after its last field");
  if (fault.Any()) return failed();
  return path;
}

}  // namespace

Result<std::vector<std::uint8_t>> SignerSignature(std::span<const std::uint8_t> pkcs7, SignerChoice which) {
  Fault fault;
  auto path = FindSigner(pkcs7, which, fault);
  if (!path) return path.AsFailure();
  return std::vector<std::uint8_t>(path->signature.content.begin(), path->signature.content.end());
}

Result<std::vector<std::uint8_t>> SetUnsignedAttribute(std::span<const std::uint8_t> pkcs7,
                                                       std::string_view id,
                                                       std::span<const std::uint8_t> value,
                                                       SignerChoice which) {
  const auto id_content = der::ObjectIdContent(id);
  if (!id_content) return Failure{"the identifier '" + std::string(id) + "' is not an object identifier"};
  Fault fault;
  const auto failed = [&fault] { return Failure{"the signature cannot be read: " + fault.Message()}; };
  auto found = FindSigner(pkcs7, which, fault);
  if (!found) return found.AsFailure();
  const SignerPath& path = found.Value();
  const Element& signer = path.signer;
  const Element& signature = path.signature;
  const std::optional<Element>& old_attributes = path.unsigned_attributes;
  Reader signer_fields(path.signer.content, fault);

  // The attributes kept, in their order, then the new one.
  std::vector<std::uint8_t> attributes;
  if (old_attributes) {
    Reader list = signer_fields.Into(*old_attributes);
    while (!list.AtEnd()) {
      const Element attribute = list.Take(der::kSequence, "an unsigned attribute");
      Reader parts = list.Into(attribute);
      const Element type_id = parts.Take(der::kObjectId, "an unsigned attribute's type");
      parts.Take(der::kSet, "an unsigned attribute's values");
      if (fault.Any()) return failed();
      if (std::equal(type_id.content.begin(), type_id.content.end(), id_content->begin(), id_content->end()))
        continue;
      attributes.insert(attributes.end(), attribute.encoding.begin(), attribute.encoding.end());
    }
  }
  const std::vector<std::uint8_t> added = Attribute(*id_content, value);
  attributes.insert(attributes.end(), added.begin(), added.end());
  const std::vector<std::uint8_t> unsigned_attributes =
      der::Encode(static_cast<std::uint8_t>(der::ContextConstructed(1)), attributes);

  // The signer information with its unsigned attributes replaced, or with
  // them added after its signature, and every element around it again.
  std::vector<std::uint8_t> new_signer;
  if (old_attributes) {
    new_signer = Spliced(signer, *old_attributes, unsigned_attributes);
  } else {
    const Element tail{0, {}, {signature.encoding.data() + signature.encoding.size(), 0}};
    new_signer = Spliced(signer, tail, unsigned_attributes);
  }
  const std::vector<std::uint8_t> new_set = Spliced(path.signer_set, signer, new_signer);
  const std::vector<std::uint8_t> new_signed_data = Spliced(path.signed_data, path.signer_set, new_set);
  const std::vector<std::uint8_t> new_wrapper = Spliced(path.wrapper, path.signed_data, new_signed_data);
  return Spliced(path.info, path.wrapper, new_wrapper);
}

}  // namespace lantern::pe
