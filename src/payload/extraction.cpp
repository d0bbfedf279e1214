#include "payload/extraction.h"

namespace lantern {

namespace {

class SystemCatalogueSource final : public CatalogueSource {
 public:
  SystemCatalogueSource(PayloadSystem& system, DiagnosticLog& log) : system_(system), log_(log) {}
  ResultCode ExtractSelf(const CResource& resource, std::wstring& text) override {
    return lantern::ExtractSelf(resource, system_, text, log_);
  }
  std::wstring GetFilePath(const CResource& resource) override {
    return system_.GetFilePath(resource.file_name);
  }

 private:
  PayloadSystem& system_;
  DiagnosticLog& log_;
};

}  // namespace

ResultCode ExtractSelf(const CResource& resource, PayloadSystem& system, std::wstring& text,
                       DiagnosticLog& log) {
  PayloadSystem::MappedBytes bytes;
  switch (system.MapResource(resource, bytes)) {
    case PayloadSystem::MapFailure::Find:
      log.LogText(L"ExtractSelf FindResource has failed\n");
      return rc::Fail;
    case PayloadSystem::MapFailure::Load:
      log.LogText(L"ExtractSelf LoadResource has failed\n");
      return rc::Fail;
    case PayloadSystem::MapFailure::Lock:
      log.LogText(L"ExtractSelf LockResource has failed\n");
      return rc::Fail;
    case PayloadSystem::MapFailure::None:
      break;
  }
  text = bytes.size == 0 ? std::wstring() : system.FromAnsi(bytes);
  return rc::Ok;
}

ResultCode ExtractFile(const CResource& resource, PayloadSystem& system, DiagnosticLog& log) {
  PayloadSystem::MappedBytes bytes;
  switch (system.MapResource(resource, bytes)) {
    case PayloadSystem::MapFailure::Find:
      log.LogText(L"FindResource has failed\n");
      return rc::Fail;
    case PayloadSystem::MapFailure::Load:
      log.LogText(L"ResourceLoaded has failed\n");
      return rc::Fail;
    case PayloadSystem::MapFailure::Lock:
      log.LogText(L"LockResource has failed\n");
      return rc::Fail;
    case PayloadSystem::MapFailure::None:
      break;
  }

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

  SystemCatalogueSource source(system, log);
  ResultCode result = WorkOutFileNames(list, source, program_path, log);
  if (result != rc::Ok) return result;

  for (const CResource& resource : list) {
    if (result != rc::Ok) break;
    if (resource.file_name.empty()) continue;  // the catalogue itself, and what it does not list
    result = ExtractFile(resource, system, log);
    log.LogFormat(L"Extract File %s %x\n", resource.file_name, result);
  }
  return result;
}

}  // namespace lantern
