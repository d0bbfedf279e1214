// An image's resources: the three-level directory tree (type, name,
// language) read from an image, and laid out anew from a set of resources.
//
// In the directory every level lists its names before its ids. Names are
// held in upper case and in the order of their UTF-16 code units, because
// the system's lookup upper-cases the name it is asked for and searches that
// order; ids follow in ascending order.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/result.h"

namespace lantern::pe {

// Types the system defines (RT_*).
constexpr std::uint16_t kTypeIcon = 3;
constexpr std::uint16_t kTypeDialog = 5;
constexpr std::uint16_t kTypeString = 6;
constexpr std::uint16_t kTypeRcData = 10;
constexpr std::uint16_t kTypeGroupIcon = 14;
constexpr std::uint16_t kTypeVersion = 16;
constexpr std::uint16_t kTypeManifest = 24;

// A resource type or name: a 16-bit id or a UTF-16 name.
class ResourceId {
 public:
  ResourceId(std::uint16_t id) : id_(id) {}
  ResourceId(std::u16string_view name) : is_name_(true), name_(name) {}
  ResourceId(const char16_t* name) : ResourceId(std::u16string_view(name)) {}

  bool IsName() const { return is_name_; }
  std::uint16_t Id() const { return id_; }              // 0 for a name
  const std::u16string& Name() const { return name_; }  // empty for an id
  // "#101" for an id, the name otherwise (characters beyond printable ASCII as \u{XXXX}).
  std::string ToString() const;

  // Exact equality: names differing in case are different ids.
  bool operator==(const ResourceId&) const = default;
  // The directory's order: names (by code unit) before ids (ascending).
  std::strong_ordering operator<=>(const ResourceId& other) const;

 private:
  bool is_name_ = false;
  std::uint16_t id_ = 0;
  std::u16string name_;
};

// Where a resource stands in the tree.
struct ResourceKey {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;

  bool operator==(const ResourceKey&) const = default;
  std::strong_ordering operator<=>(const ResourceKey&) const = default;
  std::string ToString() const;  // "TOOLKIT/#101/0x809"
};

// A resource found in an image, in the tree's order.
struct ResourceEntry {
  ResourceKey key;
  std::uint32_t data_rva = 0;
  std::uint32_t size = 0;
  std::uint32_t code_page = 0;
  std::uint64_t file_offset = 0;  // where its bytes are in the file
};

// Limits on what the reader follows in a file it does not trust.
constexpr std::size_t kMaxResources = 1 << 16;
constexpr std::size_t kMaxResourceNameLength = 0xFFFF;

// The resources of `image` read from `file`: nothing for an image without a
// resource directory. Fails, with what is wrong, for a directory or a data
// entry outside the resource section, a directory reached twice (a loop),
// more than three levels, a language given by name, more than kMaxResources
// resources, or data outside the file's bytes of the sections.
Result<std::vector<ResourceEntry>> ReadResources(ByteSource& file, const Image& image);

// The bytes of one resource read into memory.
Result<std::vector<std::uint8_t>> ReadResourceBytes(ByteSource& file, const ResourceEntry& entry);

// A resource to write: its place and where its bytes come from. The source
// is read once, a piece at a time, as the new image is written.
struct Resource {
  ResourceKey key;
  std::shared_ptr<ByteSource> data;
  std::uint32_t code_page = 0;
};

// A resource of an image given as a slice of the image's file, to be
// written again as it is.
Resource ResourceFromImage(std::shared_ptr<ByteSource> file, const ResourceEntry& entry);

// A resource section laid out for a section at `section_rva`: the directory
// tables, data entries and name strings in `head`, then each resource's data
// at its place, aligned to 8 bytes.
struct ResourceSectionLayout {
  struct Placement {
    std::size_t resource = 0;  // index into the resources given
    std::uint32_t offset = 0;  // from the start of the section
    std::uint32_t size = 0;
  };
  std::vector<std::uint8_t> head;
  std::vector<Placement> data;  // in the order of their offsets
  std::uint32_t size = 0;       // of the whole content, the data's last byte included
};

// Lays out `resources` in the directory's order (names upper-cased; see
// above). Fails for a resource without data, an empty or overlong name,
// two resources at the same place (names compared after upper-casing), or
// a section of more than 4 GB.
Result<ResourceSectionLayout> LayOutResourceSection(std::span<const Resource> resources,
                                                    std::uint32_t section_rva);

// A name as the directory holds it: ASCII letters upper-cased.
std::u16string DirectoryName(std::u16string_view name);

}  // namespace lantern::pe
