// What `lantern pack` is asked to make: the stub, the payload, the string
// table's changes, the branding, the information block and the output. It
// comes from a project file (TOML, kept in version control beside the
// product's build), from the command line, or both: the command line adds
// payload files and string entries to the file's and replaces its single
// values.
//
// A project file, with every key it may hold (paths relative to the file):
//
//   output      = "MyProductSetup.exe"
//   stub        = "lantern-stub.exe"          # default: the one installed with the tool
//                                             # (lantern-stub-zstd.exe when compressing)
//   front_end   = "Frontend.exe"
//   payload     = ["bin/Frontend.exe", "bin/Frontend.exe.config"]
//   payload_dir = "payload"
//   omit_strings = [137]
//   banner = "art/banner.bmp"                 # splash, icon the same way
//   version = "1.2.0.15"
//   copyright = "Copyright (C) 2026 Example Ltd"
//   info = "info.xml"
//   seal_info = true                          # the block covered by the signature
//   compress = true                           # payload files compressed (zstd) where it helps
//
//   [strings]
//   1 = "My Product Download"
//   103 = "500"
//
//   [raw]                                     # for tests: exactly these resources
//   resources = { 102 = "bytes.bin", NAMED = "other.bin" }
//   catalogue = "catalogue.txt"
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pack/branding.h"
#include "pe/result.h"

namespace lantern::pack {

struct PackOptions {
  std::filesystem::path output;
  std::filesystem::path stub;  // empty: the tool's default stub
  std::string front_end;
  std::vector<std::filesystem::path> payload;
  std::filesystem::path payload_dir;
  // Raw mode: exactly these "TOOLKIT" resources (id, or a plain name) and
  // these bytes as the catalogue, with no checks of their content.
  bool raw = false;
  std::vector<std::pair<std::string, std::filesystem::path>> raw_resources;
  std::filesystem::path raw_catalogue;
  // String-table entries set (UTF-8) and left out, in the order given.
  std::vector<std::pair<std::uint16_t, std::string>> strings;
  std::vector<std::uint16_t> omit_strings;
  Branding branding;
  std::filesystem::path info;
  // The information block sealed: placed where the signed bytes will end, so
  // that the signature covers it, and the only block the bootstrapper takes.
  bool seal_info = false;
  // Each payload file compressed (zstd) where that makes it smaller; off, the
  // build is as one made before compression existed.
  bool compress = false;
  // Check everything and write nothing.
  bool check_only = false;
  bool quiet = false;
  // Put before every message (the CMake function names its target so).
  std::string context;
};

// Reads a project file into `options`; relative paths are taken from the
// file's folder. Fails for a file that cannot be read, TOML that does not
// parse (with its line and column), an unknown key or a value of the wrong kind.
pe::Status ReadProjectFile(const std::filesystem::path& file, PackOptions& options);

// The arguments of `lantern pack` (after the word "pack"): an optional
// project file first, then options. Fails with a usage message.
pe::Result<PackOptions> ParsePackArguments(std::span<const std::string> arguments);

// The options `lantern pack --help` describes.
extern const char kPackUsage[];

// A string-table id given as text: a number from 0 to 65535.
std::optional<std::uint16_t> ParseStringId(std::string_view text);

}  // namespace lantern::pack
