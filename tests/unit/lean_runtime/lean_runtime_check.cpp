// The bootstrapper's C++ runtime stand-ins, in a program built as the
// bootstrapper is (no exceptions, no run-time type information) and linked
// with them: running out of memory, or a fault the runtime reports, ends the
// process at once with its own exit code and a last line in the open log;
// a request for memory without exceptions gets null back; a static made on
// first use is made once while threads race for it.
//
// Run without arguments, it runs itself once per case and checks the exit
// code and the log; prints each failed check and exits with their number.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "log/log.h"

namespace {

constexpr DWORD kOutOfMemory = 0x8007000E;
constexpr DWORD kUnexpected = 0x8000FFFF;

volatile LONG made = 0;

struct MadeOnce {
  MadeOnce() {
    Sleep(50);  // long enough for the other threads to arrive meanwhile
    InterlockedIncrement(&made);
  }
};

DWORD WINAPI UseStatic(LPVOID) {
  static MadeOnce once;
  return 0;
}

// A case's own work, in the child process, with the run's log open on `log_path`.
int RunCase(const std::wstring& name, const std::wstring& log_path) {
  lantern::PlatformLogSystem system;
  lantern::DiagnosticLog log(system);
  log.OpenLogFile(log_path);
  lantern::SetLastWordsLog(&log);
  log.LogText(L"Started\n");
  // More than the address space holds, and no more than a vector may ask for.
  volatile std::size_t huge = sizeof(void*) == 8 ? SIZE_MAX / 4 : 0x7FFF0000u;
  if (name == L"no-memory") {
    std::vector<char> bytes(huge);
    return static_cast<int>(bytes.size());  // not reached
  }
  if (name == L"runtime-fault") {
    std::vector<int> few(3);
    return few.at(huge);  // not reached
  }
  if (name == L"nothrow") {
    char* none = new (std::nothrow) char[huge];
    log.LogText(none ? L"Got memory\n" : L"Got null\n");
    delete[] none;
    return 0;
  }
  if (name == L"statics") {
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i) threads.push_back(CreateThread(nullptr, 0, UseStatic, nullptr, 0, nullptr));
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    log.LogText(made == 1 ? L"Made once\n" : L"Made more than once\n");
    return 0;
  }
  return 99;
}

struct Case {
  const wchar_t* name;
  DWORD exit_code;
  const char* log_holds;
};

int failures = 0;

void Check(bool ok, const wchar_t* name, const char* what) {
  if (!ok) {
    std::printf("FAILED: %ls: %s\n", name, what);
    ++failures;
  }
}

std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  if (std::FILE* file = _wfopen(path.c_str(), L"rb")) {
    char piece[256];
    for (std::size_t got; (got = std::fread(piece, 1, sizeof(piece), file)) > 0;) bytes.append(piece, got);
    std::fclose(file);
  }
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3) return RunCase(argv[1], argv[2]);

  const Case cases[] = {
      {L"no-memory", kOutOfMemory, "Started\r\nOut of memory: the bootstrapper ends here with 0x8007000e\r\n"},
      {L"runtime-fault", kUnexpected,
       "Started\r\nUnexpected failure in the C++ runtime: the bootstrapper ends here with 0x8000ffff\r\n"},
      {L"nothrow", 0, "Started\r\nGot null\r\n"},
      {L"statics", 0, "Started\r\nMade once\r\n"},
  };
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (const Case& c : cases) {
    const std::wstring log_path = std::wstring(temp) + L"lean_runtime_" + c.name + L".log";
    DeleteFileW(log_path.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" " + c.name + L" \"" + log_path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
      Check(false, c.name, "the case's process cannot be started");
      continue;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Check(exit_code == c.exit_code, c.name, "exit code");
    const std::string log = ReadFile(log_path);
    Check(log == c.log_holds, c.name, "the log's lines");
    if (log != c.log_holds) std::printf("  the log holds: [%s]\n", log.c_str());
    DeleteFileW(log_path.c_str());
  }
  if (failures == 0) std::printf("all checks passed\n");
  return failures;
}
