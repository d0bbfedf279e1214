#include "payload/catalogue.h"

#include <optional>

#include "core/ascii_case.h"
#include "core/config_strings.h"

namespace lantern {

namespace {

// Splits the catalogue into fields: runs of '*' count as one separator, so no
// field is ever empty.
class FieldReader {
 public:
  explicit FieldReader(std::wstring_view text) : text_(text) {}

  std::optional<std::wstring_view> Next() {
    while (at_ < text_.size() && text_[at_] == L'*') ++at_;
    if (at_ == text_.size()) return std::nullopt;
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != L'*') ++at_;
    return text_.substr(start, at_ - start);
  }

 private:
  std::wstring_view text_;
  std::size_t at_ = 0;
};

std::uint32_t ReadCatalogueNumber(std::wstring_view field) {
  return static_cast<std::uint32_t>(ReadConfigNumber(field));
}

}  // namespace

ResultCode ParseCatalogue(std::wstring_view text, CatalogueMap& map) {
  FieldReader fields(text);
  for (;;) {
    const std::optional<std::wstring_view> id_text = fields.Next();
    if (!id_text) break;
    const std::optional<std::wstring_view> name = fields.Next();
    if (!name) break;  // a lone id is dropped
    const std::uint32_t id = ReadCatalogueNumber(*id_text);
    const std::optional<std::wstring_view> size_text = fields.Next();
    CResourceFile record{id, size_text ? ReadCatalogueNumber(*size_text) : 0, std::wstring(*name)};
    map.insert_or_assign(id, std::move(record));
    // A name without a size used the text up: there is nothing more to read.
    if (!size_text) break;
  }
  return rc::Ok;
}

bool IsProgram(std::wstring_view file_name) {
  const std::size_t at = LowerAscii(file_name).find(L".exe");
  return at != std::wstring::npos && at > 0;
}

void AddResourceName(ResourceList& list, std::wstring_view type, std::optional<std::uint32_t> id,
                     DiagnosticLog& log) {
  if (!id) return;  // named by a text, not by an id
  CResource resource;
  resource.id = *id;
  resource.type = std::wstring(type);
  list.push_front(std::move(resource));
  log.LogFormat(L"Enumerate Resources %s %x\n", list.front().type, list.front().id);
}

std::optional<std::wstring> WorkOutFileNames(ResourceList& list, std::wstring_view catalogue_text,
                                             DiagnosticLog& log) {
  CatalogueMap map;
  ParseCatalogue(catalogue_text, map);
  std::optional<std::wstring> program;
  for (CResource& resource : list) {
    const auto record = map.find(resource.id);
    if (record == map.end()) continue;
    resource.file_name = record->second.file_name;
    resource.size = record->second.size;
    // The walk goes from the highest id down, so the lowest program id wins.
    if (IsProgram(resource)) program = resource.file_name;
    log.LogFormat(L"Work Out FileName %s, Bytes %ld\n", resource.file_name, resource.size);
  }
  log.LogFormat(L"WorkOutFileNames %x\n", rc::Ok);
  return program;
}

}  // namespace lantern
