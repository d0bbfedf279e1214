#include "pack/payload.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "core/ascii_case.h"
#include "pack/text.h"

namespace lantern::pack {
namespace fs = std::filesystem;
using pe::Done;

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperAscii(c);
  return upper;
}

// The parts between the backslashes, empty ones included.
std::vector<std::string_view> Parts(std::string_view name) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find('\\', start);
    parts.push_back(name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Names joined by ';', as a list is written elsewhere in the build. A folder
// of thousands of files would drown the message, so a long list is cut short.
std::string NameList(std::span<const std::string> names) {
  constexpr std::size_t kShown = 20;
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < kShown; ++i) {
    if (i > 0) list += ';';
    list += names[i];
  }
  if (names.size() > kShown) list += ";... (" + std::to_string(names.size()) + " in all)";
  return list;
}

Failure NameFailure(std::string_view name, std::string_view what) {
  return Failure{"payload name '" + std::string(name) + "' " + std::string(what)};
}

// The device Windows opens for a part of a name, whatever its extension:
// "NUL", "nul.txt" and "Nul .tar.gz" all open NUL. Empty when the part names
// a file.
std::string DeviceName(std::string_view part) {
  const std::string upper = Upper(part);
  // Whether `word` begins the part and only spaces stand between it and the
  // extension or the end.
  const auto opens = [&upper](std::string_view word) {
    if (!upper.starts_with(word)) return false;
    std::size_t at = word.size();
    while (at < upper.size() && upper[at] == ' ') ++at;
    return at == upper.size() || upper[at] == '.';
  };
  for (std::string_view word : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (opens(word)) return std::string(word);
  }
  for (std::string_view stem : {"COM", "LPT"}) {
    if (upper.size() >= 4 && upper.starts_with(stem) && upper[3] >= '0' && upper[3] <= '9' &&
        opens(std::string_view(upper).substr(0, 4))) {
      return upper.substr(0, 4);
    }
  }
  return {};
}

// Why `path`, whose status was asked for, is no payload file.
Failure NotAFile(const fs::path& path, const fs::file_status& status, const std::error_code& error) {
  switch (status.type()) {
    case fs::file_type::not_found:
      return Failure{"payload file '" + ShowPath(path) + "' does not exist"};
    case fs::file_type::directory:
      return Failure{"payload file '" + ShowPath(path) + "' is a folder, not a file"};
    case fs::file_type::none:  // the status could not be read
      return Failure{"payload file '" + ShowPath(path) + "' cannot be read: " + error.message()};
    default:
      return Failure{"payload file '" + ShowPath(path) + "' is not a regular file"};
  }
}

// Whether `path` is `folder` or lies below it; both are canonical.
bool IsWithin(const fs::path& path, const fs::path& folder) {
  auto p = path.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
    if (f->empty() && std::next(f) == folder.end()) return true;  // a trailing separator
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

// The walk of the payload folder. Links are followed as the folder shows
// them: a link to a file is that file, and a link to a folder is walked like
// a folder of its own. A link to a folder the walk is already inside (the
// folder holding the link, one above it, or one reached through another link)
// would make the payload endless, so it stops the walk with its own message
// rather than being skipped, which would lose files without a word.
class FolderWalk {
 public:
  explicit FolderWalk(fs::path root) : root_(std::move(root)) {}

  // Every file below the root, with its '/'-separated relative path.
  Status Walk(std::vector<std::pair<std::string, fs::path>>& found) {
    std::error_code error;
    fs::path canonical = fs::canonical(root_, error);
    if (error) return CannotRead(root_, error);
    return WalkFolder(root_, std::move(canonical), "", found);
  }

 private:
  Failure CannotRead(const fs::path& folder, const std::error_code& error) const {
    return Failure{"the payload folder '" + ShowPath(folder) + "' cannot be read: " + error.message()};
  }

  Status WalkFolder(const fs::path& folder, fs::path canonical, const std::string& prefix,
                    std::vector<std::pair<std::string, fs::path>>& found) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return CannotRead(folder, error);
    inside_.push_back(std::move(canonical));
    for (; it != fs::directory_iterator(); it.increment(error)) {
      const fs::path& path = it->path();
      const std::string relative = prefix + ShowPath(path.filename());
      std::error_code entry_error;
      const fs::file_status status = fs::status(path, entry_error);
      if (status.type() == fs::file_type::directory) {
        fs::path target = fs::canonical(path, entry_error);
        if (entry_error) return CannotRead(path, entry_error);
        if (std::ranges::any_of(inside_,
                                [&target](const fs::path& walked) { return IsWithin(walked, target); })) {
          return Failure{"the payload folder '" + ShowPath(root_) + "' holds a link '" + ShowPath(path) +
                         "' back to '" + ShowPath(target) + "', a folder that holds the link itself"};
        }
        Status walked = WalkFolder(path, std::move(target), relative + "/", found);
        if (!walked) return walked;
      } else if (status.type() == fs::file_type::regular) {
        found.emplace_back(relative, path);
      } else {
        // A link to nothing, a pipe or a device: no file to carry.
        return NotAFile(path, status, entry_error);
      }
    }
    inside_.pop_back();
    if (error) return CannotRead(folder, error);
    return Done{};
  }

  fs::path root_;
  // The folders the walk is inside, outermost first, as canonical paths.
  std::vector<fs::path> inside_;
};

}  // namespace

