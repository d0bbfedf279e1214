#include "e2e_support.h"

#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace lantern::e2e {

std::vector<unsigned char> ReadBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read a fixture file");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::wstring& path) {
  const auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> LogLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : ReadText(path)) {
    if (c == '\n') {
      while (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  return lines;
}

bool FlipByte(const std::wstring& path, DWORD offset) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  unsigned char byte = 0;
  DWORD done = 0;
  bool flipped = SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
                 ReadFile(file, &byte, 1, &done, nullptr) && done == 1;
  byte ^= 0x01;
  flipped = flipped && SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
            WriteFile(file, &byte, 1, &done, nullptr) && done == 1;
  CloseHandle(file);
  return flipped;
}

RunResult RunProgram(const std::wstring& command_line, DWORD timeout_ms, const std::wstring& current_folder,
                     const std::wstring& application) {
  std::wstring buffer = command_line;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), buffer.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, current_folder.empty() ? nullptr : current_folder.c_str(), &startup,
                      &process)) {
    throw std::runtime_error("cannot start the program under test");
  }
  RunResult result;
  if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.finished = true;
    result.exit_code = code;
  } else {
    TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

TempFolder::TempFolder() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  GUID guid;
  CoCreateGuid(&guid);
  wchar_t name[64];
  StringFromGUID2(guid, name, 64);
  path_ = std::wstring(temp, length) + L"lantern-test-" + std::wstring(name + 1, 36);
  std::filesystem::create_directories(std::filesystem::path(path_));
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}

ResourceModule::ResourceModule(const std::wstring& path)
    : module_(
          LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
  if (!module_) throw std::runtime_error("cannot load an executable's resources");
}

ResourceModule::~ResourceModule() { FreeLibrary(module_); }

std::optional<std::vector<unsigned char>> ResourceModule::Bytes(const wchar_t* type,
                                                                const wchar_t* name) const {
  HRSRC found = FindResourceW(module_, name, type);
  if (!found) return std::nullopt;
  HGLOBAL loaded = LoadResource(module_, found);
  const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD size = SizeofResource(module_, found);
  if (!data && size != 0) return std::nullopt;
  return std::vector<unsigned char>(data, data + size);
}

}  // namespace lantern::e2e
