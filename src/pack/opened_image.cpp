#include "pack/opened_image.h"

#include <algorithm>
#include <system_error>

#include "pack/stub.h"

namespace lantern::pack {

pe::Result<OpenedImage> OpenImage(const std::filesystem::path& path, const std::string& named) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return pe::Failure{named + " does not exist"};
  auto file = pe::FileSource::Open(path);
  if (!file) return file.AsFailure();
  OpenedImage opened{std::move(file).Value(), {}, {}};
  auto image = pe::ReadImage(*opened.file);
  if (!image) return pe::Failure{named + " is not a Windows program: " + image.Message()};
  opened.image = std::move(image).Value();
  auto resources = pe::ReadResources(*opened.file, opened.image);
  if (!resources) return pe::Failure{named + " has resources that cannot be read: " + resources.Message()};
  opened.resources = std::move(resources).Value();
  return opened;
}

namespace {

// The bytes of the RCDATA resource `name` as text, or nothing when there is none.
pe::Result<std::optional<std::string>> RcDataText(const OpenedImage& opened, const char16_t* name) {
  const auto found =
      std::find_if(opened.resources.begin(), opened.resources.end(), [&](const pe::ResourceEntry& e) {
        return e.key.type == pe::ResourceId(pe::kTypeRcData) && e.key.name == pe::ResourceId(name);
      });
  if (found == opened.resources.end()) return std::optional<std::string>();
  auto bytes = pe::ReadResourceBytes(*opened.file, *found);
  if (!bytes) return bytes.AsFailure();
  return std::optional<std::string>(std::string(bytes->begin(), bytes->end()));
}

}  // namespace

pe::Result<std::optional<std::string>> StubMarkerText(const OpenedImage& opened) {
  return RcDataText(opened, kStubMarkerName);
}

pe::Result<std::optional<std::string>> DecoderMarkerText(const OpenedImage& opened) {
  return RcDataText(opened, kDecoderMarkerName);
}

}  // namespace lantern::pack
