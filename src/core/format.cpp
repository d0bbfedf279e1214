// printf-style formatting over typed arguments. Our own, because the CRT's wide
// printf family disagrees between compilers about what %s means, and because a
// string-table entry must not be able to crash the program by mismatching its
// arguments.
#include "core/format.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace lantern {
namespace {

// Widths and precisions beyond this are not honoured: the conversion is copied
// as written rather than asking for gigabytes of padding.
constexpr int kMaxField = 65536;

struct Directive {
  bool left = false;   // '-'
  bool plus = false;   // '+'
  bool space = false;  // ' '
  bool alt = false;    // '#'
  bool zero = false;   // '0'
  int width = 0;
  int precision = -1;  // -1: none given
  wchar_t conversion = 0;
};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The argument's value as a signed number of its own width.
std::int64_t SignedValue(const FormatArg& arg) {
  const std::uint64_t bits = arg.bits();
  if (arg.width() < 64 && arg.width() > 0) {
    const std::uint64_t sign = std::uint64_t{1} << (arg.width() - 1);
    if (bits & sign) {
      return static_cast<std::int64_t>(bits | ~((sign << 1) - 1));
    }
  }
  return static_cast<std::int64_t>(bits);
}

void Pad(std::wstring& out, std::size_t count, wchar_t fill) { out.append(count, fill); }

// Places `body` (with its sign or prefix already separated) in the field.
void EmitField(std::wstring& out, const Directive& directive, std::wstring_view prefix,
               std::wstring_view body, bool zero_pad) {
  const std::size_t length = prefix.size() + body.size();
  const std::size_t width = static_cast<std::size_t>(directive.width);
  const std::size_t padding = width > length ? width - length : 0;
  if (directive.left) {
    out.append(prefix);
    out.append(body);
    Pad(out, padding, L' ');
  } else if (zero_pad) {
    out.append(prefix);
    Pad(out, padding, L'0');
    out.append(body);
  } else {
    Pad(out, padding, L' ');
    out.append(prefix);
    out.append(body);
  }
}

void EmitText(std::wstring& out, const Directive& directive, std::wstring_view text, bool limit) {
  if (limit && directive.precision >= 0 && static_cast<std::size_t>(directive.precision) < text.size()) {
    text = text.substr(0, static_cast<std::size_t>(directive.precision));
  }
  EmitField(out, directive, {}, text, false);
}

std::wstring Digits(std::uint64_t value, unsigned base, bool upper) {
  const wchar_t* symbols = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring digits;
  do {
    digits.insert(digits.begin(), symbols[value % base]);
    value /= base;
  } while (value != 0);
  return digits;
}

// %d %i %u %x %X %o over a value already in the representation the
// conversion asks for.
void EmitInteger(std::wstring& out, const Directive& directive, std::uint64_t magnitude, bool negative) {
  const wchar_t c = directive.conversion;
  const bool is_signed = c == L'd' || c == L'i';
  const unsigned base = (c == L'x' || c == L'X') ? 16 : c == L'o' ? 8 : 10;

  std::wstring digits = Digits(magnitude, base, c == L'X');
  if (directive.precision == 0 && magnitude == 0) {
    digits.clear();  // as printf: an explicit zero precision prints no digits for zero
  }
  if (directive.precision > 0 && digits.size() < static_cast<std::size_t>(directive.precision)) {
    digits.insert(0, static_cast<std::size_t>(directive.precision) - digits.size(), L'0');
  }

  std::wstring prefix;
  if (is_signed) {
    if (negative) {
      prefix = L"-";
    } else if (directive.plus) {
      prefix = L"+";
    } else if (directive.space) {
      prefix = L" ";
    }
  } else if (directive.alt && magnitude != 0 && base == 16) {
    prefix = c == L'X' ? L"0X" : L"0x";
  } else if (directive.alt && base == 8 && (digits.empty() || digits.front() != L'0')) {
    digits.insert(digits.begin(), L'0');
  }
  EmitField(out, directive, prefix, digits, directive.zero && !directive.left && directive.precision < 0);
}

void EmitSignedDecimal(std::wstring& out, Directive directive, std::int64_t value) {
  directive.conversion = L'd';
  const bool negative = value < 0;
  // Negate in unsigned arithmetic so that the most negative value is safe.
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  EmitInteger(out, directive, magnitude, negative);
}

void EmitPointer(std::wstring& out, const Directive& directive, std::uint64_t bits) {
  std::wstring digits = Digits(bits, 16, true);
  const std::size_t minimum = 2 * sizeof(void*);
  if (digits.size() < minimum) {
    digits.insert(0, minimum - digits.size(), L'0');
  }
  EmitField(out, directive, {}, digits, false);
}

// The digits of a finite, non-negative real for %f %e %g and their capitals,
// as the C library writes them with this precision and '#', without sign or
// field. Only digits, points and letters come out, so the narrow result
// widens as it is.
std::string RealDigits(const Directive& directive, double magnitude) {
  std::string pattern = "%";
  if (directive.alt) pattern += '#';
  if (directive.precision >= 0) {
    pattern += '.';
    pattern += std::to_string(directive.precision);
  }
  pattern += static_cast<char>(directive.conversion);
#ifdef _WIN32
  // The system's own C library, which every Windows has: the C library
  // statically linked for standard output would bring tens of kilobytes into
  // the bootstrapper for this one conversion.
  const int needed = _scprintf(pattern.c_str(), magnitude);
  if (needed <= 0) return {};
  std::string digits(static_cast<std::size_t>(needed) + 1, '\0');
  _snprintf(digits.data(), digits.size(), pattern.c_str(), magnitude);
#else
  const int needed = std::snprintf(nullptr, 0, pattern.c_str(), magnitude);
  if (needed <= 0) return {};
  std::string digits(static_cast<std::size_t>(needed) + 1, '\0');
  std::snprintf(digits.data(), digits.size(), pattern.c_str(), magnitude);
#endif
  digits.resize(static_cast<std::size_t>(needed));
  // An exponent has at least two digits and no more than it needs: the
  // system's library writes three ("1e+005").
  const std::size_t e = digits.find_first_of("eE");
  if (e != std::string::npos && e + 2 < digits.size()) {
    const std::size_t first = e + 2;  // after the exponent's sign
    std::size_t zeros = 0;
    while (digits.size() - (first + zeros) > 2 && digits[first + zeros] == '0') ++zeros;
    digits.erase(first, zeros);
  }
  return digits;
}

// %f %e %g and friends: the sign and the field are ours, the digits the C
// library's.
void EmitReal(std::wstring& out, const Directive& directive, double value) {
  const bool negative = std::signbit(value);
  const std::wstring_view prefix = negative ? L"-" : directive.plus ? L"+" : directive.space ? L" " : L"";
  const bool upper = directive.conversion == L'F' || directive.conversion == L'E' ||
                     directive.conversion == L'G' || directive.conversion == L'A';
  if (std::isnan(value) || std::isinf(value)) {
    const std::wstring_view word = std::isnan(value) ? (upper ? L"NAN" : L"nan") : (upper ? L"INF" : L"inf");
    EmitField(out, directive, prefix, word, false);
    return;
  }
  const std::string digits = RealDigits(directive, std::fabs(value));
  EmitField(out, directive, prefix, std::wstring(digits.begin(), digits.end()),
            directive.zero && !directive.left);
}

// A value shown through a conversion made for another kind of value: shown as
// its own kind would be.
void EmitAsOwnKind(std::wstring& out, Directive directive, const FormatArg& arg) {
  switch (arg.kind()) {
    case FormatArg::Kind::Text:
      EmitText(out, directive, arg.text(), false);
      break;
    case FormatArg::Kind::Signed:
    case FormatArg::Kind::Unsigned:
      directive.precision = -1;
      EmitSignedDecimal(out, directive, SignedValue(arg));
      break;
    case FormatArg::Kind::Real:
      directive.conversion = L'g';
      directive.precision = -1;
      EmitReal(out, directive, arg.real());
      break;
    case FormatArg::Kind::Pointer:
      EmitPointer(out, directive, arg.bits());
      break;
  }
}

bool IsNumber(const FormatArg& arg) {
  return arg.kind() == FormatArg::Kind::Signed || arg.kind() == FormatArg::Kind::Unsigned;
}

void EmitConversion(std::wstring& out, const Directive& directive, const FormatArg& arg) {
  switch (directive.conversion) {
    case L'd':
    case L'i':
      if (IsNumber(arg) || arg.kind() == FormatArg::Kind::Pointer) {
        EmitSignedDecimal(out, directive, SignedValue(arg));
      } else {
        EmitAsOwnKind(out, directive, arg);
      }
      break;
    case L'u':
    case L'x':
    case L'X':
    case L'o':
      if (IsNumber(arg) || arg.kind() == FormatArg::Kind::Pointer) {
        EmitInteger(out, directive, arg.bits(), false);
      } else {
        EmitAsOwnKind(out, directive, arg);
      }
      break;
    case L'c':
    case L'C':
      if (IsNumber(arg)) {
        // A wide character is 16 bits on Windows; keep the same on every build.
        // A zero character would end the text for whoever reads it as a C string.
        const wchar_t c = static_cast<wchar_t>(arg.bits() & 0xFFFF);
        if (c != L'\0') {
          EmitField(out, directive, {}, std::wstring_view(&c, 1), false);
        } else {
          EmitField(out, directive, {}, {}, false);
        }
      } else {
        EmitAsOwnKind(out, directive, arg);
      }
      break;
    case L's':
    case L'S':
      if (arg.kind() == FormatArg::Kind::Text) {
        EmitText(out, directive, arg.text(), true);
      } else {
        EmitAsOwnKind(out, directive, arg);
      }
      break;
    case L'p':
      if (IsNumber(arg) || arg.kind() == FormatArg::Kind::Pointer) {
        EmitPointer(out, directive, arg.bits());
      } else {
        EmitAsOwnKind(out, directive, arg);
      }
      break;
    default:  // the real conversions
      if (arg.kind() == FormatArg::Kind::Real) {
        EmitReal(out, directive, arg.real());
      } else if (arg.kind() == FormatArg::Kind::Signed) {
        EmitReal(out, directive, static_cast<double>(SignedValue(arg)));
      } else if (arg.kind() == FormatArg::Kind::Unsigned) {
        EmitReal(out, directive, static_cast<double>(arg.bits()));
      } else {
        EmitAsOwnKind(out, directive, arg);
      }
      break;
  }
}

bool IsConversion(wchar_t c) {
  // Not %n: nothing is ever written through an argument.
  return std::wstring_view(L"diuxXocCsSpfFeEgGaA").find(c) != std::wstring_view::npos;
}

// Reads decimal digits; false when they exceed kMaxField.
bool ReadField(std::wstring_view format, std::size_t& at, int& value) {
  value = 0;
  while (at < format.size() && IsDigit(format[at])) {
    value = value * 10 + (format[at] - L'0');
    if (value > kMaxField) {
      return false;
    }
    ++at;
  }
  return true;
}

// An int argument for '*'; nothing when the argument is not a number.
bool StarValue(const FormatArg& arg, int& value) {
  if (!IsNumber(arg)) {
    return false;
  }
  const std::int64_t v = SignedValue(arg);
  if (v > kMaxField || v < -kMaxField) {
    return false;
  }
  value = static_cast<int>(v);
  return true;
}

// Parses and emits one conversion that starts at format[start] == '%'.
// Returns the index just past it. When the conversion cannot be carried out
// (incomplete, unknown, missing argument) its text is copied as written and
// it takes no arguments.
std::size_t Convert(std::wstring_view format, std::size_t start, std::span<const FormatArg> args,
                    std::size_t& next_arg, std::wstring& out) {
  std::size_t at = start + 1;
  std::size_t arg_index = next_arg;
  Directive directive;

  const auto as_written = [&](std::size_t end) {
    out.append(format.substr(start, end - start));
    return end;
  };

  for (; at < format.size(); ++at) {
    const wchar_t c = format[at];
    if (c == L'-') {
      directive.left = true;
    } else if (c == L'+') {
      directive.plus = true;
    } else if (c == L' ') {
      directive.space = true;
    } else if (c == L'#') {
      directive.alt = true;
    } else if (c == L'0') {
      directive.zero = true;
    } else {
      break;
    }
  }

  bool usable = true;  // false once a width or precision cannot be honoured
  if (at < format.size() && format[at] == L'*') {
    ++at;
    if (arg_index >= args.size()) {
      return as_written(at);
    }
    int width = 0;
    usable = StarValue(args[arg_index++], width) && usable;
    if (width < 0) {
      directive.left = true;
      width = -width;
    }
    directive.width = width;
  } else {
    usable = ReadField(format, at, directive.width) && usable;
    while (at < format.size() && IsDigit(format[at])) ++at;
  }

  if (at < format.size() && format[at] == L'.') {
    ++at;
    if (at < format.size() && format[at] == L'*') {
      ++at;
      if (arg_index >= args.size()) {
        return as_written(at);
      }
      int precision = 0;
      usable = StarValue(args[arg_index++], precision) && usable;
      directive.precision = precision < 0 ? -1 : precision;  // as printf: negative means none
    } else {
      usable = ReadField(format, at, directive.precision) && usable;
      while (at < format.size() && IsDigit(format[at])) ++at;
    }
  }

  // Size prefixes: each argument already knows its own size.
  while (at < format.size()) {
    const wchar_t c = format[at];
    if (c == L'h' || c == L'l' || c == L'L' || c == L'w' || c == L'z' || c == L'j' || c == L't') {
      ++at;
    } else if (c == L'I') {
      ++at;
      const std::wstring_view rest = format.substr(at);
      if (rest.starts_with(L"32") || rest.starts_with(L"64")) {
        at += 2;
      }
    } else {
      break;
    }
  }

  if (at >= format.size()) {
    return as_written(format.size());
  }
  directive.conversion = format[at++];
  if (directive.conversion == L'%') {
    out.push_back(L'%');
    return at;
  }
  if (!IsConversion(directive.conversion) || !usable || arg_index >= args.size()) {
    return as_written(at);
  }
  EmitConversion(out, directive, args[arg_index++]);
  next_arg = arg_index;
  return at;
}

}  // namespace

std::wstring FormatText(std::wstring_view format, std::span<const FormatArg> args) {
  std::wstring out;
  out.reserve(format.size() + 16 * args.size());
  std::size_t next_arg = 0;
  std::size_t at = 0;
  while (at < format.size()) {
    const std::size_t percent = format.find(L'%', at);
    if (percent == std::wstring_view::npos) {
      out.append(format.substr(at));
      break;
    }
    out.append(format.substr(at, percent - at));
    at = Convert(format, percent, args, next_arg, out);
  }
  return out;
}

}  // namespace lantern
