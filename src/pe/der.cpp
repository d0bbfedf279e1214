#include "pe/der.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/utf8.h"

namespace lantern::pe::der {
namespace {

// Reads the element at the start of `bytes` into `out`; what is wrong with it
// otherwise ("is cut short").
std::string ParseElement(std::span<const std::uint8_t> bytes, int depth, Element& out) {
  if (depth > kMaxDepth) return "is nested too deeply";
  if (bytes.empty()) return "is missing";
  std::size_t at = 0;
  const std::uint8_t first = bytes[at++];
  std::uint32_t tag = first;
  if ((first & 0x1F) == 0x1F) {
    std::uint32_t number = 0;
    for (int i = 0;; ++i) {
      if (at >= bytes.size()) return "is cut short in its tag";
      if (i == 3) return "has a tag number too large";
      const std::uint8_t part = bytes[at++];
      number = (number << 7) | (part & 0x7Fu);
      if ((part & 0x80) == 0) break;
    }
    tag = (first & 0xE0u) | (number << 8);
  }
  if (at >= bytes.size()) return "is cut short before its length";
  const std::uint8_t length_byte = bytes[at++];
  const bool constructed = (first & 0x20) != 0;
  if (length_byte == 0x80) {
    if (!constructed) return "has an indefinite length but is not constructed";
    const std::size_t start = at;
    while (true) {
      if (bytes.size() - at >= 2 && bytes[at] == 0 && bytes[at + 1] == 0) break;
      if (at >= bytes.size()) return "has no end-of-contents marker";
      Element inner;
      const std::string problem = ParseElement(bytes.subspan(at), depth + 1, inner);
      if (!problem.empty())
        return problem.rfind("holds", 0) == 0 ? problem : "holds an element that " + problem;
      at += inner.encoding.size();
    }
    out.tag = tag;
    out.content = bytes.subspan(start, at - start);
    out.encoding = bytes.first(at + 2);
    return {};
  }
  std::uint64_t length = length_byte;
  if (length_byte > 0x80) {
    const std::size_t count = length_byte & 0x7Fu;
    if (count > 4) return "has a length of more than 4 bytes";
    if (bytes.size() - at < count) return "is cut short in its length";
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = (length << 8) | bytes[at++];
  }
  if (length > bytes.size() - at) return "runs past the end of the data around it";
  out.tag = tag;
  out.content = bytes.subspan(at, static_cast<std::size_t>(length));
  out.encoding = bytes.first(at + static_cast<std::size_t>(length));
  return {};
}

std::string Named(std::string_view what, std::string_view problem) {
  return std::string(what) + " " + std::string(problem);
}

// Control characters, surrogates and values beyond Unicode are shown as U+FFFD.
void AppendCharacter(std::string& out, std::uint32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = 0xFFFD;
  AppendUtf8(out, c);
}

std::string Utf16BigEndian(std::span<const std::uint8_t> bytes) {
  std::string out;
  const std::size_t units = bytes.size() / 2;
  for (std::size_t i = 0; i < units; ++i) {
    const std::uint32_t unit = (std::uint32_t{bytes[2 * i]} << 8) | bytes[2 * i + 1];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
      const std::uint32_t next = (std::uint32_t{bytes[2 * i + 2]} << 8) | bytes[2 * i + 3];
      if (next >= 0xDC00 && next < 0xE000) {
        AppendCharacter(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendCharacter(out, unit);
  }
  if (bytes.size() % 2 != 0) AppendCharacter(out, 0xFFFD);
  return out;
}

std::string Utf32BigEndian(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    AppendCharacter(out, (std::uint32_t{bytes[i]} << 24) | (std::uint32_t{bytes[i + 1]} << 16) |
                             (std::uint32_t{bytes[i + 2]} << 8) | bytes[i + 3]);
  }
  if (bytes.size() % 4 != 0) AppendCharacter(out, 0xFFFD);
  return out;
}

std::string Latin1(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (const std::uint8_t byte : bytes) AppendCharacter(out, byte);
  return out;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and back.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2);
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

// Reads `count` digits at `at` as a number; false when they are not all digits.
bool Digits(std::string_view text, std::size_t& at, std::size_t count, unsigned& value) {
  if (text.size() - at < count) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  at += count;
  return true;
}

std::optional<std::string> ParseTime(std::string_view text, bool generalized) {
  std::size_t at = 0;
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  if (generalized) {
    if (!Digits(text, at, 4, year)) return std::nullopt;
  } else {
    if (!Digits(text, at, 2, year)) return std::nullopt;
    year += year >= 50 ? 1900 : 2000;  // how certificates read two-digit years
  }
  if (!Digits(text, at, 2, month) || !Digits(text, at, 2, day) || !Digits(text, at, 2, hour) ||
      !Digits(text, at, 2, minute)) {
    return std::nullopt;
  }
  if (at < text.size() && text[at] >= '0' && text[at] <= '9' && !Digits(text, at, 2, second)) {
    return std::nullopt;
  }
  if (generalized && at < text.size() && (text[at] == '.' || text[at] == ',')) {
    ++at;
    const std::size_t fraction = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == fraction) return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 60) {
    return std::nullopt;
  }
  std::int64_t offset_minutes = 0;
  if (at < text.size() && text[at] == 'Z') {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const bool ahead = text[at++] == '+';
    unsigned offset_hours = 0;
    unsigned offset_rest = 0;
    if (!Digits(text, at, 2, offset_hours) || !Digits(text, at, 2, offset_rest) || offset_hours > 23 ||
        offset_rest > 59) {
      return std::nullopt;
    }
    offset_minutes = (ahead ? 1 : -1) * static_cast<std::int64_t>(offset_hours * 60 + offset_rest);
  } else {
    return std::nullopt;  // a local time, which says nothing about when it was
  }
  if (at != text.size()) return std::nullopt;

  std::int64_t full_year = year;
  if (offset_minutes != 0) {
    // A leap second stays one; only the minutes move.
    const std::int64_t minutes =
        (DaysFromCivil(full_year, month, day) * 24 + hour) * 60 + minute - offset_minutes;
    const std::int64_t days = (minutes >= 0 ? minutes : minutes - 1439) / 1440;
    const std::int64_t in_day = minutes - days * 1440;
    CivilFromDays(days, full_year, month, day);
    hour = static_cast<unsigned>(in_day / 60);
    minute = static_cast<unsigned>(in_day % 60);
    if (full_year < 0 || full_year > 9999) return std::nullopt;
  }
  char shown[32];
  std::snprintf(shown, sizeof shown, "%04lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(full_year),
                month, day, hour, minute, second);
  return std::string(shown);
}

constexpr std::size_t kMaxArcGroups = 24;  // 168 bits

// A number written in base 128 (most significant digit first) in decimal;
// identifiers built from UUIDs have arcs of 128 bits.
std::string DecimalFromBase128(const std::vector<std::uint8_t>& groups) {
  std::vector<std::uint8_t> digits{0};  // least significant first
  for (const std::uint8_t group : groups) {
    unsigned carry = group;
    for (std::uint8_t& digit : digits) {
      const unsigned value = digit * 128u + carry;
      digit = static_cast<std::uint8_t>(value % 10);
      carry = value / 10;
    }
    for (; carry != 0; carry /= 10) digits.push_back(static_cast<std::uint8_t>(carry % 10));
  }
  while (digits.size() > 1 && digits.back() == 0) digits.pop_back();
  std::string text;
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit)
    text.push_back(static_cast<char>('0' + *digit));
  return text;
}

// `decimal` less `value`, which is not more than it.
std::string SubtractSmall(std::string decimal, unsigned value) {
  for (std::size_t i = decimal.size(); i-- > 0 && value != 0;) {
    const unsigned digit = static_cast<unsigned>(decimal[i] - '0');
    const unsigned take = value % 10;
    value /= 10;
    if (digit >= take) {
      decimal[i] = static_cast<char>('0' + digit - take);
    } else {
      decimal[i] = static_cast<char>('0' + digit + 10 - take);
      ++value;  // borrowed from the next digit
    }
  }
  const std::size_t leading = decimal.find_first_not_of('0');
  return leading == std::string::npos ? "0" : decimal.substr(leading);
}

}  // namespace