bool IsProgramName(std::string_view name) {
  const std::size_t at = LowerAscii(name).find(".exe");
  return at != std::string::npos && at > 0;
}

Status CheckPayloadNames(std::span<const std::string> names) {
  std::unordered_set<std::string> seen;
  for (const std::string& name : names) {
    if (name.empty()) return Failure{"a payload file has an empty name"};
    if (name.find('*') != std::string::npos) {
      return NameFailure(name, "holds '*', which separates the catalogue's fields");
    }
    if (!std::ranges::all_of(name, [](char c) { return c >= ' ' && c <= '~'; })) {
      return NameFailure(name, "must be printable ASCII, so that it reads the same in every code page");
    }
    if (name.find_first_of("<>:\"|?/") != std::string::npos) {
      return NameFailure(name, "holds a character that Windows does not allow in file names");
    }
    const std::vector<std::string_view> parts = Parts(name);
    if (std::ranges::any_of(
            parts, [](std::string_view part) { return part.empty() || part == "." || part == ".."; })) {
      return NameFailure(name, "must be a relative path inside the working folder");
    }
    // Windows drops dots and spaces at the end of a file or folder name, so
    // "a.txt." would be written as "a.txt", over another file or beside the
    // name the catalogue gives.
    if (std::ranges::any_of(parts,
                            [](std::string_view part) { return part.back() == '.' || part.back() == ' '; })) {
      return NameFailure(name,
                         "has a part that ends in a dot or a space, which Windows drops from file names");
    }
    // A device name opens the device, not a file, whatever its extension and
    // in any folder: "NUL.txt" and "data\con" are no files.
    for (std::string_view part : parts) {
      const std::string device = DeviceName(part);
      if (!device.empty()) {
        return NameFailure(
            name, "uses the device name '" + device + "', which Windows opens as a device, not a file");
      }
    }
    // Windows does not tell names apart by case: "a.txt" and "A.TXT" are one file.
    if (!seen.insert(LowerAscii(name)).second) {
      return Failure{"two payload files are both named '" + name + "'"};
    }
  }
  // A file and a folder cannot share a name: "data" and "data\x.bin".
  for (const std::string& name : names) {
    std::string folder = LowerAscii(name);
    for (std::size_t at = folder.rfind('\\'); at != std::string::npos; at = folder.rfind('\\')) {
      folder.resize(at);
      if (seen.contains(folder))
        return NameFailure(name, "needs a folder of the same name as another payload file");
    }
  }
  return Done{};
}

Status CheckPayload(std::string_view front_end, std::span<const std::string> names) {
  Status checked = CheckPayloadNames(names);
  if (!checked) return checked;

  if (!front_end.empty()) {
    if (std::ranges::find(names, front_end) == names.end()) {
      return Failure{"the front end '" + std::string(front_end) +
                     "' is not in the payload (payload: " + NameList(names) + ")"};
    }
    if (!IsProgramName(front_end)) {
      return Failure{"the front end '" + std::string(front_end) +
                     "' would not be started: its name must hold '.exe' after its first character"};
    }
    return Done{};
  }
  std::vector<std::string> programs;
  std::ranges::copy_if(names, std::back_inserter(programs), IsProgramName);
  if (!programs.empty()) {
    return Failure{"no FRONT_END is named, so the bootstrapper would start '" + programs.front() +
                   "' (payload names that look like programs: " + NameList(programs) +
                   "); name the front end with FRONT_END"};
  }
  return Done{};
}

