#include "pack/pack.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "core/embedded_info.h"
#include "core/payload_compression.h"
#include "pack/branding.h"
#include "pack/compress.h"
#include "pack/information_block.h"
#include "pack/opened_image.h"
#include "pack/payload.h"
#include "pack/pending_output.h"
#include "pack/string_table_resource.h"
#include "pack/stub.h"
#include "pack/text.h"
#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "pe/rewrite.h"

namespace lantern::pack {
namespace {

using pe::Done;
using pe::Failure;
using pe::Result;
using pe::Status;

// A payload file's bytes, counted as the writer reads them.
class CountingSource final : public pe::ByteSource {
 public:
  CountingSource(std::shared_ptr<pe::ByteSource> inner, Progress* progress)
      : inner_(std::move(inner)), progress_(progress) {}
  std::uint64_t Size() const override { return inner_->Size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    const bool read = inner_->ReadAt(offset, out);
    if (read && progress_) progress_->Advance(out.size());
    return read;
  }

 private:
  std::shared_ptr<pe::ByteSource> inner_;
  Progress* progress_;
};

Result<std::shared_ptr<pe::ByteSource>> OpenPayloadFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return Failure{"payload file '" + ShowPath(path) + "' does not exist"};
  }
  auto file = pe::FileSource::Open(path);
  if (!file) return file.AsFailure();
  return std::shared_ptr<pe::ByteSource>(std::move(file).Value());
}

std::shared_ptr<pe::ByteSource> BytesSource(std::string_view text) {
  return std::make_shared<pe::MemorySource>(std::vector<std::uint8_t>(text.begin(), text.end()));
}

// The payload's resources and the number of files and bytes they carry.
struct PayloadPlan {
  std::vector<pe::Resource> resources;
  std::size_t files = 0;
  std::uint64_t bytes = 0;
  std::size_t compressed = 0;
  bool shared_dictionary = false;
};

Result<pe::ResourceId> RawResourceId(const std::string& text) {
  if (const auto number = ParseStringId(text); number && *number != 0) return pe::ResourceId(*number);
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
  if (!plain || (text[0] >= '0' && text[0] <= '9')) {
    return Failure{"RESOURCES id '" + text + "' must be a number or a plain name"};
  }
  return pe::ResourceId(std::u16string(text.begin(), text.end()));
}