void Fault::Set(std::string message) {
  if (!message_) message_ = std::move(message);
}

Reader::Reader(std::span<const std::uint8_t> bytes, Fault& fault, int depth)
    : rest_(bytes), fault_(&fault), depth_(depth) {
  if (depth_ > kMaxDepth) {
    fault_->Set("a signature's elements are nested too deeply");
    rest_ = {};
  }
}

bool Reader::AtEnd() const { return fault_->Any() || rest_.empty(); }

std::optional<std::uint32_t> Reader::PeekTag() const {
  if (AtEnd()) return std::nullopt;
  Element element;
  if (!ParseElement(rest_, depth_, element).empty()) return rest_[0];  // Next() will say what is wrong
  return element.tag;
}

Element Reader::Next(std::string_view what) {
  if (fault_->Any()) return {};
  Element element;
  const std::string problem = ParseElement(rest_, depth_, element);
  if (!problem.empty()) {
    fault_->Set(Named(what, problem));
    rest_ = {};
    return {};
  }
  rest_ = rest_.subspan(element.encoding.size());
  return element;
}

Element Reader::Take(std::uint32_t tag, std::string_view what) {
  if (fault_->Any()) return {};
  const std::optional<std::uint32_t> next = PeekTag();
  if (next && *next != tag) {
    fault_->Set(Named(what, "is " + DescribeTag(*next) + " where " + DescribeTag(tag) + " belongs"));
    rest_ = {};
    return {};
  }
  return Next(what);
}

