#include "payload/embedded_info_win32.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>

#include "core/code_page.h"
#include "core/when_memory_fails.h"
#include "core/payload_paths.h"
#include "payload/folder_handles_win32.h"

namespace lantern {

namespace {

// Reads at `offset` whatever the handle's file pointer says.
bool ReadAt(HANDLE file, std::uint64_t offset, std::span<unsigned char> out) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &read, &at) && read == out.size();
}

}  // namespace

InformationMode InformationModeOf(HMODULE module) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  const auto* name = reinterpret_cast<const wchar_t*>(kSealedInformationName);
  return FindResourceW(module, name, RT_RCDATA) != nullptr ? InformationMode::Sealed
                                                           : InformationMode::Stamped;
}

ResultCode CopyEmbeddedInformation(const OwnFile& source, InformationMode mode, const std::wstring& target,
                                   DiagnosticLog& log, const TargetMaker& make_target) {
  log.LogText(L"Scanning for Signature\r\n");
  if (!source.handle) {
    log.LogFormat(L"Failed to open installer file %s %x\r\n", source.path, source.open_error);
    return rc::Ok;
  }
  const HANDLE program = source.handle.get();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(program, &size) || size.QuadPart < 0) return rc::Ok;
  LocatedInformation located;
  LANTERN_TRY {
    located = LocateEmbeddedInformation(static_cast<std::uint64_t>(size.QuadPart), mode,
                                        [program](std::uint64_t offset, std::span<unsigned char> out) {
                                          return ReadAt(program, offset, out);
                                        });
  } LANTERN_CATCH(const std::bad_alloc&) {
    log.LogFormat(L"Failed to allocate %d bytes\r\n", static_cast<int>(kEmbeddedScanSize));
    return rc::Ok;
  }
  if (located.ignored_later_block) {
    log.LogText(
        L"Ignored an information block added after signing: this build takes only its sealed block\r\n");
  }
  if (located.information.empty()) return rc::Ok;
  const auto* information = located.information.data();
  const std::size_t found_size = located.information.size();
  const auto count = static_cast<long>(found_size);

  // For the log, the information is a text up to its first zero byte, copied
  // into a buffer one byte longer. Asked for without an exception, so that the
  // bootstrapper, which has none, can say it went without.
  bool logged = false;
  if (const std::unique_ptr<char[]> terminated(new (std::nothrow) char[found_size + 1]); terminated) {
    std::memcpy(terminated.get(), information, found_size);
    terminated[found_size] = '\0';
    LANTERN_TRY {
      log.LogFormat(L"Found embedded information '%s'\r\n", FromAnsiCodePage(terminated.get()));
      logged = true;
    } LANTERN_CATCH(const std::bad_alloc&) {
    }
  }
  if (!logged) log.LogFormat(L"Failed to allocate %d bytes\r\n", static_cast<int>(found_size + 1));

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
  if (WriteFile(file.get(), information, static_cast<DWORD>(found_size), &written, nullptr) &&
      written == found_size) {
    log.LogFormat(L"Written out embedded information %ld bytes to file %s\r\n", count, target);
  } else {
    log.LogFormat(L"Write fail for embedded information %ld bytes to file %s\r\n", count, target);
  }
  return rc::Ok;
}

ResultCode WriteEmbeddedInformation(WorkingFolder& folder, const OwnFile& own_file, InformationMode mode,
                                    DiagnosticLog& log) {
  const std::wstring& working_folder = folder.Get();
  const std::wstring target = working_folder.empty()
                                  ? std::wstring()
                                  : JoinPath(working_folder, kEmbeddedInfoFileName).value_or(std::wstring());
  // Made in the folder the run holds, never by its path: without a working
  // folder nothing is made, and nothing lands in the current directory.
  HANDLE held = folder.handle();
  return CopyEmbeddedInformation(own_file, mode, target, log, [held](DWORD& error) {
    if (!held) {
      error = ERROR_PATH_NOT_FOUND;
      return UniqueFileHandle();
    }
    return CreateFreshFile(held, kEmbeddedInfoFileName, error);
  });
}

}  // namespace lantern