Result<PayloadPlan> PlanPayload(const PackOptions& options) {
  PayloadPlan plan;
  // The catalogue is written like a payload file but counts as none.
  const auto add = [&](pe::ResourceId name, std::shared_ptr<pe::ByteSource> data) {
    if (!(name == pe::ResourceId(kCatalogueId))) plan.bytes += data->Size();
    plan.resources.push_back(
        pe::Resource{{kPayloadType, std::move(name), kResourceLanguage}, std::move(data)});
  };
  if (options.raw) {
    if (options.compress) {
      return Failure{"COMPRESS (--compress) packs a payload; raw mode's resources are written as they are"};
    }
    if (!options.payload.empty() || !options.payload_dir.empty() || !options.front_end.empty()) {
      return Failure{
          "RESOURCES and CATALOGUE (raw mode) cannot be combined with PAYLOAD, PAYLOAD_DIR or FRONT_END"};
    }
    std::set<pe::ResourceId> seen;
    for (const auto& [id_text, path] : options.raw_resources) {
      auto id = RawResourceId(id_text);
      if (!id) return id.AsFailure();
      if (!seen.insert(id.Value()).second) return Failure{"RESOURCES id '" + id_text + "' is given twice"};
      auto data = OpenPayloadFile(path);
      if (!data) return data.AsFailure();
      add(std::move(id).Value(), std::move(data).Value());
      ++plan.files;
    }
    if (!options.raw_catalogue.empty()) {
      if (seen.contains(pe::ResourceId(kCatalogueId)))
        return Failure{"RESOURCES id '101' is the catalogue's"};
      auto data = OpenPayloadFile(options.raw_catalogue);
      if (!data) return data.AsFailure();
      add(kCatalogueId, std::move(data).Value());
    }
    return plan;
  }

  auto files = CollectPayload(options.payload, options.payload_dir);
  if (!files) return files.AsFailure();
  auto entries = PlanCatalogue(files.Value(), options.front_end);
  if (!entries) return entries.AsFailure();
  std::vector<std::shared_ptr<pe::ByteSource>> sources;
  for (const CatalogueEntry& entry : entries.Value()) {
    auto data = OpenPayloadFile(entry.source);
    if (!data) return data.AsFailure();
    // A file that changed size since it was measured would not match its
    // catalogue entry; the bootstrapper would refuse it as corrupt.
    if (data.Value()->Size() != entry.size) {
      return Failure{"payload file '" + ShowPath(entry.source) + "' changed while it was being packed"};
    }
    sources.push_back(std::move(data).Value());
  }
  // Compressed files take the place of their sources; the catalogue keeps
  // every file's own size, which the bootstrapper checks what it decodes against.
  CompressionList compressed_ids;
  std::optional<std::vector<std::uint8_t>> dictionary;
  if (options.compress) {
    auto compressed = CompressPayloadFiles(sources);
    if (!compressed) return compressed.AsFailure();
    for (std::size_t i = 0; i < sources.size(); ++i) {
      if (!compressed->files[i]) continue;
      sources[i] = std::make_shared<pe::MemorySource>(std::move(*compressed->files[i]));
      compressed_ids.ids.insert(entries.Value()[i].id);
    }
    dictionary = std::move(compressed->dictionary);
    compressed_ids.dictionary = dictionary.has_value();
  }
  for (std::size_t i = 0; i < sources.size(); ++i) {
    plan.bytes += entries.Value()[i].size;
    plan.resources.push_back(pe::Resource{
        {kPayloadType, pe::ResourceId(entries.Value()[i].id), kResourceLanguage}, std::move(sources[i])});
  }
  plan.files = entries->size();
  plan.compressed = compressed_ids.ids.size();
  plan.shared_dictionary = compressed_ids.dictionary;
  add(kCatalogueId, BytesSource(CatalogueText(entries.Value())));
  // Only a build with compressed files says so: one without is the same as
  // a build made before compression existed.
  if (!compressed_ids.ids.empty()) {
    const pe::ResourceKey key{pe::kTypeRcData, pe::ResourceId(kCompressedPayloadName), kResourceLanguage};
    plan.resources.push_back(pe::Resource{key, BytesSource(CompressionListText(compressed_ids))});
  }
  if (dictionary) {
    const pe::ResourceKey key{pe::kTypeRcData, pe::ResourceId(kCompressionDictionaryName), kResourceLanguage};
    plan.resources.push_back(pe::Resource{key, std::make_shared<pe::MemorySource>(std::move(*dictionary))});
  }
  return plan;
}

// The stub, read and checked to be this Lantern's.
using Stub = OpenedImage;

Result<Stub> OpenStub(const std::filesystem::path& path) {
  const std::string shown = ShowPath(path);
  auto opened = OpenImage(path, "the stub '" + shown + "'");
  if (!opened) return opened.AsFailure();
  Stub stub = std::move(opened).Value();
  auto marker = StubMarkerText(stub);
  if (!marker) return Failure{"the stub '" + shown + "': " + marker.Message()};
  if (!marker.Value()) return Failure{"'" + shown + "' is not a Lantern stub (it carries no stub marker)"};
  const std::string& text = *marker.Value();
  const std::string expected = std::string(kStubMarkerPrefix) + std::string(kLanternVersion);
  if (text != expected) {
    const std::string version =
        text.starts_with(kStubMarkerPrefix) ? text.substr(kStubMarkerPrefix.size()) : "an unknown version";
    return Failure{"the stub '" + shown + "' is the stub of Lantern " + version +
                   "; this tool packs the stub of Lantern " + std::string(kLanternVersion)};
  }
  const bool has_payload =
      std::any_of(stub.resources.begin(), stub.resources.end(),
                  [](const pe::ResourceEntry& e) { return e.key.type == pe::ResourceId(kPayloadType); });
  if (has_payload) {
    return Failure{"'" + shown + "' already carries a payload: pack from the stub, not from a bootstrapper"};
  }
  return stub;
}

