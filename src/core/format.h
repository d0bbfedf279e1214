// printf-style formatting of wide texts for log lines and string-table messages.
//
// Arguments carry their own type, so a format whose conversions do not match
// its arguments cannot read past them: a missing argument leaves its
// conversion in the text as written, and a mismatched one is shown as well as
// its type allows. Conversions: %s (wide text), %d %i %ld %u %x %X %0x %08x,
// %I64d and the other size prefixes, %c, %f %e %g (%.1f), %p and %%, with the
// usual flags, width and precision.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lantern {

class FormatArg {
 public:
  enum class Kind { Text, Signed, Unsigned, Real, Pointer };

  FormatArg(const wchar_t* text) : kind_(Kind::Text), text_(text ? text : L"(null)") {}
  FormatArg(const std::wstring& text) : kind_(Kind::Text), text_(text) {}
  FormatArg(std::wstring_view text) : kind_(Kind::Text), text_(text) {}
  FormatArg(int value) : FormatArg(static_cast<long long>(value), 32) {}
  FormatArg(long value) : FormatArg(static_cast<long long>(value), 8 * sizeof(long)) {}
  FormatArg(long long value) : FormatArg(value, 64) {}
  FormatArg(unsigned value) : FormatArg(static_cast<unsigned long long>(value), 32) {}
  FormatArg(unsigned long value) : FormatArg(static_cast<unsigned long long>(value), 8 * sizeof(long)) {}
  FormatArg(unsigned long long value) : FormatArg(value, 64) {}
  FormatArg(double value) : kind_(Kind::Real), real_(value) {}
  FormatArg(const void* pointer)
      : kind_(Kind::Pointer), bits_(reinterpret_cast<std::uintptr_t>(pointer)), width_(8 * sizeof(void*)) {}

  Kind kind() const { return kind_; }
  std::wstring_view text() const { return text_; }
  // The value's bits, zero-extended from its own width.
  std::uint64_t bits() const { return bits_; }
  // The value's own width in bits: 32 or 64.
  unsigned width() const { return width_; }
  double real() const { return real_; }

 private:
  FormatArg(long long value, unsigned width)
      : kind_(Kind::Signed), bits_(Truncate(static_cast<std::uint64_t>(value), width)), width_(width) {}
  FormatArg(unsigned long long value, unsigned width)
      : kind_(Kind::Unsigned), bits_(Truncate(value, width)), width_(width) {}
  static std::uint64_t Truncate(std::uint64_t v, unsigned width) {
    return width >= 64 ? v : (v & ((std::uint64_t{1} << width) - 1));
  }

  Kind kind_;
  std::wstring_view text_;
  std::uint64_t bits_ = 0;
  unsigned width_ = 0;
  double real_ = 0.0;
};

// Formats `format` with `args`. Never fails and never reads past `args`.
std::wstring FormatText(std::wstring_view format, std::span<const FormatArg> args);

template <class... Args>
std::wstring Format(std::wstring_view format, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatText(format, {});
  } else {
    const FormatArg list[] = {FormatArg(args)...};
    return FormatText(format, list);
  }
}

}  // namespace lantern
