#include "pack/payload.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "pack/text.h"

namespace lantern::pack {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::vector<std::string_view> Parts(std::string_view name) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const std::size_t slash = name.find('\\', at);
    parts.push_back(name.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at));
    if (slash == std::string_view::npos) return parts;
    at = slash + 1;
  }
}

// The device a part names ("NUL", "COM1", ...), whatever its extension and
// the spaces before it; empty when it names none.
std::string DeviceName(std::string_view part) {
  const std::string upper = Upper(part);
  std::string_view stem(upper);
  stem = stem.substr(0, stem.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (stem == device) return std::string(stem);
  }
  if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '0' &&
      stem[3] <= '9') {
    return std::string(stem);
  }
  return {};
}

Failure NameFault(const std::string& name, const std::string& what) {
  return Failure{"payload name '" + name + "' " + what};
}

}  // namespace

bool IsProgramName(std::string_view name) {
  const std::size_t at = Lower(name).find(".exe");
  return at != std::string::npos && at > 0;
}

Status CheckPayloadNames(std::span<const std::string> names) {
  std::set<std::string> seen;
  for (const std::string& name : names) {
    if (name.empty()) return Failure{"a payload file has an empty name"};
    if (name.find('*') != std::string::npos) {
      return NameFault(name, "holds '*', which separates the catalogue's fields");
    }
    if (!std::all_of(name.begin(), name.end(), [](char c) { return c >= ' ' && c <= '~'; })) {
      return NameFault(name, "must be printable ASCII, so that it reads the same in every code page");
    }
    if (name.find_first_of("<>:\"|?/") != std::string::npos) {
      return NameFault(name, "holds a character that Windows does not allow in file names");
    }
    const auto parts = Parts(name);
    const bool outside = std::any_of(parts.begin(), parts.end(), [](std::string_view part) {
      return part.empty() || part == "." || part == "..";
    });
    if (outside) return NameFault(name, "must be a relative path inside the working folder");
    // Windows drops dots and spaces at the end of a file or folder name, so
    // "a.txt." would be written as "a.txt", over another file or beside the
    // name the catalogue gives.
    for (std::string_view part : parts) {
      if (part.back() == '.' || part.back() == ' ') {
        return NameFault(name,
                         "has a part that ends in a dot or a space, which Windows drops from file names");
      }
    }
    // A device name opens the device, not a file, whatever its extension and
    // in any folder: "NUL.txt" and "data\con" are no files.
    for (std::string_view part : parts) {
      if (const std::string device = DeviceName(part); !device.empty()) {
        return NameFault(
            name, "uses the device name '" + device + "', which Windows opens as a device, not a file");
      }
    }
    if (!seen.insert(Lower(name)).second) return Failure{"two payload files are both named '" + name + "'"};
  }
  // A file and a folder cannot share a name: "data" and "data\x.bin".
  for (const std::string& name : names) {
    std::string folder = Lower(name);
    for (std::size_t slash = folder.rfind('\\'); slash != std::string::npos; slash = folder.rfind('\\')) {
      folder.resize(slash);
      if (seen.contains(folder)) {
        return NameFault(name, "needs a folder of the same name as another payload file");
      }
    }
  }
  return pe::Done{};
}

Status CheckPayload(std::string_view front_end, std::span<const std::string> names) {
  Status checked = CheckPayloadNames(names);
  if (!checked) return checked;
  std::string listed;
  for (const std::string& name : names) listed += (listed.empty() ? "" : ";") + name;
  if (!front_end.empty()) {
    if (std::find(names.begin(), names.end(), front_end) == names.end()) {
      return Failure{"the front end '" + std::string(front_end) +
                     "' is not in the payload (payload: " + listed + ")"};
    }
    if (!IsProgramName(front_end)) {
      return Failure{"the front end '" + std::string(front_end) +
                     "' would not be started: its name must hold '.exe' after its first character"};
    }
    return pe::Done{};
  }
  std::string programs;
  std::string first;
  for (const std::string& name : names) {
    if (!IsProgramName(name)) continue;
    if (first.empty()) first = name;
    programs += (programs.empty() ? "" : ";") + name;
  }
  if (!first.empty()) {
    return Failure{"no FRONT_END is named, so the bootstrapper would start '" + first +
                   "' (payload names that look like programs: " + programs +
                   "); name the front end with FRONT_END"};
  }
  return pe::Done{};
}

