// A new file written beside the output (its name and ".partial") and renamed
// into place only when complete, so that a failure leaves no output,
// half-written or otherwise: an output that was there before stays as it was.
#pragma once

#include <filesystem>

#include "pe/result.h"

namespace lantern::pack {

class PendingOutput {
 public:
  explicit PendingOutput(std::filesystem::path output);
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;
  // Removes the partial file unless it was renamed into place.
  ~PendingOutput();

  const std::filesystem::path& Partial() const { return partial_; }
  // Renames the partial file to the output, replacing what was there.
  pe::Status Commit();

 private:
  std::filesystem::path output_;
  std::filesystem::path partial_;
  bool committed_ = false;
};

}  // namespace lantern::pack
