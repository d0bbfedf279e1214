#include "payload/embedded_info_win32.h"

#include <windows.h>

#include <array>
#include <new>
#include <string>

#include "core/code_page.h"
#include "core/payload_paths.h"
#include "framework/unique_handle_win32.h"
#include "core/embedded_info.h"
#include "payload/folder_handles_win32.h"

namespace lantern {

ResultCode CopyEmbeddedInformation(const std::wstring& source, const std::wstring& target, DiagnosticLog& log,
                                   const TargetMaker& make_target) {
  const UniqueFileHandle program(
      CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  log.LogText(L"Scanning for Signature\r\n");
  if (!program) {
    log.LogFormat(L"Failed to open installer file %s %x\r\n", source, GetLastError());
    return rc::Ok;
  }
  const DWORD size = GetFileSize(program.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size <= kEmbeddedScanSize) return rc::Ok;
  if (SetFilePointer(program.get(), -static_cast<LONG>(kEmbeddedSeekBack), nullptr, FILE_END) ==
      INVALID_SET_FILE_POINTER) {
    return rc::Ok;
  }
  std::array<unsigned char, kEmbeddedScanSize> tail = {};
  DWORD read = 0;
  if (!ReadFile(program.get(), tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr) ||
      read != tail.size()) {
    return rc::Ok;
  }
  const std::optional<EmbeddedInformation> found = FindEmbeddedInformation(tail);
  if (!found) return rc::Ok;
  const auto* information = tail.data() + found->offset;
  const auto count = static_cast<long>(found->size);

  try {
    // For the log, the information is a text up to its first zero byte.
    const std::string terminated(reinterpret_cast<const char*>(information), found->size);
    log.LogFormat(L"Found embedded information '%s'\r\n", FromAnsiCodePage(terminated.c_str()));
  } catch (const std::bad_alloc&) {
    log.LogFormat(L"Failed to allocate %d bytes\r\n", static_cast<int>(found->size + 1));
  }

  DWORD error = 0;
  UniqueFileHandle file;
  if (make_target) {
    file = make_target(error);
  } else {
    file.reset(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    error = GetLastError();
  }
  if (!file) {
    log.LogFormat(L"Failed to create temp file %s %ld\r\n", target, static_cast<long>(error));
    return rc::Ok;
  }
  DWORD written = 0;
  if (WriteFile(file.get(), information, static_cast<DWORD>(found->size), &written, nullptr) &&
      written == found->size) {
    log.LogFormat(L"Written out embedded information %ld bytes to file %s\r\n", count, target);
  } else {
    log.LogFormat(L"Write fail for embedded information %ld bytes to file %s\r\n", count, target);
  }
  return rc::Ok;
}

ResultCode WriteEmbeddedInformation(WorkingFolder& folder, const std::wstring& own_path, DiagnosticLog& log) {
  const std::wstring& working_folder = folder.Get();
  const std::wstring target = working_folder.empty()
                                  ? std::wstring()
                                  : JoinPath(working_folder, kEmbeddedInfoFileName).value_or(std::wstring());
  // Made in the folder the run holds, never by its path: without a working
  // folder nothing is made, and nothing lands in the current directory.
  HANDLE held = folder.handle();
  return CopyEmbeddedInformation(own_path, target, log, [held](DWORD& error) {
    if (!held) {
      error = ERROR_PATH_NOT_FOUND;
      return UniqueFileHandle();
    }
    return CreateFreshFile(held, kEmbeddedInfoFileName, error);
  });
}

}  // namespace lantern
