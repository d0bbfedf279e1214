// `lantern pack`: the stub and a payload made into a bootstrapper, with no
// compiler involved. Every input is checked before anything is written; the
// bootstrapper is written to a new file beside the output and renamed into
// place only when complete, so a failure leaves no output, half-written or
// otherwise (an output that was there before stays as it was).
#pragma once

#include <cstdint>
#include <filesystem>

#include "pack/project.h"
#include "pe/result.h"

namespace lantern::pack {

// Told how far the payload's bytes have been written.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void Start(std::uint64_t total_bytes) = 0;
  virtual void Advance(std::uint64_t bytes) = 0;
  virtual void Finish() = 0;
};

struct PackSummary {
  std::filesystem::path output;
  std::filesystem::path stub;
  std::size_t payload_files = 0;
  std::uint64_t payload_bytes = 0;
  std::size_t compressed_files = 0;  // of the payload files
  bool shared_dictionary = false;    // they share a compression dictionary
  std::uint64_t output_size = 0;
};

// Makes the bootstrapper `options` describe. `default_stub` is used when the
// options name none. `progress` may be null.
pe::Result<PackSummary> Pack(const PackOptions& options, const std::filesystem::path& default_stub,
                             Progress* progress);

}  // namespace lantern::pack
