#include "payload/extraction.h"

#include <optional>
#include <set>
#include <string_view>

#include "core/code_page.h"
#include "core/payload_compression.h"

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

// Marks the resources the compression list names. 0 when there is no list;
// E_FAIL when it cannot be read or is not understood, for then no file could
// be written as it should be.
ResultCode MarkCompressed(ResourceList& list, PayloadSystem& system, DiagnosticLog& log) {
  std::string text;
  switch (system.ReadCompressionList(text)) {
    case PayloadSystem::ListRead::Absent:
      return rc::Ok;
    case PayloadSystem::ListRead::Failed:
      log.LogText(L"Compression list cannot be read\n");
      return rc::Fail;
    case PayloadSystem::ListRead::Read:
      break;
  }
  const std::optional<std::set<std::uint32_t>> ids = ParseCompressionList(text);
  if (!ids) {
    log.LogText(L"Compression list is not understood\n");
    return rc::Fail;
  }
  long marked = 0;
  for (CResource& resource : list) {
    resource.compressed = ids->contains(resource.id);
    if (resource.compressed && !resource.file_name.empty()) ++marked;
  }
  log.LogFormat(L"Compressed files %ld\n", marked);
  return rc::Ok;
}

// The end of a compressed file's writing: the same checks as for a file
// written as it is, against the bytes that came out of the decoder.
ResultCode FinishDecoded(const CResource& resource, const std::wstring& path,
                         const PayloadSystem::WriteResult& written, DiagnosticLog& log) {
  switch (written.decoded) {
    case DecodeStatus::Done:
    case DecodeStatus::TooLarge:
      if (written.decoded == DecodeStatus::Done && written.written == resource.size) {
        log.LogFormat(L"%s written Ok\n", path);
        return rc::Ok;
      }
      // Whole frames of the wrong size: the file is not the one the catalogue names.
      log.LogFormat(L"%s Write file has failed\n", path);
      return rc::FileCorrupt;
    case DecodeStatus::WriteFailed:
      log.LogFormat(L"%s Short write %lu of %lu bytes, error %lu\n", path,
                    static_cast<unsigned long>(written.written), static_cast<unsigned long>(resource.size),
                    static_cast<unsigned long>(written.error));
      return rc::Fail;
    default:
      log.LogFormat(L"%s Decoding has failed: %s, error %lu\n", path, DecodeStatusText(written.decoded),
                    static_cast<unsigned long>(written.decoder_error));
      return rc::Fail;
  }
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

  const PayloadSystem::WriteResult written =
      resource.compressed ? system.WriteDecodedFile(resource.file_name, bytes, resource.size)
                          : system.WritePayloadFile(resource.file_name, bytes);
  if (!written.created) {
    log.LogFormat(L"%s Create file has failed\n", path);
    return rc::Fail;
  }
  if (resource.compressed) return FinishDecoded(resource, path, written, log);
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
  result = MarkCompressed(list, system, log);

  for (const CResource& resource : list) {
    if (result != rc::Ok) break;
    if (resource.file_name.empty()) continue;  // the catalogue itself, and what it does not list
    result = ExtractFile(resource, system, log);
    log.LogFormat(L"Extract File %s %x\n", resource.file_name, result);
  }
  return result;
}

}  // namespace lantern
