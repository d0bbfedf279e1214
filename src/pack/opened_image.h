// A program on disk opened for the tool: its file, its headers and its
// resource tree, each read once and checked; and what its stub and decoder
// markers say.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "pe/result.h"

namespace lantern::pack {

struct OpenedImage {
  std::shared_ptr<pe::FileSource> file;
  pe::Image image;
  std::vector<pe::ResourceEntry> resources;
};

// Opens `path`; a failure's message starts with `named` ("the stub 'x.exe'"):
// "... does not exist", "... is not a Windows program: <why>", "... has
// resources that cannot be read: <why>".
pe::Result<OpenedImage> OpenImage(const std::filesystem::path& path, const std::string& named);

// The text of the stub marker the program carries ("Lantern stub 0.1.0"),
// or nothing when it carries none.
pe::Result<std::optional<std::string>> StubMarkerText(const OpenedImage& opened);

// The text of the decoder marker ("zstd"), or nothing when the program
// carries none: a stub without it cannot decode compressed payload files.
pe::Result<std::optional<std::string>> DecoderMarkerText(const OpenedImage& opened);

}  // namespace lantern::pack