Result<std::vector<PayloadFile>> CollectPayload(std::span<const std::filesystem::path> files,
                                                const std::filesystem::path& folder) {
  std::vector<PayloadFile> payload;
  for (const std::filesystem::path& file : files) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
      return Failure{"payload file '" + ShowPath(file) + "' does not exist"};
    }
    payload.push_back({file, ShowPath(file.filename())});
  }
  if (folder.empty()) return payload;

  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    return Failure{"PAYLOAD_DIR '" + ShowPath(folder) + "' is not a folder"};
  }
  // Links to files are followed (the file's bytes are packed); linked
  // folders are not entered, so that a link back up cannot loop.
  std::vector<std::pair<std::string, std::filesystem::path>> found;
  std::filesystem::recursive_directory_iterator walk(folder, std::filesystem::directory_options::none, error);
  const auto unreadable = [&](const std::error_code& why) {
    return Failure{"the payload folder '" + ShowPath(folder) + "' cannot be read: " + why.message()};
  };
  if (error) return unreadable(error);
  for (; walk != std::filesystem::recursive_directory_iterator(); walk.increment(error)) {
    if (error) return unreadable(error);
    std::error_code kind;
    if (!walk->is_regular_file(kind)) continue;
    // Named by the relative path with forward slashes for sorting (the
    // order CMake's list(SORT) gives), with backslashes in the catalogue.
    const std::string relative = ShowPath(walk->path().lexically_relative(folder).generic_u8string());
    found.emplace_back(relative, walk->path());
  }
  if (error) return unreadable(error);
  std::sort(found.begin(), found.end());
  for (auto& [relative, path] : found) {
    std::string name = relative;
    std::replace(name.begin(), name.end(), '/', '\\');
    payload.push_back({std::move(path), std::move(name)});
  }
  return payload;
}

Result<std::vector<CatalogueEntry>> PlanCatalogue(std::span<const PayloadFile> files,
                                                  std::string_view front_end) {
  std::vector<std::string> names;
  for (const PayloadFile& file : files) names.push_back(file.name);
  Status checked = CheckPayload(front_end, names);
  if (!checked) return checked.AsFailure();
  if (files.size() > 0xFFFFu - kFirstPayloadId + 1) {
    return Failure{"the payload has " + std::to_string(files.size()) +
                   " files; a bootstrapper carries at most " + std::to_string(0xFFFFu - kFirstPayloadId + 1)};
  }

  // The front end gets the lowest id, so that it is the program the
  // bootstrapper chooses; the rest keep the order they were given in.
  std::vector<const PayloadFile*> order;
  for (const PayloadFile& file : files) {
    if (!front_end.empty() && file.name == front_end)
      order.insert(order.begin(), &file);
    else
      order.push_back(&file);
  }
  std::vector<CatalogueEntry> entries;
  std::uint16_t id = kFirstPayloadId;
  for (const PayloadFile* file : order) {
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(file->source, error);
    if (error)
      return Failure{"payload file '" + ShowPath(file->source) + "' cannot be read: " + error.message()};
    entries.push_back({id++, file->name, file->source, size});
  }
  return entries;
}

std::string CatalogueText(std::span<const CatalogueEntry> entries) {
  std::string text;
  for (const CatalogueEntry& entry : entries) {
    if (!text.empty()) text += '*';
    text += std::to_string(entry.id) + "*" + entry.name + "*" + std::to_string(entry.size);
  }
  return text;
}

}  // namespace lantern::pack
