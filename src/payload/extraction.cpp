#include "payload/extraction.h"

#include <string_view>

#include "core/code_page.h"

namespace lantern {

namespace {

// What is logged when a resource cannot be mapped: one text for each step
// that can fail. Reading the catalogue and writing a file say it in words of
// their own.
struct MapFailureTexts {
  std::wstring_view find;
  std::wstring_view load;
  std::wstring_view lock;
};

constexpr MapFailureTexts kReadTextFailures{L"ExtractSelf FindResource has failed\n",
                                            L"ExtractSelf LoadResource has failed\n",
                                            L"ExtractSelf LockResource has failed\n"};
constexpr MapFailureTexts kExtractFailures{L"FindResource has failed\n", L"ResourceLoaded has failed\n",
                                           L"LockResource has failed\n"};

// Maps the resource's bytes; false, having logged the step that failed, when
// they cannot be mapped.
bool MapBytes(const CResource& resource, PayloadSystem& system, const MapFailureTexts& texts,
              PayloadSystem::MappedBytes& bytes, DiagnosticLog& log) {
  using Failure = PayloadSystem::MapFailure;
  const Failure failure = system.MapResource(resource, bytes);
  if (failure == Failure::None) return true;
  log.LogText(failure == Failure::Find ? texts.find : failure == Failure::Load ? texts.load : texts.lock);
  return false;
}

// The catalogue's text: empty when the program carries none. 0 or E_FAIL.
ResultCode ReadCatalogue(const ResourceList& list, PayloadSystem& system, std::wstring& text,
                         DiagnosticLog& log) {
  for (const CResource& resource : list) {
    if (resource.id == kCatalogueId) return ReadResourceText(resource, system, text, log);
  }
  return rc::Ok;
}

}  // namespace

ResultCode ReadResourceText(const CResource& resource, PayloadSystem& system, std::wstring& text,
                            DiagnosticLog& log) {
  PayloadSystem::MappedBytes bytes;
  if (!MapBytes(resource, system, kReadTextFailures, bytes, log)) return rc::Fail;
  text = FromAnsiCodePage(std::string_view(static_cast<const char*>(bytes.data), bytes.size));
  return rc::Ok;
}

ResultCode ExtractFile(const CResource& resource, PayloadSystem& system, DiagnosticLog& log) {
  PayloadSystem::MappedBytes bytes;
  if (!MapBytes(resource, system, kExtractFailures, bytes, log)) return rc::Fail;

  const std::wstring path = system.GetFilePath(resource.file_name);
  if (path.empty()) {
    // The name would leave the working folder, or its path does not fit:
    // nothing is written anywhere. The line names where it would have gone.
    const std::wstring folder = system.WorkingFolderPath();
    log.LogFormat(L"%s Create file has failed\n",
                  folder.empty() ? resource.file_name : folder + L"\\" + resource.file_name);
    return rc::Fail;
  }

  const PayloadSystem::WriteResult written = system.WritePayloadFile(resource.file_name, bytes);
  if (!written.created) {
    log.LogFormat(L"%s Create file has failed\n", path);
    return rc::Fail;
  }
  if (written.written != bytes.size) {
    // A short write, such as on a full disk.
    log.LogFormat(L"%s Short write %lu of %lu bytes, error %lu\n", path,
                  static_cast<unsigned long>(written.written), static_cast<unsigned long>(bytes.size),
                  static_cast<unsigned long>(written.error));
    return rc::Fail;
  }
  if (written.written == resource.size) {
    log.LogFormat(L"%s written Ok\n", path);
    return rc::Ok;
  }
  log.LogFormat(L"%s Write file has failed\n", path);
  return rc::FileCorrupt;
}

ResultCode ExtractResources(ResourceList& list, PayloadSystem& system, std::wstring& program_path,
                            DiagnosticLog& log) {
  if (!system.EnumerateResources(list)) {
    log.LogText(L"Enumerate Resources has failed\n");
    return rc::Fail;
  }
  log.LogText(L"Enumerate Resources OK \n");

  std::wstring catalogue;
  ResultCode result = ReadCatalogue(list, system, catalogue, log);
  if (result != rc::Ok) {
    // Nothing is named: the naming step's closing line carries the failure.
    log.LogFormat(L"WorkOutFileNames %x\n", result);
    return result;
  }
  if (const std::optional<std::wstring> program = WorkOutFileNames(list, catalogue, log)) {
    program_path = system.GetFilePath(*program);
  }

  for (const CResource& resource : list) {
    if (result != rc::Ok) break;
    if (resource.file_name.empty()) continue;  // the catalogue itself, and what it does not list
    result = ExtractFile(resource, system, log);
    log.LogFormat(L"Extract File %s %x\n", resource.file_name, result);
  }
  return result;
}

}  // namespace lantern
