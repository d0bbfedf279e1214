#include "pack/report.h"

#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "core/embedded_info.h"
#include "core/payload_compression.h"
#include "core/payload_paths.h"
#include "pack/branding.h"
#include "pack/compress.h"
#include "pack/default_strings.h"
#include "pack/opened_image.h"
#include "pack/payload.h"
#include "pack/string_table_resource.h"
#include "pack/stub.h"
#include "pack/text.h"
#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"

namespace lantern::pack {
namespace {

using pe::Done;
using pe::Failure;
using pe::Result;
using pe::Status;

constexpr std::uint16_t kTypeBitmap = 2;

bool IsPayload(const pe::ResourceEntry& entry) { return entry.key.type == pe::ResourceId(kPayloadType); }

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  std::uint64_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The catalogue's "id*name*size" triples; nothing when the text is not made of them.
std::optional<std::vector<InspectedFile>> ParseCatalogue(std::string_view text) {
  std::vector<std::string_view> fields;
  for (std::size_t at = 0;;) {
    const std::size_t star = text.find('*', at);
    fields.push_back(text.substr(at, star == std::string_view::npos ? std::string_view::npos : star - at));
    if (star == std::string_view::npos) break;
    at = star + 1;
  }
  if (text.empty() || fields.size() % 3 != 0) return std::nullopt;
  std::vector<InspectedFile> files;
  for (std::size_t i = 0; i < fields.size(); i += 3) {
    const auto id = ParseNumber(fields[i]);
    const auto size = ParseNumber(fields[i + 2]);
    if (!id || *id == 0 || *id > 0xFFFF || !size || fields[i + 1].empty()) return std::nullopt;
    files.push_back(
        InspectedFile{static_cast<std::uint16_t>(*id), std::string(fields[i + 1]), *size, std::nullopt});
  }
  return files;
}

std::string WithThousands(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string VersionText(const VersionRecord& record) {
  return std::to_string(record.version[0]) + "." + std::to_string(record.version[1]) + "." +
         std::to_string(record.version[2]) + "." + std::to_string(record.version[3]);
}

// Information for people: as text when it is printable UTF-8, otherwise its size only.
std::optional<std::string> PrintableText(const std::vector<std::uint8_t>& bytes) {
  const std::string text(bytes.begin(), bytes.end());
  if (!Utf16FromUtf8(text)) return std::nullopt;
  const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\r' || c == '\t';
  });
  return printable ? std::optional(text) : std::nullopt;
}

void ReadPictures(pe::ByteSource& file, const std::vector<pe::ResourceEntry>& entries,
                  InspectReport& report) {
  for (const pe::ResourceEntry& entry : entries) {
    if (entry.key.type == pe::ResourceId(pe::kTypeIcon)) ++report.icon_images;
    if (entry.key.type != pe::ResourceId(kTypeBitmap)) continue;
    const char* what = entry.key.name == pe::ResourceId(kBannerId)   ? "banner"
                       : entry.key.name == pe::ResourceId(kSplashId) ? "splash"
                                                                     : nullptr;
    if (!what) continue;
    InspectedPicture picture{what, 0, 0, 0, entry.size};
    std::uint8_t header[16] = {};
    if (entry.size >= sizeof header && file.ReadAt(entry.file_offset, header)) {
      const auto i32 = [&](int at) {
        return static_cast<std::int32_t>(header[at] | header[at + 1] << 8 | header[at + 2] << 16 |
                                         static_cast<std::uint32_t>(header[at + 3]) << 24);
      };
      picture.width = i32(4);
      picture.height = i32(8) < 0 ? -i32(8) : i32(8);
      picture.bits = static_cast<std::uint16_t>(header[14] | header[15] << 8);
    }
    report.pictures.push_back(picture);
  }
}

void CompareStrings(const StringEntries& strings, InspectReport& report) {
  const StringEntries& defaults = DefaultStrings();
  std::map<std::uint16_t, InspectedString> differences;
  for (const auto& [id, text] : strings) {
    const auto found = defaults.find(id);
    if (found == defaults.end()) {
      differences[id] = {id, "added", Utf8FromUtf16(text), std::nullopt};
    } else if (found->second != text) {
      differences[id] = {id, "changed", Utf8FromUtf16(text), Utf8FromUtf16(found->second)};
    }
  }
  for (const auto& [id, text] : defaults) {
    if (!strings.contains(id)) differences[id] = {id, "omitted", std::nullopt, Utf8FromUtf16(text)};
  }
  for (auto& [id, difference] : differences) report.strings.push_back(std::move(difference));
}

void ReadInformation(pe::ByteSource& file, const std::vector<pe::ResourceEntry>& entries,
                     InspectReport& report) {
  const pe::ResourceId sealed_name{std::u16string(kSealedInformationName)};
  report.information_sealed = std::any_of(entries.begin(), entries.end(), [&](const pe::ResourceEntry& e) {
    return e.key.type == pe::ResourceId(pe::kTypeRcData) && e.key.name == sealed_name;
  });
  const LocatedInformation located = LocateEmbeddedInformation(
      file.Size(), report.information_sealed ? InformationMode::Sealed : InformationMode::Stamped,
      [&file](std::uint64_t offset, std::span<unsigned char> out) {
        return file.ReadAt(offset, std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
      });
  report.ignored_information = located.ignored_later_block;
  if (!located.information.empty()) {
    report.information = std::vector<std::uint8_t>(located.information.begin(), located.information.end());
  }
}

}  // namespace

Result<InspectReport> Inspect(const std::filesystem::path& bootstrapper) {
  auto opened = OpenImage(bootstrapper, "'" + ShowPath(bootstrapper) + "'");
  if (!opened) return opened.AsFailure();
  OpenedImage& open = opened.Value();
  pe::ByteSource& file = *open.file;

  InspectReport report;
  report.file = bootstrapper;
  report.size = file.Size();
  report.machine = open.image.machine == pe::kMachineI386    ? "x86"
                   : open.image.machine == pe::kMachineAmd64 ? "x64"
                                                             : std::to_string(open.image.machine);

  std::map<std::uint16_t, const pe::ResourceEntry*> payload;
  if (const auto marker = StubMarkerText(open);
      marker && marker.Value() && marker.Value()->starts_with(kStubMarkerPrefix)) {
    report.lantern_version = marker.Value()->substr(kStubMarkerPrefix.size());
  }
  const pe::ResourceEntry* catalogue = nullptr;
  const pe::ResourceId compression_name{std::u16string(kCompressedPayloadName)};
  const pe::ResourceId dictionary_name{std::u16string(kCompressionDictionaryName)};
  std::set<std::uint32_t> compressed;
  for (const pe::ResourceEntry& entry : open.resources) {
    if (entry.key.type == pe::ResourceId(pe::kTypeRcData) && entry.key.name == dictionary_name) {
      report.dictionary_resource_size = entry.size;
      std::vector<std::uint8_t> header(static_cast<std::size_t>(std::min<std::uint64_t>(entry.size, 18)));
      if (file.ReadAt(entry.file_offset, header)) report.dictionary_size = FrameContentSize(header);
    }
    if (entry.key.type == pe::ResourceId(pe::kTypeRcData) && entry.key.name == compression_name) {
      report.compressed = true;
      auto bytes = pe::ReadResourceBytes(file, entry);
      if (!bytes) return Failure{"the list of compressed files cannot be read: " + bytes.Message()};
      const auto list =
          ParseCompressionList(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
      if (list) {
        compressed = list->ids;
        report.shares_dictionary = list->dictionary;
      } else {
        report.problems.push_back("the list of compressed files (RCDATA " + entry.key.name.ToString() +
                                  ") is not understood");
      }
    }
    if (entry.key.type == pe::ResourceId(pe::kTypeVersion)) {
      if (auto bytes = pe::ReadResourceBytes(file, entry))
        report.version = ReadVersionResource(bytes.Value());
    }
    if (!IsPayload(entry)) continue;
    if (entry.key.name == pe::ResourceId(kCatalogueId)) {
      catalogue = &entry;
    } else if (!entry.key.name.IsName()) {
      payload.emplace(entry.key.name.Id(), &entry);
    } else {
      report.unlisted.push_back(entry.key.name.ToString());
    }
  }

  if (catalogue) {
    report.has_catalogue = true;
    auto bytes = pe::ReadResourceBytes(file, *catalogue);
    if (!bytes) return Failure{"the catalogue cannot be read: " + bytes.Message()};
    report.catalogue.assign(bytes->begin(), bytes->end());
    if (auto files = ParseCatalogue(report.catalogue)) {
      report.files = std::move(*files);
    } else {
      report.problems.push_back("the catalogue is not a list of id*name*size entries");
    }
  } else {
    report.problems.push_back("there is no catalogue (\"TOOLKIT\" resource 101)");
  }
  // The bootstrapper decodes the dictionary first, and fails every file if it cannot.
  if (report.shares_dictionary) {
    if (!report.dictionary_resource_size) {
      report.problems.push_back("the compressed files share a dictionary, but there is none (RCDATA " +
                                dictionary_name.ToString() + ")");
    } else if (!report.dictionary_size || *report.dictionary_size == 0) {
      report.problems.push_back("the compression dictionary is no zstd frame that gives its size");
    } else if (*report.dictionary_size > kMaxDictionaryBytes) {
      report.problems.push_back("the compression dictionary decodes to " +
                                std::to_string(*report.dictionary_size) + " bytes, more than the " +
                                std::to_string(kMaxDictionaryBytes) + " a bootstrapper takes");
    }
  }
  std::map<std::uint16_t, bool> listed;
  for (InspectedFile& listed_file : report.files) {
    listed[listed_file.id] = true;
    const auto found = payload.find(listed_file.id);
    if (found == payload.end()) {
      report.problems.push_back("'" + listed_file.name + "' (" + std::to_string(listed_file.id) +
                                ") has no resource");
      continue;
    }
    listed_file.resource_size = found->second->size;
    listed_file.compressed = compressed.contains(listed_file.id);
    if (listed_file.compressed) {
      // The frame says what it decodes to; the bootstrapper checks it again as it writes.
      std::vector<std::uint8_t> header(
          static_cast<std::size_t>(std::min<std::uint64_t>(found->second->size, 18)));
      const bool read = file.ReadAt(found->second->file_offset, header);
      const std::optional<std::uint64_t> content = read ? FrameContentSize(header) : std::nullopt;
      if (!content) {
        report.problems.push_back("'" + listed_file.name + "' is listed as compressed but is no zstd frame");
      } else if (*content != listed_file.size) {
        report.problems.push_back("'" + listed_file.name + "' decodes to " + std::to_string(*content) +
                                  " bytes, the catalogue says " + std::to_string(listed_file.size));
      }
      continue;
    }
    if (found->second->size != listed_file.size) {
      report.problems.push_back("'" + listed_file.name + "' is " + std::to_string(found->second->size) +
                                " bytes, the catalogue says " + std::to_string(listed_file.size));
    }
  }
  for (const auto& [id, entry] : payload) {
    if (!listed.contains(id)) report.unlisted.push_back(entry->key.name.ToString());
  }

  auto strings = ReadStringTable(file, open.resources, kResourceLanguage);
  if (!strings) return Failure{"the string table cannot be read: " + strings.Message()};
  CompareStrings(strings.Value(), report);
  ReadPictures(file, open.resources, report);

  auto signature = pe::ReadSignature(file, open.image);
  if (signature) {
    report.signature = std::move(signature).Value();
  } else {
    report.signature_problem = signature.Message();
  }
  ReadInformation(file, open.resources, report);
  return report;
}

std::string ReportText(const InspectReport& report) {
  std::ostringstream out;
  out << "Bootstrapper: " << ShowPath(report.file) << " (" << WithThousands(report.size) << " bytes, "
      << report.machine;
  if (report.lantern_version) out << ", made with Lantern " << *report.lantern_version;
  out << ")\n";
  if (report.version) {
    out << "Version: " << VersionText(*report.version);
    if (!report.version->copyright.empty()) out << "  " << Utf8FromUtf16(report.version->copyright);
    out << "\n";
  }

  std::uint64_t bytes = 0;
  for (const InspectedFile& file : report.files) bytes += file.size;
  out << "Payload: " << report.files.size() << (report.files.size() == 1 ? " file, " : " files, ")
      << WithThousands(bytes) << " bytes; "
      << (report.Agrees() ? "catalogue and resources agree" : "catalogue and resources DISAGREE") << "\n";
  std::size_t width = 4;
  for (const InspectedFile& file : report.files) width = std::max(width, file.name.size());
  for (const InspectedFile& file : report.files) {
    out << "  " << file.id << "  " << file.name << std::string(width - file.name.size() + 2, ' ')
        << WithThousands(file.size);
    if (file.compressed && file.resource_size)
      out << "  compressed to " << WithThousands(*file.resource_size);
    out << "\n";
  }
  if (report.shares_dictionary && report.dictionary_size && report.dictionary_resource_size) {
    out << "  the compressed files share a dictionary of " << WithThousands(*report.dictionary_size)
        << " bytes, compressed to " << WithThousands(*report.dictionary_resource_size) << "\n";
  }
  for (const std::string& problem : report.problems) out << "  problem: " << problem << "\n";
  for (const std::string& name : report.unlisted) out << "  not in the catalogue: resource " << name << "\n";

  if (report.strings.empty()) {
    out << "Strings: the defaults\n";
  } else {
    out << "Strings that differ from the defaults:\n";
    for (const InspectedString& entry : report.strings) {
      out << "  " << entry.id << "  " << entry.state;
      if (entry.text) out << "  \"" << *entry.text << "\"";
      if (entry.state == "changed" && entry.default_text)
        out << "  (default \"" << *entry.default_text << "\")";
      out << "\n";
    }
  }
  out << "Pictures:";
  for (const InspectedPicture& picture : report.pictures) {
    out << " " << picture.what << " " << picture.width << " x " << picture.height << ", " << picture.bits
        << " bits;";
  }
  out << " icon " << report.icon_images << (report.icon_images == 1 ? " image\n" : " images\n");

  if (report.signature) {
    const pe::SignatureSummary& signature = *report.signature;
    out << "Signature (" << signature.digest_algorithm << ", not verified here):\n"
        << "  signer: " << signature.signer_subject << "\n"
        << "  issuer: " << signature.signer_issuer << "\n"
        << "  serial number: " << signature.serial_number << "\n";
    if (signature.program_name) out << "  program name: \"" << *signature.program_name << "\"\n";
    if (signature.more_info) out << "  more info: " << *signature.more_info << "\n";
    if (signature.signing_time) out << "  signed: " << *signature.signing_time << "\n";
    out << "  timestamp: " << (signature.timestamp ? *signature.timestamp : std::string("none"));
    if (signature.timestamp_authority) out << " by " << *signature.timestamp_authority;
    out << "\n";
  } else if (!report.signature_problem.empty()) {
    out << "Signature: cannot be read: " << report.signature_problem << "\n";
  } else {
    out << "Signature: none\n";
  }
  const char* sealed = report.information_sealed ? ", sealed (covered by the signature)" : "";
  if (report.information) {
    out << "Information block: " << WithThousands(report.information->size()) << " bytes" << sealed;
    if (const auto text = PrintableText(*report.information))
      out << "\n" << *text << "\n";
    else
      out << " (not text)\n";
  } else {
    out << "Information block: none" << sealed << "\n";
  }
  if (report.ignored_information) out << "  a block added after signing is ignored\n";
  return out.str();
}

std::string ReportJson(const InspectReport& report) {
  const auto number = [](std::uint64_t value) { return static_cast<std::int64_t>(value); };
  toml::table root;
  root.insert("file", ShowPath(report.file));
  root.insert("size", number(report.size));
  root.insert("machine", report.machine);
  if (report.lantern_version) root.insert("lantern_version", *report.lantern_version);
  if (report.version) {
    root.insert("version", VersionText(*report.version));
    root.insert("copyright", Utf8FromUtf16(report.version->copyright));
  }
  toml::table payload;
  payload.insert("has_catalogue", report.has_catalogue);
  payload.insert("catalogue", report.catalogue);
  payload.insert("agrees", report.Agrees());
  payload.insert("compressed", report.compressed);
  if (report.shares_dictionary) {
    toml::table dictionary;
    if (report.dictionary_size) dictionary.insert("size", number(*report.dictionary_size));
    if (report.dictionary_resource_size)
      dictionary.insert("resource_size", number(*report.dictionary_resource_size));
    payload.insert("dictionary", std::move(dictionary));
  }
  toml::array files;
  for (const InspectedFile& file : report.files) {
    toml::table entry;
    entry.insert("id", file.id);
    entry.insert("name", file.name);
    entry.insert("size", number(file.size));
    if (file.resource_size) entry.insert("resource_size", number(*file.resource_size));
    entry.insert("compressed", file.compressed);
    files.push_back(std::move(entry));
  }
  payload.insert("files", std::move(files));
  toml::array problems;
  for (const std::string& problem : report.problems) problems.push_back(problem);
  payload.insert("problems", std::move(problems));
  toml::array unlisted;
  for (const std::string& name : report.unlisted) unlisted.push_back(name);
  payload.insert("unlisted", std::move(unlisted));
  root.insert("payload", std::move(payload));

  toml::array strings;
  for (const InspectedString& entry : report.strings) {
    toml::table item;
    item.insert("id", entry.id);
    item.insert("state", entry.state);
    if (entry.text) item.insert("text", *entry.text);
    if (entry.default_text) item.insert("default", *entry.default_text);
    strings.push_back(std::move(item));
  }
  root.insert("strings", std::move(strings));

  toml::table pictures;
  for (const InspectedPicture& picture : report.pictures) {
    pictures.insert(picture.what, toml::table{{"width", picture.width},
                                              {"height", picture.height},
                                              {"bits", picture.bits},
                                              {"bytes", number(picture.bytes)}});
  }
  pictures.insert("icon_images", number(report.icon_images));
  root.insert("pictures", std::move(pictures));

  if (report.signature) {
    const pe::SignatureSummary& s = *report.signature;
    toml::table signature{{"digest_algorithm", s.digest_algorithm},
                          {"signer", s.signer_subject},
                          {"issuer", s.signer_issuer},
                          {"serial_number", s.serial_number}};
    if (s.program_name) signature.insert("program_name", *s.program_name);
    if (s.more_info) signature.insert("more_info", *s.more_info);
    if (s.signing_time) signature.insert("signing_time", *s.signing_time);
    if (s.timestamp) signature.insert("timestamp", *s.timestamp);
    if (s.timestamp_authority) signature.insert("timestamp_authority", *s.timestamp_authority);
    root.insert("signature", std::move(signature));
  } else if (!report.signature_problem.empty()) {
    root.insert("signature", toml::table{{"problem", report.signature_problem}});
  }
  if (report.information) {
    toml::table information{{"size", number(report.information->size())},
                            {"sealed", report.information_sealed}};
    if (const auto text = PrintableText(*report.information)) information.insert("text", *text);
    if (report.ignored_information) information.insert("ignored_later_block", true);
    root.insert("information", std::move(information));
  } else if (report.information_sealed) {
    toml::table information{{"sealed", true}};
    if (report.ignored_information) information.insert("ignored_later_block", true);
    root.insert("information", std::move(information));
  }
  std::ostringstream out;
  out << toml::json_formatter{root} << "\n";
  return out.str();
}

Status Extract(const std::filesystem::path& bootstrapper, const std::filesystem::path& folder,
               Progress* progress) {
  auto report = Inspect(bootstrapper);
  if (!report) return report.AsFailure();
  if (!report->Agrees()) {
    return Failure{"the catalogue and the resources of '" + ShowPath(bootstrapper) +
                   "' disagree (lantern inspect shows how); nothing is extracted"};
  }
  auto opened = OpenImage(bootstrapper, "'" + ShowPath(bootstrapper) + "'");
  if (!opened) return opened.AsFailure();

  // Every name first: where it goes inside the folder, and that nothing is there.
  std::vector<std::filesystem::path> targets;
  std::uint64_t total = 0;
  for (const InspectedFile& file : report->files) {
    const auto normalised = NormalisePayloadName(std::wstring(file.name.begin(), file.name.end()));
    const bool ascii =
        std::all_of(file.name.begin(), file.name.end(), [](char c) { return c > 0 && c < 0x7F; });
    if (!normalised || !ascii) {
      return Failure{"the payload name '" + file.name +
                     "' does not name a file inside the folder; nothing is extracted"};
    }
    std::filesystem::path target = folder;
    for (const std::wstring& part : PayloadNameParts(*normalised))
      target /= std::string(part.begin(), part.end());
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, error))) {
      return Failure{"'" + ShowPath(target) + "' already exists; extract into an empty folder"};
    }
    targets.push_back(std::move(target));
    total += file.size;
  }

  std::map<std::uint16_t, const pe::ResourceEntry*> payload;
  std::vector<std::uint8_t> dictionary;
  const pe::ResourceId dictionary_name{std::u16string(kCompressionDictionaryName)};
  for (const pe::ResourceEntry& entry : opened->resources) {
    if (IsPayload(entry) && !entry.key.name.IsName()) payload.emplace(entry.key.name.Id(), &entry);
    if (report->shares_dictionary && entry.key.type == pe::ResourceId(pe::kTypeRcData) &&
        entry.key.name == dictionary_name) {
      auto decoded = DecodeDictionary(*opened->file, entry.file_offset, entry.size);
      if (!decoded) return Failure{decoded.Message() + "; nothing is extracted"};
      dictionary = std::move(decoded).Value();
    }
  }
  if (progress) progress->Start(total);
  std::vector<std::uint8_t> buffer(1 << 20);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const pe::ResourceEntry& entry = *payload.at(report->files[i].id);
    std::error_code error;
    std::filesystem::create_directories(targets[i].parent_path(), error);
    if (error)
      return Failure{"the folder '" + ShowPath(targets[i].parent_path()) +
                     "' cannot be made: " + error.message()};
    auto sink = pe::FileSink::Create(targets[i]);
    if (!sink) return sink.AsFailure();
    if (report->files[i].compressed) {
      Status decoded = DecodePayloadFile(*opened->file, entry.file_offset, entry.size, report->files[i].size,
                                         *sink.Value(), dictionary);
      if (!decoded) return Failure{"'" + report->files[i].name + "': " + decoded.Message()};
      if (progress) progress->Advance(report->files[i].size);
    }
    for (std::uint64_t done = 0; !report->files[i].compressed && done < entry.size;) {
      const std::size_t piece =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), entry.size - done));
      const auto bytes = std::span(buffer).first(piece);
      if (!opened->file->ReadAt(entry.file_offset + done, bytes)) {
        return Failure{"'" + report->files[i].name + "' cannot be read from '" + ShowPath(bootstrapper) +
                       "'"};
      }
      if (!sink.Value()->Write(bytes)) return Failure{"'" + ShowPath(targets[i]) + "' cannot be written"};
      if (progress) progress->Advance(piece);
      done += piece;
    }
    Status finished = sink.Value()->Finish();
    if (!finished) return finished;
  }
  if (progress) progress->Finish();
  return Done{};
}

}  // namespace lantern::pack
