// An output file written under a temporary name beside it and renamed into
// place only when complete, so that a failure leaves no output and an older
// one untouched.
#pragma once

#include <filesystem>
#include <system_error>

#include "pack/text.h"
#include "pe/result.h"

namespace lantern::pack {

class PendingOutput {
 public:
  explicit PendingOutput(std::filesystem::path output)
      : output_(std::move(output)), partial_(output_.string() + ".partial") {}
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;
  ~PendingOutput() {
    if (!committed_) {
      std::error_code ignored;
      std::filesystem::remove(partial_, ignored);
    }
  }
  const std::filesystem::path& Partial() const { return partial_; }

  pe::Status Commit() {
    std::error_code error;
    std::filesystem::rename(partial_, output_, error);
    if (error) {
      // Some systems do not rename over an existing file.
      std::error_code removed;
      std::filesystem::remove(output_, removed);
      error.clear();
      std::filesystem::rename(partial_, output_, error);
    }
    if (error) return pe::Failure{"the output '" + ShowPath(output_) + "' cannot be written: " + error.message()};
    committed_ = true;
    return pe::Done{};
  }

 private:
  std::filesystem::path output_;
  std::filesystem::path partial_;
  bool committed_ = false;
};

}  // namespace lantern::pack
