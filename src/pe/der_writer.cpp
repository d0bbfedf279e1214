#include "pe/der_writer.h"

#include <algorithm>

namespace lantern::pe::der {
namespace {

// A number of any size as decimal digits, least significant first.
using Decimal = std::vector<std::uint8_t>;

std::optional<Decimal> ParseDecimal(std::string_view text) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  Decimal digits;
  for (auto c = text.rbegin(); c != text.rend(); ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    digits.push_back(static_cast<std::uint8_t>(*c - '0'));
  }
  return digits;
}

void AddSmall(Decimal& number, unsigned value) {
  for (std::size_t i = 0; value != 0; ++i) {
    if (i == number.size()) number.push_back(0);
    value += number[i];
    number[i] = static_cast<std::uint8_t>(value % 10);
    value /= 10;
  }
}

bool IsZero(const Decimal& number) {
  return std::all_of(number.begin(), number.end(), [](std::uint8_t d) { return d == 0; });
}

// Divides `number` by 128 in place; the remainder.
unsigned DivideBy128(Decimal& number) {
  unsigned remainder = 0;
  for (std::size_t i = number.size(); i-- > 0;) {
    const unsigned value = remainder * 10 + number[i];
    number[i] = static_cast<std::uint8_t>(value / 128);
    remainder = value % 128;
  }
  while (!number.empty() && number.back() == 0) number.pop_back();
  return remainder;
}

// An arc in base 128, most significant group first, each but the last with its top bit set.
void AppendArc(std::vector<std::uint8_t>& out, Decimal arc) {
  std::vector<std::uint8_t> groups;
  do {
    groups.push_back(static_cast<std::uint8_t>(DivideBy128(arc)));
  } while (!IsZero(arc));
  for (std::size_t i = groups.size(); i-- > 0;) {
    out.push_back(static_cast<std::uint8_t>(groups[i] | (i != 0 ? 0x80 : 0)));
  }
}

}  // namespace

void AppendHeader(std::vector<std::uint8_t>& out, std::uint8_t tag, std::size_t length) {
  out.push_back(tag);
  if (length < 0x80) {
    out.push_back(static_cast<std::uint8_t>(length));
    return;
  }
  std::uint8_t bytes[sizeof(std::size_t)];
  std::size_t count = 0;
  for (std::size_t rest = length; rest != 0; rest >>= 8) bytes[count++] = static_cast<std::uint8_t>(rest);
  out.push_back(static_cast<std::uint8_t>(0x80 | count));
  while (count != 0) out.push_back(bytes[--count]);
}

std::vector<std::uint8_t> Encode(std::uint8_t tag, std::span<const std::uint8_t> content) {
  std::vector<std::uint8_t> out;
  out.reserve(content.size() + 6);
  AppendHeader(out, tag, content.size());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

std::optional<std::vector<std::uint8_t>> ObjectIdContent(std::string_view dotted) {
  std::vector<Decimal> arcs;
  for (std::size_t start = 0;;) {
    const std::size_t dot = dotted.find('.', start);
    std::optional<Decimal> arc =
        ParseDecimal(dotted.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (!arc) return std::nullopt;
    arcs.push_back(std::move(*arc));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (arcs.size() < 2 || arcs[0].size() != 1 || arcs[0][0] > 2) return std::nullopt;
  const unsigned top = arcs[0][0];
  Decimal first = arcs[1];
  if (top < 2 && (first.size() > 2 || (first.size() == 2 && first[1] * 10 + first[0] > 39)))
    return std::nullopt;
  AddSmall(first, 40 * top);
  std::vector<std::uint8_t> content;
  AppendArc(content, std::move(first));
  for (std::size_t i = 2; i < arcs.size(); ++i) AppendArc(content, std::move(arcs[i]));
  return content;
}

}  // namespace lantern::pe::der
