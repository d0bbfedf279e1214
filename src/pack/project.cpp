#include "pack/project.h"

#include <toml++/toml.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

#include "pack/text.h"

namespace lantern::pack {
namespace {

using pe::Failure;
using pe::Status;

std::string Show(const std::filesystem::path& path) { return ShowPath(path); }

// A path written in a project file: UTF-8, relative to the file's folder.
std::filesystem::path FromProject(const std::filesystem::path& base, std::string_view text) {
  const std::filesystem::path path = PathFromUtf8(text);
  return path.is_absolute() ? path : (base / path).lexically_normal();
}

// A path given on the command line: UTF-8, as the tool's entry made it.
std::filesystem::path FromArgument(std::string_view text) { return PathFromUtf8(text); }

std::string Where(const std::filesystem::path& file, const toml::node& node) {
  const auto& begin = node.source().begin;
  return Show(file) + ":" + std::to_string(begin.line) + ":" + std::to_string(begin.column);
}

Failure WrongKind(const std::filesystem::path& file, const toml::node& node, std::string_view key,
                  std::string_view wanted) {
  return Failure{Where(file, node) + ": '" + std::string(key) + "' must be " + std::string(wanted)};
}

std::optional<std::string> Text(const toml::node& node) {
  if (const auto* text = node.as_string()) return text->get();
  return std::nullopt;
}

Status ReadStrings(const std::filesystem::path& file, const toml::table& table, PackOptions& options) {
  for (const auto& [key, node] : table) {
    const auto id = ParseStringId(key.str());
    if (!id) {
      return Failure{Where(file, node) + ": strings id '" + std::string(key.str()) +
                     "' is not a number from 0 to 65535"};
    }
    const auto text = Text(node);
    if (!text) return WrongKind(file, node, key.str(), "a text");
    options.strings.emplace_back(*id, *text);
  }
  return pe::Done{};
}

Status ReadRaw(const std::filesystem::path& file, const std::filesystem::path& base, const toml::table& table,
               PackOptions& options) {
  options.raw = true;
  for (const auto& [key, node] : table) {
    if (key.str() == "catalogue") {
      const auto text = Text(node);
      if (!text) return WrongKind(file, node, "catalogue", "a path");
      options.raw_catalogue = FromProject(base, *text);
    } else if (key.str() == "resources") {
      const auto* resources = node.as_table();
      if (!resources) return WrongKind(file, node, "resources", "a table of ids and paths");
      for (const auto& [id, path] : *resources) {
        const auto text = Text(path);
        if (!text) return WrongKind(file, path, id.str(), "a path");
        options.raw_resources.emplace_back(std::string(id.str()), FromProject(base, *text));
      }
    } else {
      return Failure{Where(file, node) + ": unknown key 'raw." + std::string(key.str()) + "'"};
    }
  }
  return pe::Done{};
}

}  // namespace

const char kPackUsage[] =
    "usage: lantern pack [<project.toml>] [options]\n"
    "\n"
    "Turns the stub and a payload into a bootstrapper. Options add to the project\n"
    "file's payload and strings and replace its other values.\n"
    "\n"
    "  -o, --output <file>        the bootstrapper to write\n"
    "  --stub <file>              the stub (default: the one installed with this tool,\n"
    "                             lantern-stub-zstd.exe with --compress, else lantern-stub.exe)\n"
    "  --payload <file>           a payload file, named by its file name (again for more)\n"
    "  --payload-dir <dir>        every file below <dir>, named by its relative path\n"
    "  --front-end <name>         the payload name of the program the bootstrapper starts\n"
    "  --string <id>=<text>       set an entry of the string table\n"
    "  --omit-string <id>         leave an entry out of the string table\n"
    "  --banner <bmp>             the notice's banner, 634 x 78, 24 or 8 bits per pixel (or RLE8)\n"
    "  --splash <bmp>             the splash picture, 425 x 208, 24 or 8 bits per pixel (or RLE8)\n"
    "  --icon <ico>               the application icon\n"
    "  --version <a.b.c.d>        the version record's and About box's version\n"
    "  --copyright <text>         the copyright line (at most 46 characters)\n"
    "  --info <file>              append the information block (signed builds: stamp it after\n"
    "                             signing instead, or seal it with --seal-info)\n"
    "  --seal-info                seal the information block: signing covers it, and the\n"
    "                             bootstrapper ignores any block added after signing\n"
    "  --compress                 compress each payload file (zstd, level 19, 4 MB window) where\n"
    "                             that makes it smaller; the bootstrapper decodes it as it writes\n"
    "  --resource <id>=<file>     raw mode: exactly these \"TOOLKIT\" resources, unchecked\n"
    "  --catalogue <file>         raw mode: these bytes as the catalogue\n"
    "  --raw                      raw mode, also without any resource\n"
    "  --check                    check everything, write nothing\n"
    "  -q, --quiet                no progress and no summary\n"
    "  --context <text>           put before every message\n";

std::optional<std::uint16_t> ParseStringId(std::string_view text) {
  unsigned value = 0;
  if (text.empty() || text.size() > 5) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

Status ReadProjectFile(const std::filesystem::path& file, PackOptions& options) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return Failure{"the project file '" + Show(file) + "' cannot be read"};
  std::ostringstream text;
  text << stream.rdbuf();
  if (stream.bad()) return Failure{"the project file '" + Show(file) + "' cannot be read"};

  auto parsed = toml::parse(text.str(), Show(file));
  if (!parsed) {
    const auto& error = parsed.error();
    return Failure{Show(file) + ":" + std::to_string(error.source().begin.line) + ":" +
                   std::to_string(error.source().begin.column) + ": " + std::string(error.description())};
  }
  const toml::table& table = parsed.table();
  const std::filesystem::path base = file.parent_path();

  for (const auto& entry : table) {
    // Not a structured binding: the lambdas below take the node by reference.
    const std::string_view key = entry.first.str();
    const toml::node& node = entry.second;
    const auto path_value = [&](std::filesystem::path& target) -> Status {
      const auto value = Text(node);
      if (!value) return WrongKind(file, node, key, "a path");
      target = FromProject(base, *value);
      return pe::Done{};
    };
    const auto optional_path = [&](std::optional<std::filesystem::path>& target) -> Status {
      std::filesystem::path path;
      Status status = path_value(path);
      if (status) target = path;
      return status;
    };
    Status status = pe::Done{};
    if (key == "output") {
      status = path_value(options.output);
    } else if (key == "stub") {
      status = path_value(options.stub);
    } else if (key == "payload_dir") {
      status = path_value(options.payload_dir);
    } else if (key == "info") {
      status = path_value(options.info);
    } else if (key == "banner") {
      status = optional_path(options.branding.banner);
    } else if (key == "splash") {
      status = optional_path(options.branding.splash);
    } else if (key == "icon") {
      status = optional_path(options.branding.icon);
    } else if (key == "front_end" || key == "version" || key == "copyright") {
      const auto value = Text(node);
      if (!value) return WrongKind(file, node, key, "a text");
      if (key == "front_end") options.front_end = *value;
      if (key == "version") options.branding.version = *value;
      if (key == "copyright") options.branding.copyright = *value;
    } else if (key == "seal_info" || key == "compress") {
      const auto* value = node.as_boolean();
      if (!value) return WrongKind(file, node, key, "true or false");
      (key == "compress" ? options.compress : options.seal_info) = value->get();
    } else if (key == "payload") {
      const auto* list = node.as_array();
      if (!list) return WrongKind(file, node, key, "a list of paths");
      for (const toml::node& item : *list) {
        const auto value = Text(item);
        if (!value) return WrongKind(file, item, key, "a list of paths");
        options.payload.push_back(FromProject(base, *value));
      }
    } else if (key == "omit_strings") {
      const auto* list = node.as_array();
      if (!list) return WrongKind(file, node, key, "a list of ids");
      for (const toml::node& item : *list) {
        const auto number = item.value<std::int64_t>();
        if (!item.is_integer() || !number || *number < 0 || *number > 0xFFFF) {
          return Failure{Where(file, item) + ": omit_strings id is not a number from 0 to 65535"};
        }
        options.omit_strings.push_back(static_cast<std::uint16_t>(*number));
      }
    } else if (key == "strings") {
      const auto* strings = node.as_table();
      if (!strings) return WrongKind(file, node, key, "a table of ids and texts");
      status = ReadStrings(file, *strings, options);
    } else if (key == "raw") {
      const auto* raw = node.as_table();
      if (!raw) return WrongKind(file, node, key, "a table");
      status = ReadRaw(file, base, *raw, options);
    } else {
      return Failure{Where(file, node) + ": unknown key '" + std::string(key) + "'"};
    }
    if (!status) return status;
  }
  return pe::Done{};
}

pe::Result<PackOptions> ParsePackArguments(std::span<const std::string> arguments) {
  PackOptions options;
  std::size_t at = 0;
  if (!arguments.empty() && !arguments[0].empty() && arguments[0][0] != '-') {
    Status status = ReadProjectFile(FromArgument(arguments[0]), options);
    if (!status) return status.AsFailure();
    at = 1;
  }
  // The command line's single values replace the file's; they are collected
  // first so that a later --payload still adds to the file's list.
  for (; at < arguments.size(); ++at) {
    const std::string& option = arguments[at];
    const auto value = [&]() -> std::optional<std::string> {
      if (at + 1 >= arguments.size()) return std::nullopt;
      return arguments[++at];
    };
    const auto needs_value = [&]() { return Failure{"the option '" + option + "' needs a value"}; };
    if (option == "--check") {
      options.check_only = true;
    } else if (option == "-q" || option == "--quiet") {
      options.quiet = true;
    } else if (option == "--raw") {
      options.raw = true;
    } else if (option == "--seal-info") {
      options.seal_info = true;
    } else if (option == "--compress") {
      options.compress = true;
    } else if (option == "-o" || option == "--output" || option == "--stub" || option == "--payload" ||
               option == "--payload-dir" || option == "--front-end" || option == "--banner" ||
               option == "--splash" || option == "--icon" || option == "--version" ||
               option == "--copyright" || option == "--info" || option == "--catalogue" ||
               option == "--context" || option == "--string" || option == "--omit-string" ||
               option == "--resource") {
      const auto text = value();
      if (!text) return needs_value();
      if (option == "-o" || option == "--output") options.output = FromArgument(*text);
      if (option == "--stub") options.stub = FromArgument(*text);
      if (option == "--payload") options.payload.push_back(FromArgument(*text));
      if (option == "--payload-dir") options.payload_dir = FromArgument(*text);
      if (option == "--front-end") options.front_end = *text;
      if (option == "--banner") options.branding.banner = FromArgument(*text);
      if (option == "--splash") options.branding.splash = FromArgument(*text);
      if (option == "--icon") options.branding.icon = FromArgument(*text);
      if (option == "--version") options.branding.version = *text;
      if (option == "--copyright") options.branding.copyright = *text;
      if (option == "--info") options.info = FromArgument(*text);
      if (option == "--context") options.context = *text;
      if (option == "--catalogue") {
        options.raw = true;
        options.raw_catalogue = FromArgument(*text);
      }
      if (option == "--string" || option == "--resource") {
        const auto equals = text->find('=');
        if (equals == std::string::npos) {
          return Failure{"the option '" + option + "' takes <id>=<" +
                         (option == "--string" ? "text" : "file") + ">, not '" + *text + "'"};
        }
        const std::string id = text->substr(0, equals);
        if (option == "--string") {
          const auto number = ParseStringId(id);
          if (!number) return Failure{"STRINGS id '" + id + "' is not a number from 0 to 65535"};
          options.strings.emplace_back(*number, text->substr(equals + 1));
        } else {
          options.raw = true;
          options.raw_resources.emplace_back(id, FromArgument(text->substr(equals + 1)));
        }
      }
      if (option == "--omit-string") {
        const auto number = ParseStringId(*text);
        if (!number) return Failure{"OMIT_STRINGS id '" + *text + "' is not a number"};
        options.omit_strings.push_back(*number);
      }
    } else {
      return Failure{"unknown option '" + option + "' (lantern pack --help lists them)"};
    }
  }
  return options;
}

}  // namespace lantern::pack
