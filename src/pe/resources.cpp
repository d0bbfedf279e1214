#include "pe/resources.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "pe/little_endian.h"

namespace lantern::pe {
namespace {

constexpr std::uint32_t kSubdirectory = 0x80000000u;
constexpr std::uint32_t kNamed = 0x80000000u;
constexpr std::uint32_t kDirectorySize = 16;
constexpr std::uint32_t kEntrySize = 8;
constexpr std::uint32_t kDataEntrySize = 16;
constexpr std::uint32_t kDataAlignment = 8;

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Reads the tree of one image, following only offsets inside the resource
// section and never the same directory twice.
class TreeReader {
 public:
  TreeReader(ByteSource& file, const Image& image, std::uint64_t base, std::uint64_t limit)
      : file_(file), image_(image), base_(base), limit_(limit) {}

  Status ReadDirectory(std::uint32_t offset, int level, ResourceKey& key) {
    if (!visited_.insert(offset).second) {
      return Failure{"the resource directory at " + Hex(offset) + " is reached twice"};
    }
    std::uint8_t header[kDirectorySize];
    if (!Read(offset, header))
      return Failure{"a resource directory at " + Hex(offset) + " lies outside the section"};
    const std::uint32_t count = std::uint32_t{ReadU16(header + 12)} + ReadU16(header + 14);
    std::vector<std::uint8_t> table(std::size_t{count} * kEntrySize);
    if (!Read(std::uint64_t{offset} + kDirectorySize, table)) {
      return Failure{"the " + std::to_string(count) + " entries of the resource directory at " + Hex(offset) +
                     " run past the end of the section"};
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t name_field = ReadU32(table.data() + i * kEntrySize);
      const std::uint32_t target = ReadU32(table.data() + i * kEntrySize + 4);
      Result<ResourceId> id = ReadId(name_field);
      if (!id) return id.AsFailure();
      if (level == 0) {
        key.type = id.Value();
      } else if (level == 1) {
        key.name = id.Value();
      } else if (id->IsName()) {
        return Failure{"resource " + key.type.ToString() + "/" + key.name.ToString() +
                       " has a language given by name"};
      } else {
        key.language = id->Id();
      }
      const bool subdirectory = (target & kSubdirectory) != 0;
      if (level < 2) {
        if (!subdirectory) {
          return Failure{"the resource directory at " + Hex(offset) + " has data where a directory belongs"};
        }
        Status status = ReadDirectory(target & ~kSubdirectory, level + 1, key);
        if (!status) return status;
        continue;
      }
      if (subdirectory) return Failure{"resource " + key.ToString() + " has a fourth directory level"};
      Status status = ReadDataEntry(target, key);
      if (!status) return status;
    }
    return Done{};
  }

  std::vector<ResourceEntry> entries;

 private:
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) {
    return offset <= limit_ && out.size() <= limit_ - offset && file_.ReadAt(base_ + offset, out);
  }

  Result<ResourceId> ReadId(std::uint32_t field) {
    if ((field & kNamed) == 0) {
      if (field > 0xFFFF) return Failure{"a resource id " + Hex(field) + " is wider than 16 bits"};
      return ResourceId(static_cast<std::uint16_t>(field));
    }
    const std::uint32_t offset = field & ~kNamed;
    std::uint8_t length_field[2];
    if (!Read(offset, length_field))
      return Failure{"a resource name at " + Hex(offset) + " lies outside the section"};
    const std::uint16_t length = ReadU16(length_field);
    std::vector<std::uint8_t> bytes(std::size_t{length} * 2);
    if (!Read(std::uint64_t{offset} + 2, bytes)) {
      return Failure{"the resource name at " + Hex(offset) + " runs past the end of the section"};
    }
    std::u16string name(length, u'\0');
    for (std::size_t i = 0; i < length; ++i) name[i] = static_cast<char16_t>(ReadU16(bytes.data() + 2 * i));
    return ResourceId(name);
  }

  Status ReadDataEntry(std::uint32_t offset, const ResourceKey& key) {
    std::uint8_t entry[kDataEntrySize];
    if (!Read(offset, entry)) {
      return Failure{"the data entry of resource " + key.ToString() + " lies outside the section"};
    }
    if (entries.size() >= kMaxResources) {
      return Failure{"the image has more than " + std::to_string(kMaxResources) + " resources"};
    }
    ResourceEntry found{key, ReadU32(entry), ReadU32(entry + 4), ReadU32(entry + 8), 0};
    const std::optional<std::uint64_t> at = image_.FileOffset(found.data_rva, found.size);
    if (!at) {
      return Failure{"the data of resource " + key.ToString() + " (" + Hex(found.size) + " bytes at RVA " +
                     Hex(found.data_rva) + ") lies outside the sections' bytes in the file"};
    }
    found.file_offset = *at;
    entries.push_back(std::move(found));
    return Done{};
  }

