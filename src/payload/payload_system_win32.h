// The payload's system side on Windows: the program's "TOOLKIT" resources and
// files in the working folder, each made relative to the folder's handle one
// real sub-folder at a time, so that no link inside ever takes a write out of
// it. Made for one extraction: the sub-folders it made stay open until it
// ends.
#pragma once

#include <windows.h>

#include "framework/unique_handle_win32.h"
#include "payload/extraction.h"
#include "payload/folder_handles_win32.h"
#include "payload/worker_threads_win32.h"
#include "payload/working_folder.h"

namespace lantern {

class Win32PayloadSystem final : public PayloadSystem {
 public:
  Win32PayloadSystem(HMODULE module, WorkingFolder& folder, DiagnosticLog& log)
      : module_(module), folder_(folder), log_(log) {}

  bool EnumerateResources(ResourceList& list) override;
  MapFailure MapResource(const CResource& resource, MappedBytes& bytes) override;
  ListRead ReadCompressionList(std::string& text) override;
  ListRead MapDictionary(MappedBytes& bytes) override;
  std::wstring WorkingFolderPath() override { return folder_.Get(); }
  std::wstring GetFilePath(const std::wstring& file_name) override { return folder_.GetFilePath(file_name); }
  WriteResult WritePayloadFile(const std::wstring& file_name, const MappedBytes& bytes) override;
  WorkerThreads* Threads() override { return &threads_; }
  WriteResult WriteDecodedFile(const std::wstring& file_name, const MappedBytes& bytes, std::uint32_t limit,
                               const DecodingDictionary* dictionary) override;

 private:
  // A new, empty payload file, its sub-folders made; an empty handle and the
  // system's error when it cannot be made.
  UniqueFileHandle CreatePayloadFile(const std::wstring& file_name, DWORD& error);
  // An RCDATA resource of the program, named by text, where it is mapped.
  ListRead MapNamedData(const char16_t* name, MappedBytes& bytes);

  HMODULE module_;  // the module whose resources these are: the program's own
  WorkingFolder& folder_;
  DiagnosticLog& log_;
  FolderCache folders_;  // the sub-folders made, shared by the threads that write
  Win32WorkerThreads threads_;
};

}  // namespace lantern
