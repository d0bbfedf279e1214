// What Windows tests need to work with programs of the build tree under Wine:
// their paths, and the record the stand-in front end writes.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace lantern::testing_support {

// A path as a Windows program sees it: a Unix path of the build tree becomes
// its Wine drive form (Z:\...); a Windows path stays as it is.
inline std::wstring HostPath(const char* path) {
  std::wstring wide;
  const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (length > 0) {
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);
  }
  if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
  for (auto& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

// The stand-in front end's record: its "key=value" lines.
inline std::map<std::string, std::string> ReadStandInRecord(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::map<std::string, std::string> record;
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find('=');
    if (at != std::string::npos) record[line.substr(0, at)] = line.substr(at + 1);
  }
  return record;
}

}  // namespace lantern::testing_support
