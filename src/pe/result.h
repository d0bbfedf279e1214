// What a step of reading or writing an image gives back: its value, or a
// message for people that says what was wrong ("the section table runs past
// the end of the file"). Nothing here throws for a bad file; every fault in
// the input becomes such a message.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace lantern::pe {

// A failed step's message; a Result of any type is made from it.
struct Failure {
  std::string message;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(Failure failure) : message_(std::move(failure.message)) {}

  bool Ok() const { return value_.has_value(); }
  explicit operator bool() const { return Ok(); }

  // The value; only when Ok().
  const T& Value() const& { return *value_; }
  T& Value() & { return *value_; }
  // Taken out of a temporary result as a value, so that it outlives the result.
  T Value() && { return std::move(*value_); }
  const T* operator->() const { return &*value_; }
  T* operator->() { return &*value_; }

  // Why the step failed; empty when Ok().
  const std::string& Message() const { return message_; }
  // The failure again, to hand up to a caller of another result type.
  Failure AsFailure() const { return Failure{message_}; }

 private:
  std::optional<T> value_;
  std::string message_;
};

// A step that gives back nothing but whether it worked.
struct Done {};
using Status = Result<Done>;

}  // namespace lantern::pe