std::optional<Element> Reader::TakeIf(std::uint32_t tag, std::string_view what) {
  if (PeekTag() != tag) return std::nullopt;
  Element element = Next(what);
  if (fault_->Any()) return std::nullopt;
  return element;
}

Reader Reader::Into(const Element& element) const { return Reader(element.content, *fault_, depth_ + 1); }

std::string DescribeTag(std::uint32_t tag) {
  switch (tag) {
    case kBoolean:
      return "a BOOLEAN";
    case kInteger:
      return "an INTEGER";
    case kBitString:
      return "a BIT STRING";
    case kOctetString:
      return "an OCTET STRING";
    case kNull:
      return "a NULL";
    case kObjectId:
      return "an OBJECT IDENTIFIER";
    case kUtcTime:
      return "a UTCTime";
    case kGeneralizedTime:
      return "a GeneralizedTime";
    case kSequence:
      return "a SEQUENCE";
    case kSet:
      return "a SET";
    default:
      break;
  }
  char shown[24];
  if (tag <= 0xFF && (tag & 0xC0) == 0x80) {
    std::snprintf(shown, sizeof shown, "[%u]", static_cast<unsigned>(tag & 0x1F));
  } else {
    std::snprintf(shown, sizeof shown, "tag 0x%X", static_cast<unsigned>(tag));
  }
  return shown;
}

std::string ObjectId(const Element& element, Fault& fault, std::string_view what) {
  if (fault.Any()) return {};
  if (element.tag != kObjectId || element.content.empty()) {
    fault.Set(Named(what, "is not an object identifier"));
    return {};
  }
  if ((element.content.back() & 0x80) != 0) {
    fault.Set(Named(what, "is cut short"));
    return {};
  }
  std::string dotted;
  std::vector<std::uint8_t> groups;  // the arc's base-128 digits, most significant first
  bool first = true;
  for (const std::uint8_t byte : element.content) {
    groups.push_back(byte & 0x7Fu);
    // Arcs of UUIDs take 128 bits; longer ones are refused before they are converted.
    if (groups.size() > kMaxArcGroups) {
      fault.Set(Named(what, "has a number too large"));
      return {};
    }
    if (byte & 0x80) continue;
    std::string arc = DecimalFromBase128(groups);
    groups.clear();
    if (first) {
      // The first two arcs share one number: 40 times the first plus the second.
      const unsigned top = arc.size() > 2 || std::stoul(arc) >= 80 ? 2 : std::stoul(arc) / 40;
      dotted = std::to_string(top);
      arc = SubtractSmall(arc, 40 * top);
      first = false;
    }
    dotted += '.';
    dotted += arc;
  }
  return dotted;
}

std::string IntegerHex(std::span<const std::uint8_t> content) {
  std::vector<std::uint8_t> magnitude(content.begin(), content.end());
  const bool negative = !magnitude.empty() && (magnitude[0] & 0x80) != 0;
  if (negative) {
    // Two's complement: invert and add one.
    for (std::uint8_t& byte : magnitude) byte = static_cast<std::uint8_t>(~byte);
    for (std::size_t i = magnitude.size(); i-- > 0;) {
      if (++magnitude[i] != 0) break;
    }
  }
  std::size_t start = 0;
  while (start < magnitude.size() && magnitude[start] == 0) ++start;
  std::string hex = negative ? "-" : "";
  if (start == magnitude.size()) return hex + "00";
  static const char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = start; i < magnitude.size(); ++i) {
    hex.push_back(kDigits[magnitude[i] >> 4]);
    hex.push_back(kDigits[magnitude[i] & 0x0F]);
  }
  return hex;
}

std::string TextFromBytes(std::span<const std::uint8_t> bytes) {
  const std::optional<std::u32string> decoded =
      DecodeUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!decoded) return Latin1(bytes);
  std::string out;
  for (const char32_t c : *decoded) AppendCharacter(out, c);
  return out;
}

std::optional<std::string> Text(const Element& element) {
  switch (element.tag) {
    case kUtf8String:
    case kPrintableString:
    case kIa5String:
    case kVisibleString:
    case kNumericString:
      return TextFromBytes(element.content);
    case kT61String:
      return Latin1(element.content);
    case kBmpString:
      return Utf16BigEndian(element.content);
    case kUniversalString:
      return Utf32BigEndian(element.content);
    default:
      return std::nullopt;
  }
}

std::string Time(const Element& element, Fault& fault, std::string_view what) {
  if (fault.Any()) return {};
  if (element.tag != kUtcTime && element.tag != kGeneralizedTime) {
    fault.Set(Named(what, "is " + DescribeTag(element.tag) + ", not a time"));
    return {};
  }
  const std::string_view text(reinterpret_cast<const char*>(element.content.data()), element.content.size());
  std::optional<std::string> shown = ParseTime(text, element.tag == kGeneralizedTime);
  if (!shown) {
    fault.Set(Named(what, "is not a valid time (\"" + TextFromBytes(element.content) + "\")"));
    return {};
  }
  return *shown;
}

}  // namespace lantern::pe::der