// A compressed build runs only on a stub that decodes: the plain stub would
// fail every compressed file.
Status CheckStubDecodes(const Stub& stub, const std::filesystem::path& path) {
  auto marker = DecoderMarkerText(stub);
  if (!marker) return Failure{"the stub '" + ShowPath(path) + "': " + marker.Message()};
  if (marker.Value() && *marker.Value() == kDecoderMarkerText) return Done{};
  return Failure{
      "the stub '" + ShowPath(path) +
      "' has no decoder, so it cannot extract compressed files: with COMPRESS (--compress) pack from " +
      std::string(kDecoderStubFileName) + ", or build without compression"};
}

Result<StringEntries> ChangedStrings(const Stub& stub, const PackOptions& options) {
  auto table = ReadStringTable(*stub.file, stub.resources, kResourceLanguage);
  if (!table) return Failure{"the stub's string table cannot be read: " + table.Message()};
  StringEntries strings = std::move(table).Value();
  for (const auto& [id, text] : options.strings) {
    auto wide = Utf16FromUtf8(text);
    if (!wide) return Failure{"STRINGS entry " + std::to_string(id) + " is not UTF-8 text"};
    strings[id] = std::move(*wide);
  }
  for (const std::uint16_t id : options.omit_strings) strings.erase(id);
  Status fits = CheckStringTableEntries(strings);
  if (!fits) return fits.AsFailure();
  return strings;
}

// The stub's resources that stay: all but its string table and what the
// branding replaces (every icon image goes with a new icon group).
std::vector<pe::Resource> KeptResources(const Stub& stub, const std::vector<pe::Resource>& replacing) {
  std::set<std::pair<pe::ResourceId, pe::ResourceId>> replaced;
  bool new_icons = false;
  for (const pe::Resource& resource : replacing) {
    replaced.emplace(resource.key.type, resource.key.name);
    new_icons = new_icons || resource.key.type == pe::ResourceId(pe::kTypeGroupIcon);
  }
  std::vector<pe::Resource> kept;
  for (const pe::ResourceEntry& entry : stub.resources) {
    const pe::ResourceId& type = entry.key.type;
    if (type == pe::ResourceId(pe::kTypeString) && entry.key.language == kResourceLanguage) continue;
    if (new_icons && (type == pe::ResourceId(pe::kTypeIcon) || type == pe::ResourceId(pe::kTypeGroupIcon)))
      continue;
    if (replaced.contains({type, entry.key.name})) continue;
    kept.push_back(pe::ResourceFromImage(stub.file, entry));
  }
  return kept;
}

Status CheckOutput(const PackOptions& options, const std::filesystem::path& stub) {
  const std::filesystem::path& output = options.output;
  if (output.empty()) return Failure{"no output is named (-o <file>, or \"output\" in the project file)"};
  std::error_code error;
  if (std::filesystem::is_directory(output, error))
    return Failure{"the output '" + ShowPath(output) + "' is a folder"};
  const auto same = [&](const std::filesystem::path& other) {
    std::error_code ignored;
    return !other.empty() && std::filesystem::equivalent(output, other, ignored);
  };
  if (same(stub)) return Failure{"the output '" + ShowPath(output) + "' would replace the stub"};
  for (const auto& path : options.payload) {
    if (same(path)) return Failure{"the output '" + ShowPath(output) + "' would replace a payload file"};
  }
  return Done{};
}

}  // namespace