  ByteSource& file_;
  const Image& image_;
  std::uint64_t base_;
  std::uint64_t limit_;
  std::set<std::uint32_t> visited_;
};

// The tree being laid out: types, their names, their languages.
struct NameNode {
  ResourceId name;
  std::vector<std::pair<std::uint16_t, std::size_t>> languages;  // language, resource index
};
struct TypeNode {
  ResourceId type;
  std::vector<NameNode> names;
};

ResourceId InDirectory(const ResourceId& id) {
  return id.IsName() ? ResourceId(DirectoryName(id.Name())) : id;
}

Status CheckId(const ResourceId& id, const ResourceKey& key) {
  if (!id.IsName()) return Done{};
  if (id.Name().empty()) return Failure{"resource " + key.ToString() + " has an empty name"};
  if (id.Name().size() > kMaxResourceNameLength)
    return Failure{"resource " + key.ToString() + " has too long a name"};
  return Done{};
}

// Writes a directory's header and entries at `at`; the entries' own fields
// are filled in by the caller.
void PutDirectoryHeader(std::vector<std::uint8_t>& head, std::uint32_t at, std::uint16_t named,
                        std::uint16_t ids) {
  PutU16(head.data() + at + 12, named);
  PutU16(head.data() + at + 14, ids);
}

std::uint16_t CountNames(const auto& nodes, auto id_of) {
  return static_cast<std::uint16_t>(
      std::count_if(nodes.begin(), nodes.end(), [&](const auto& node) { return id_of(node).IsName(); }));
}

// A directory lists its entries' count in 16 bits.
constexpr std::size_t kMaxDirectoryEntries = 0xFFFF;

}  // namespace

std::string ResourceId::ToString() const {
  if (!is_name_) return std::string("#").append(std::to_string(id_));
  std::string shown;
  for (const char16_t c : name_) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      shown.push_back(static_cast<char>(c));
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u{%X}", static_cast<unsigned>(c));
      shown += escaped;
    }
  }
  return shown;
}

std::strong_ordering ResourceId::operator<=>(const ResourceId& other) const {
  if (is_name_ != other.is_name_)
    return is_name_ ? std::strong_ordering::less : std::strong_ordering::greater;
  if (is_name_) return name_ <=> other.name_;
  return id_ <=> other.id_;
}

std::string ResourceKey::ToString() const {
  return type.ToString() + "/" + name.ToString() + "/" + Hex(language);
}

std::u16string DirectoryName(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return upper;
}

Result<std::vector<ResourceEntry>> ReadResources(ByteSource& file, const Image& image) {
  const DataDirectory directory = image.Directory(kResourceDirectory);
  if (directory.address == 0) return std::vector<ResourceEntry>{};
  const Section* section = image.SectionAt(directory.address);
  const std::optional<std::uint64_t> base = image.FileOffset(directory.address, kDirectorySize);
  if (section == nullptr || !base) {
    return Failure{"the resource directory (RVA " + Hex(directory.address) +
                   ") lies outside the sections' bytes in the file"};
  }
  const std::uint64_t limit = std::uint64_t{section->raw_offset} + section->raw_size - *base;
  TreeReader reader(file, image, *base, limit);
  ResourceKey key{ResourceId(std::uint16_t{0}), ResourceId(std::uint16_t{0}), 0};
  Status status = reader.ReadDirectory(0, 0, key);
  if (!status) return status.AsFailure();
  return std::move(reader.entries);
}

Result<std::vector<std::uint8_t>> ReadResourceBytes(ByteSource& file, const ResourceEntry& entry) {
  std::vector<std::uint8_t> bytes(entry.size);
  if (!file.ReadAt(entry.file_offset, bytes)) {
    return Failure{"the data of resource " + entry.key.ToString() + " cannot be read"};
  }
  return bytes;
}

Resource ResourceFromImage(std::shared_ptr<ByteSource> file, const ResourceEntry& entry) {
  return Resource{entry.key, std::make_shared<SliceSource>(std::move(file), entry.file_offset, entry.size),
                  entry.code_page};
}

