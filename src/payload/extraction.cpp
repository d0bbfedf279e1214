#include "payload/extraction.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/code_page.h"
#include "core/payload_compression.h"
#include "core/payload_paths.h"

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

// A normalised name as the file system compares names, or coarser: ASCII
// letters in one case and every other character as one and the same, so that
// two names the system could take for one file always meet here (and some
// that it would not, which then only wait for each other).
std::wstring NameKey(std::wstring_view normalised) {
  std::wstring key(normalised);
  for (wchar_t& c : key) {
    if (c >= L'a' && c <= L'z') {
      c = static_cast<wchar_t>(c - L'a' + L'A');
    } else if (c >= 0x80) {
      c = 0x80;
    }
  }
  return key;
}

// For each file, how many files from the first must be written before it
// may start: those of the same name, which must end with the lower id's
// bytes (the later one), and those that make a file where it makes a folder
// or the other way round, whose failure must be the one the sequential order
// gives. Everything else is written in any order.
std::vector<std::size_t> WriteOrder(const std::vector<const CResource*>& files) {
  std::vector<std::size_t> after(files.size(), 0);
  // By name key: the last job, plus one, that writes a file of that name and
  // that makes a folder of that name.
  std::unordered_map<std::wstring, std::size_t> file_jobs;
  std::unordered_map<std::wstring, std::size_t> folder_jobs;
  const auto last = [](const std::unordered_map<std::wstring, std::size_t>& jobs, const std::wstring& key) {
    const auto found = jobs.find(key);
    return found == jobs.end() ? std::size_t{0} : found->second;
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::optional<std::wstring> normalised = NormalisePayloadName(files[i]->file_name);
    if (!normalised) continue;  // it writes nothing
    const std::wstring key = NameKey(*normalised);
    std::size_t wait = std::max(last(file_jobs, key), last(folder_jobs, key));
    for (std::size_t at = key.find(L'\\'); at != std::wstring::npos; at = key.find(L'\\', at + 1)) {
      const std::wstring folder = key.substr(0, at);
      wait = std::max(wait, last(file_jobs, folder));
      folder_jobs[folder] = i + 1;
    }
    file_jobs[key] = i + 1;
    after[i] = wait;
  }
  return after;
}

// Marks the resources the compression list names, and says whether they
// share a dictionary. 0 when there is no list; E_FAIL when it cannot be read
// or is not understood, for then no file could be written as it should be.
ResultCode MarkCompressed(ResourceList& list, PayloadSystem& system, bool& dictionary, DiagnosticLog& log) {
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
  const std::optional<CompressionList> compressed = ParseCompressionList(text);
  if (!compressed) {
    log.LogText(L"Compression list is not understood\n");
    return rc::Fail;
  }
  long marked = 0;
  for (CResource& resource : list) {
    resource.compressed = compressed->ids.contains(resource.id);
    if (resource.compressed && !resource.file_name.empty()) ++marked;
  }
  log.LogFormat(L"Compressed files %ld\n", marked);
  dictionary = compressed->dictionary;
  return rc::Ok;
}

// Decodes the dictionary the compressed files share, once, before any of
// them. E_FAIL, as for a damaged file, when it is missing or cannot be
// decoded whole: then no file that needs it could be. A program without the
// decoder leaves it be; each compressed file then fails as it always does there.
ResultCode LoadDictionary(PayloadSystem& system, DecodingDictionary& dictionary, DiagnosticLog& log) {
  PayloadSystem::MappedBytes bytes;
  switch (system.MapDictionary(bytes)) {
    case PayloadSystem::ListRead::Absent:
      log.LogText(L"Compression dictionary is missing\n");
      return rc::Fail;
    case PayloadSystem::ListRead::Failed:
      log.LogText(L"Compression dictionary cannot be read\n");
      return rc::Fail;
    case PayloadSystem::ListRead::Read:
      break;
  }
  const DecodeResult loaded = dictionary.Load(bytes.data, bytes.size);
  if (loaded.status == DecodeStatus::NoDecoder) return rc::Ok;
  if (loaded.status != DecodeStatus::Done) {
    log.LogFormat(L"Compression dictionary cannot be decoded: %s, error %lu\n",
                  DecodeStatusText(loaded.status), static_cast<unsigned long>(loaded.decoder_error));
    return rc::Fail;
  }
  log.LogFormat(L"Compression dictionary %lu bytes\n", static_cast<unsigned long>(dictionary.Size()));
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

ResultCode ExtractFile(const CResource& resource, PayloadSystem& system, DiagnosticLog& log,
                       const DecodingDictionary* dictionary) {
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
      resource.compressed ? system.WriteDecodedFile(resource.file_name, bytes, resource.size, dictionary)
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
  bool shares_dictionary = false;
  result = MarkCompressed(list, system, shares_dictionary, log);
  if (result != rc::Ok) return result;
  DecodingDictionary dictionary;
  if (shares_dictionary) {
    result = LoadDictionary(system, dictionary, log);
    if (result != rc::Ok) return result;
  }

  // The catalogue itself, and what it does not list, have no name and are
  // not written.
  std::vector<const CResource*> files;
  for (const CResource& resource : list) {
    if (!resource.file_name.empty()) files.push_back(&resource);
  }
  // The working folder is settled here, before threads share it.
  system.WorkingFolderPath();

  std::vector<ResultCode> results(files.size(), rc::Fail);
  OrderedJobs jobs;
  jobs.count = files.size();
  jobs.after = WriteOrder(files);
  jobs.run = [&](std::size_t index, DiagnosticLog& lines) {
    const CResource& resource = *files[index];
    results[index] = ExtractFile(resource, system, lines, shares_dictionary ? &dictionary : nullptr);
    lines.LogFormat(L"Extract File %s %x\n", resource.file_name, results[index]);
    return results[index] == rc::Ok;
  };
  const std::size_t failed = RunOrderedJobs(jobs, system.Threads(), kExtractionThreads, log);
  if (failed == files.size()) return rc::Ok;
  // A job that failed for want of memory after its file was written still failed.
  return results[failed] != rc::Ok ? results[failed] : rc::Fail;
}

}  // namespace lantern
