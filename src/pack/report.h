// `lantern inspect`: what a bootstrapper carries, for people and for scripts,
// read from the file alone (nothing is run): the catalogue and each payload
// file, whether they agree with the resources, the string-table entries that
// differ from this Lantern's defaults, the pictures and version, the
// signature as it reads (not verified) and the information block. And
// `--extract`: the payload files written out, sub-folders kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/version_resource.h"
#include "pack/pack.h"
#include "pe/result.h"
#include "pe/signature.h"

namespace lantern::pack {

struct InspectedFile {
  std::uint16_t id = 0;
  std::string name;
  std::uint64_t size = 0;                      // as the catalogue says
  std::optional<std::uint64_t> resource_size;  // as the resource is; none when missing
  bool compressed = false;                     // the resource is zstd frames of the file
};

struct InspectedString {
  std::uint16_t id = 0;
  std::string state;  // "changed", "added" or "omitted"
  std::optional<std::string> text;
  std::optional<std::string> default_text;
};

struct InspectedPicture {
  std::string what;  // "banner", "splash"
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits = 0;
  std::uint64_t bytes = 0;
};

struct InspectReport {
  std::filesystem::path file;
  std::uint64_t size = 0;
  std::string machine;                         // "x86", "x64" or the machine's number
  std::optional<std::string> lantern_version;  // from the stub marker
  bool has_catalogue = false;
  std::string catalogue;  // its text as stored
  std::vector<InspectedFile> files;
  std::vector<std::string> unlisted;  // "TOOLKIT" resources the catalogue does not name
  std::vector<std::string> problems;  // where catalogue and resources disagree
  bool compressed = false;            // the build lists compressed files
  bool shares_dictionary = false;     // the list says they share a dictionary
  // The stored dictionary: its bytes, and what its frame says it decodes to.
  std::optional<std::uint64_t> dictionary_resource_size;
  std::optional<std::uint64_t> dictionary_size;
  std::vector<InspectedString> strings;
  std::vector<InspectedPicture> pictures;
  std::size_t icon_images = 0;
  std::optional<VersionRecord> version;
  std::optional<pe::SignatureSummary> signature;
  std::string signature_problem;  // a signature that cannot be read
  // The block the bootstrapper takes, as it would find it.
  std::optional<std::vector<std::uint8_t>> information;
  bool information_sealed = false;   // the build takes only a block the signature covers
  bool ignored_information = false;  // sealed: a block added after signing, which it passes over

  bool Agrees() const { return problems.empty(); }
};

pe::Result<InspectReport> Inspect(const std::filesystem::path& bootstrapper);

// For people: a few lines per part.
std::string ReportText(const InspectReport& report);
// For scripts: one JSON object (keys in the README).
std::string ReportJson(const InspectReport& report);

// Writes each payload file the catalogue names into `folder` (made if
// missing), in sub-folders as named. Every name is checked, and the catalogue
// must agree with the resources, before anything is written; an existing
// file is never replaced.
pe::Status Extract(const std::filesystem::path& bootstrapper, const std::filesystem::path& folder,
                   Progress* progress);

}  // namespace lantern::pack