Result<PackSummary> Pack(const PackOptions& options, const std::filesystem::path& default_stub,
                         Progress* progress) {
  const std::filesystem::path stub_path = options.stub.empty() ? default_stub : options.stub;
  if (stub_path.empty()) {
    return Failure{options.compress ? "no stub is named and " + std::string(kDecoderStubFileName) +
                                          ", the stub that decodes compressed payloads, was not found beside "
                                          "the tool (--stub <file>)"
                                    : "no stub is named and none was found beside the tool (--stub <file>)"};
  }
  if (!options.check_only) {
    Status output = CheckOutput(options, stub_path);
    if (!output) return output.AsFailure();
  }

  // Every input is checked before the output is opened; the stub before the
  // payload, whose compression can take a while.
  auto stub = OpenStub(stub_path);
  if (!stub) return stub.AsFailure();
  if (options.compress && !options.raw) {
    Status decodes = CheckStubDecodes(stub.Value(), stub_path);
    if (!decodes) return decodes.AsFailure();
  }
  auto payload = PlanPayload(options);
  if (!payload) return payload.AsFailure();
  // Raw mode's resources are not planned as a payload; they meet the same limit.
  if (payload->bytes > kMaxPayloadBytes) return Failure{PayloadTooLarge("payload", payload->bytes)};
  auto branding = BrandingResources(options.branding, std::string(kLanternVersion) + ".0");
  if (!branding) return branding.AsFailure();
  if (options.seal_info && options.info.empty()) {
    return Failure{"SEAL_INFO (--seal-info) needs an information block to seal (INFO, --info <file>)"};
  }
  std::vector<std::uint8_t> info;
  if (!options.info.empty()) {
    auto block = InformationBlockFromFile(options.info, "INFO file");
    if (!block) return block.AsFailure();
    info = std::move(block).Value();
  }
  auto strings = ChangedStrings(stub.Value(), options);
  if (!strings) return strings.AsFailure();

  std::vector<pe::Resource> resources = KeptResources(stub.Value(), branding.Value());
  for (pe::Resource& resource : branding.Value()) resources.push_back(std::move(resource));
  for (pe::Resource& resource : StringTableResources(strings.Value(), kResourceLanguage)) {
    resources.push_back(std::move(resource));
  }
  // The bootstrapper learns that its block is sealed from a resource, which
  // the signature covers as it covers the block.
  if (options.seal_info) {
    const pe::ResourceKey key{pe::kTypeRcData, pe::ResourceId(kSealedInformationName), kResourceLanguage};
    resources.emplace_back(pe::Resource{key, BytesSource("sealed")});
  }
  // Progress counts every byte the payload's resources give, the catalogue's too.
  std::uint64_t progress_total = 0;
  for (pe::Resource& resource : payload->resources) {
    progress_total += resource.data->Size();
    resource.data = std::make_shared<CountingSource>(std::move(resource.data), progress);
    resources.push_back(std::move(resource));
  }
  PackSummary summary;
  summary.output = options.output;
  summary.stub = stub_path;
  summary.payload_files = payload->files;
  summary.payload_bytes = payload->bytes;
  summary.compressed_files = payload->compressed;
  summary.shared_dictionary = payload->shared_dictionary;
  if (options.check_only) return summary;

  PendingOutput pending(options.output);
  auto sink = pe::FileSink::Create(pending.Partial());
  if (!sink)
    return Failure{"the output '" + ShowPath(options.output) + "' cannot be written: " + sink.Message()};
  if (progress) progress->Start(progress_total);
  // A sealed block ends the file at a multiple of 8 bytes, where a signing
  // tool puts the certificate table without padding: the block then ends
  // exactly where the signed bytes do.
  auto written = pe::WriteWithResources(*stub->file, stub->image, resources, *sink.Value(), info,
                                        options.seal_info ? kSealedInformationAlignment : 1);
  Status finished = sink.Value()->Finish();
  if (progress) progress->Finish();
  if (!written) return Failure{"writing '" + ShowPath(options.output) + "' failed: " + written.Message()};
  if (!finished) return Failure{"writing '" + ShowPath(options.output) + "' failed: " + finished.Message()};
  Status committed = pending.Commit();
  if (!committed) return committed.AsFailure();
  summary.output_size = written->output_size;
  return summary;
}

}  // namespace lantern::pack