Result<ResourceSectionLayout> LayOutResourceSection(std::span<const Resource> resources,
                                                    std::uint32_t section_rva) {
  // Each resource under its place in the directory, in the directory's order.
  std::map<ResourceKey, std::size_t> placed;
  for (std::size_t i = 0; i < resources.size(); ++i) {
    const Resource& resource = resources[i];
    if (!resource.data) return Failure{"resource " + resource.key.ToString() + " has no data"};
    for (const ResourceId* id : {&resource.key.type, &resource.key.name}) {
      Status checked = CheckId(*id, resource.key);
      if (!checked) return checked.AsFailure();
    }
    const ResourceKey key{InDirectory(resource.key.type), InDirectory(resource.key.name),
                          resource.key.language};
    if (!placed.emplace(key, i).second) {
      return Failure{"resource " + key.ToString() + " is given twice"};
    }
  }
  std::vector<TypeNode> types;
  for (const auto& [key, index] : placed) {
    if (types.empty() || types.back().type != key.type) types.push_back({key.type, {}});
    std::vector<NameNode>& names = types.back().names;
    if (names.empty() || names.back().name != key.name) names.push_back({key.name, {}});
    names.back().languages.emplace_back(key.language, index);
    if (types.size() > kMaxDirectoryEntries || names.size() > kMaxDirectoryEntries) {
      return Failure{"more resources than one directory can list (at resource " + key.ToString() + ")"};
    }
  }

  // Where everything goes: the root, each type's directory of names, each
  // name's directory of languages, the data entries, the name strings.
  std::uint64_t at = kDirectorySize + kEntrySize * types.size();
  std::vector<std::uint32_t> type_directories;
  for (const TypeNode& type : types) {
    type_directories.push_back(static_cast<std::uint32_t>(at));
    at += kDirectorySize + kEntrySize * type.names.size();
  }
  std::vector<std::uint32_t> name_directories;
  for (const TypeNode& type : types) {
    for (const NameNode& name : type.names) {
      name_directories.push_back(static_cast<std::uint32_t>(at));
      at += kDirectorySize + kEntrySize * name.languages.size();
    }
  }
  const std::uint64_t data_entries = at;
  at += kDataEntrySize * placed.size();
  std::map<std::u16string, std::uint32_t> strings;
  for (const TypeNode& type : types) {
    if (type.type.IsName()) strings.emplace(type.type.Name(), 0);
    for (const NameNode& name : type.names) {
      if (name.name.IsName()) strings.emplace(name.name.Name(), 0);
    }
  }
  for (auto& [text, offset] : strings) {
    offset = static_cast<std::uint32_t>(at);
    at += 2 + 2 * text.size();
  }
  at = AlignUp(at, kDataAlignment);

  ResourceSectionLayout layout;
  layout.head.assign(static_cast<std::size_t>(at), 0);
  std::vector<std::uint32_t> entry_of(resources.size());
  std::uint64_t entry_at = data_entries;
  for (const auto& [key, index] : placed) {
    const std::uint64_t size = resources[index].data->Size();
    if (size > 0xFFFFFFFFull || at + size > 0xFFFFFFFFull - section_rva) {
      return Failure{"the resources come to more than 4 GB (at resource " + key.ToString() + ")"};
    }
    layout.data.push_back({index, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(size)});
    std::uint8_t* entry = layout.head.data() + entry_at;
    PutU32(entry, static_cast<std::uint32_t>(section_rva + at));
    PutU32(entry + 4, static_cast<std::uint32_t>(size));
    PutU32(entry + 8, resources[index].code_page);
    entry_of[index] = static_cast<std::uint32_t>(entry_at);
    entry_at += kDataEntrySize;
    layout.size = static_cast<std::uint32_t>(at + size);
    at = AlignUp(at + size, kDataAlignment);
  }
  if (layout.data.empty()) layout.size = static_cast<std::uint32_t>(layout.head.size());

  std::uint8_t* head = layout.head.data();
  for (const auto& [text, offset] : strings) {
    PutU16(head + offset, static_cast<std::uint16_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) PutU16(head + offset + 2 + 2 * i, text[i]);
  }
  const auto name_field = [&](const ResourceId& id) {
    return id.IsName() ? (kNamed | strings.at(id.Name())) : std::uint32_t{id.Id()};
  };
  const std::uint16_t named_types = CountNames(types, [](const TypeNode& t) { return t.type; });
  PutDirectoryHeader(layout.head, 0, named_types, static_cast<std::uint16_t>(types.size() - named_types));
  std::size_t name_index = 0;
  for (std::size_t t = 0; t < types.size(); ++t) {
    const TypeNode& type = types[t];
    PutU32(head + kDirectorySize + kEntrySize * t, name_field(type.type));
    PutU32(head + kDirectorySize + kEntrySize * t + 4, kSubdirectory | type_directories[t]);
    const std::uint32_t names_at = type_directories[t];
    const std::uint16_t named = CountNames(type.names, [](const NameNode& n) { return n.name; });
    PutDirectoryHeader(layout.head, names_at, named, static_cast<std::uint16_t>(type.names.size() - named));
    for (std::size_t n = 0; n < type.names.size(); ++n, ++name_index) {
      const NameNode& name = type.names[n];
      PutU32(head + names_at + kDirectorySize + kEntrySize * n, name_field(name.name));
      PutU32(head + names_at + kDirectorySize + kEntrySize * n + 4,
             kSubdirectory | name_directories[name_index]);
      const std::uint32_t languages_at = name_directories[name_index];
      PutDirectoryHeader(layout.head, languages_at, 0, static_cast<std::uint16_t>(name.languages.size()));
      for (std::size_t l = 0; l < name.languages.size(); ++l) {
        PutU32(head + languages_at + kDirectorySize + kEntrySize * l, name.languages[l].first);
        PutU32(head + languages_at + kDirectorySize + kEntrySize * l + 4, entry_of[name.languages[l].second]);
      }
    }
  }
  return layout;
}

}  // namespace lantern::pe
