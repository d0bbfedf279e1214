// The payload's system side on Windows: the program's "TOOLKIT" resources and
// files in the working folder.
#pragma once

#include <windows.h>

#include "payload/extraction.h"
#include "payload/working_folder.h"

namespace lantern {

class Win32PayloadSystem final : public PayloadSystem {
 public:
  Win32PayloadSystem(HMODULE module, WorkingFolder& folder, DiagnosticLog& log)
      : module_(module), folder_(folder), log_(log) {}

  bool EnumerateResources(ResourceList& list) override;
  MapFailure MapResource(const CResource& resource, MappedBytes& bytes) override;
  std::wstring FromAnsi(const MappedBytes& bytes) override;
  std::wstring GetFilePath(const std::wstring& file_name) override { return folder_.GetFilePath(file_name); }
  void CreateFolders(const std::wstring& path) override;
  std::optional<std::uint32_t> WriteNewFile(const std::wstring& path, const MappedBytes& bytes) override;

 private:
  HMODULE module_;
  WorkingFolder& folder_;
  DiagnosticLog& log_;
};

}  // namespace lantern