Result<std::vector<PayloadFile>> CollectPayload(std::span<const fs::path> files, const fs::path& folder) {
  // A name that the system cannot put into characters ends up as an
  // exception of the path library; it becomes a message like any other fault.
  try {
    std::vector<PayloadFile> payload;
    for (const fs::path& file : files) {
      std::error_code error;
      const fs::file_status status = fs::status(file, error);
      if (status.type() != fs::file_type::regular) return NotAFile(file, status, error);
      payload.push_back({file, ShowPath(file.filename())});
    }
    if (folder.empty()) return payload;

    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() != fs::file_type::directory) {
      if (error && status.type() != fs::file_type::not_found) {
        return Failure{"the payload folder '" + ShowPath(folder) + "' cannot be read: " + error.message()};
      }
      return Failure{"PAYLOAD_DIR '" + ShowPath(folder) + "' is not a folder"};
    }
    std::vector<std::pair<std::string, fs::path>> found;
    FolderWalk walk(folder);
    Status walked = walk.Walk(found);
    if (!walked) return walked.AsFailure();
    // In byte order of the '/'-separated relative paths, so that a folder's
    // files keep the order they had when the build listed them.
    std::ranges::sort(found, {}, &std::pair<std::string, fs::path>::first);
    for (auto& [relative, path] : found) {
      std::ranges::replace(relative, '/', '\\');
      payload.push_back({std::move(path), std::move(relative)});
    }
    return payload;
  } catch (const std::system_error& error) {
    return Failure{"the payload cannot be read: " + std::string(error.what())};
  }
}

namespace {

// PlanCatalogue, which may meet a name the system cannot put into characters.
Result<std::vector<CatalogueEntry>> PlanCatalogueOf(std::span<const PayloadFile> files,
                                                    std::string_view front_end) {
  std::vector<std::string> names;
  names.reserve(files.size());
  for (const PayloadFile& file : files) names.push_back(file.name);
  Status checked = CheckPayload(front_end, names);
  if (!checked) return checked.AsFailure();
  if (files.size() > kMaxPayloadFiles) {
    return Failure{"the payload has " + std::to_string(files.size()) +
                   " files; a bootstrapper can carry at most " + std::to_string(kMaxPayloadFiles) +
                   " (resource ids " + std::to_string(kFirstPayloadId) + " to 65535)"};
  }

  // The front end gets the lowest id, so that it is the program the
  // bootstrapper chooses; the rest keep the order they were given in.
  std::vector<const PayloadFile*> order;
  order.reserve(files.size());
  for (const PayloadFile& file : files) {
    if (!front_end.empty() && file.name == front_end) {
      order.insert(order.begin(), &file);
    } else {
      order.push_back(&file);
    }
  }

  std::vector<CatalogueEntry> entries;
  entries.reserve(files.size());
  std::uint64_t total = 0;
  std::uint32_t id = kFirstPayloadId;
  for (const PayloadFile* file : order) {
    std::error_code error;
    const fs::file_status status = fs::status(file->source, error);
    if (status.type() != fs::file_type::regular) return NotAFile(file->source, status, error);
    const std::uintmax_t size = fs::file_size(file->source, error);
    if (error) {
      return Failure{"payload file '" + ShowPath(file->source) + "' cannot be read: " + error.message()};
    }
    if (size > kMaxPayloadBytes)
      return Failure{PayloadTooLarge("payload file '" + ShowPath(file->source) + "'", size)};
    total += size;
    entries.push_back({static_cast<std::uint16_t>(id), file->name, file->source, size});
    ++id;
  }
  if (total > kMaxPayloadBytes) return Failure{PayloadTooLarge("payload", total)};
  return entries;
}

}  // namespace

Result<std::vector<CatalogueEntry>> PlanCatalogue(std::span<const PayloadFile> files,
                                                  std::string_view front_end) {
  try {
    return PlanCatalogueOf(files, front_end);
  } catch (const std::system_error& error) {
    return Failure{"the payload cannot be read: " + std::string(error.what())};
  }
}

std::string CatalogueText(std::span<const CatalogueEntry> entries) {
  std::string text;
  for (const CatalogueEntry& entry : entries) {
    if (!text.empty()) text += '*';
    text += std::to_string(entry.id) + '*' + entry.name + '*' + std::to_string(entry.size);
  }
  return text;
}

std::string PayloadTooLarge(const std::string& what, std::uint64_t size) {
  return what + " is " + std::to_string(size) + " bytes; a bootstrapper can carry at most " +
         std::to_string(kMaxPayloadBytes) + " bytes (1.5 GB), as a 32-bit process holds its whole program";
}

}  // namespace lantern::pack
