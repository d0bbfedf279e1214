#include "pack/pending_output.h"

#include <system_error>

#include "pack/text.h"

namespace lantern::pack {

PendingOutput::PendingOutput(std::filesystem::path output)
    : output_(std::move(output)), partial_(output_.string() + ".partial") {}

PendingOutput::~PendingOutput() {
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(partial_, ignored);
  }
}

pe::Status PendingOutput::Commit() {
  std::error_code error;
  std::filesystem::rename(partial_, output_, error);
  if (error) {
    // Some systems do not rename over an existing file.
    std::error_code removed;
    std::filesystem::remove(output_, removed);
    error.clear();
    std::filesystem::rename(partial_, output_, error);
  }
  if (error)
    return pe::Failure{"the output '" + ShowPath(output_) + "' cannot be written: " + error.message()};
  committed_ = true;
  return pe::Done{};
}

}  // namespace lantern::pack
