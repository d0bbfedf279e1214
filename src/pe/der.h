// A reader of the DER (and the definite and indefinite lengths of BER) that
// signatures and certificates are encoded in, over bytes held in memory. Every
// element is checked against the element around it, so nothing is read
// outside the input; the first fault met is kept, with what was being read,
// and everything read after it comes back empty, so that a structure is
// walked straight through and its fault asked for once at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lantern::pe::der {

// Tags as their first byte has them (class, constructed bit and number);
// numbers from 31 up, which these structures never use, come out above 0xFF.
constexpr std::uint32_t kBoolean = 0x01;
constexpr std::uint32_t kInteger = 0x02;
constexpr std::uint32_t kBitString = 0x03;
constexpr std::uint32_t kOctetString = 0x04;
constexpr std::uint32_t kNull = 0x05;
constexpr std::uint32_t kObjectId = 0x06;
constexpr std::uint32_t kUtf8String = 0x0C;
constexpr std::uint32_t kNumericString = 0x12;
constexpr std::uint32_t kPrintableString = 0x13;
constexpr std::uint32_t kT61String = 0x14;
constexpr std::uint32_t kIa5String = 0x16;
constexpr std::uint32_t kUtcTime = 0x17;
constexpr std::uint32_t kGeneralizedTime = 0x18;
constexpr std::uint32_t kVisibleString = 0x1A;
constexpr std::uint32_t kUniversalString = 0x1C;
constexpr std::uint32_t kBmpString = 0x1E;
constexpr std::uint32_t kSequence = 0x30;
constexpr std::uint32_t kSet = 0x31;
// [n] of a primitive type (an IMPLICIT string) and of a constructed one.
constexpr std::uint32_t ContextPrimitive(std::uint32_t number) { return 0x80 | number; }
constexpr std::uint32_t ContextConstructed(std::uint32_t number) { return 0xA0 | number; }

// Deeper nesting than any signature has is refused rather than followed.
constexpr int kMaxDepth = 48;

struct Element {
  std::uint32_t tag = 0;
  std::span<const std::uint8_t> content;
  std::span<const std::uint8_t> encoding;  // the whole element: its tag, length and content
};

// The first fault met while reading one structure.
class Fault {
 public:
  // Keeps `message` unless a fault is kept already.
  void Set(std::string message);
  bool Any() const { return message_.has_value(); }
  const std::string& Message() const { return *message_; }

 private:
  std::optional<std::string> message_;
};

// The elements of a stretch of bytes, one after the other. `what`, in the
// calls that take it, names the element for a message ("the signer
// information is cut short").
class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, Fault& fault, int depth = 0);

  // No element follows (or a fault was met).
  bool AtEnd() const;
  // The tag of the next element, or nothing at the end.
  std::optional<std::uint32_t> PeekTag() const;
  // The next element; a fault when there is none or it is malformed.
  Element Next(std::string_view what);
  // The next element, which must have `tag`.
  Element Take(std::uint32_t tag, std::string_view what);
  // The next element when it has `tag`; nothing, and no fault, when another
  // follows or none does.
  std::optional<Element> TakeIf(std::uint32_t tag, std::string_view what);
  // A reader of the elements inside `element`.
  Reader Into(const Element& element) const;

  Fault& GetFault() const { return *fault_; }

 private:
  std::span<const std::uint8_t> rest_;
  Fault* fault_;
  int depth_;
};

// The name of a tag for a message: "a SEQUENCE", "[0]", "tag 0x45".
std::string DescribeTag(std::uint32_t tag);

// An OBJECT IDENTIFIER in dotted form ("1.2.840.113549.1.7.2"); a fault, and
// an empty text, when it is malformed.
std::string ObjectId(const Element& element, Fault& fault, std::string_view what);

// An INTEGER's value in hexadecimal, most significant byte first, two upper
// case digits a byte, leading zero bytes left out ("00" for zero), a negative
// value with a minus sign and its magnitude.
std::string IntegerHex(std::span<const std::uint8_t> content);

// A string of any of the directory string types (UTF8String, PrintableString,
// IA5String, VisibleString, NumericString, T61String, BMPString,
// UniversalString) as UTF-8; nothing for an element of another type. Bytes
// of the one-byte types are taken as UTF-8 where they are that and as Latin-1
// otherwise; characters that cannot be shown safely (control characters,
// unpaired surrogates, values beyond Unicode) become U+FFFD.
std::optional<std::string> Text(const Element& element);

// Bytes as UTF-8 where they are that and as Latin-1 otherwise, made safe to
// show as Text() does.
std::string TextFromBytes(std::span<const std::uint8_t> bytes);

// A UTCTime or GeneralizedTime as "YYYY-MM-DDThh:mm:ssZ", a time given with
// an offset turned into UTC and fractions of a second dropped; a fault, and
// an empty text, for any other element or a malformed time.
std::string Time(const Element& element, Fault& fault, std::string_view what);

}  // namespace lantern::pe::der
