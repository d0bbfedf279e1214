// The lines of a log file a bootstrapper wrote, for end-to-end checks.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace lantern::e2e {

// The log's lines without their CR LF; every line must end in one.
inline std::vector<std::string> ReadLogLines(const std::wstring& path) {
  const std::string text = ReadText(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', start)) {
    EXPECT_TRUE(at > start && text[at - 1] == '\r') << "a line without CR LF in:\n" << text;
    lines.push_back(text.substr(start, at > start ? at - start - 1 : 0));
    start = at + 1;
  }
  EXPECT_EQ(start, text.size()) << "the log does not end with a whole line";
  return lines;
}

// The lines after the first that matches `after`, up to the first that
// matches `before` (or the end); nothing at all when `after` is not found.
inline std::vector<std::string> LinesBetween(const std::vector<std::string>& lines, const char* after,
                                             const char* before) {
  const std::regex first(after), last(before);
  auto from = lines.begin();
  while (from != lines.end() && !std::regex_match(*from, first)) ++from;
  if (from == lines.end()) return {};
  auto to = ++from;
  while (to != lines.end() && !std::regex_match(*to, last)) ++to;
  return {from, to};
}

inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

inline std::string TempFolderOfTheUser() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  std::string narrow;
  for (DWORD i = 0; i < length; ++i) narrow += static_cast<char>(temp[i]);
  return narrow;
}

}  // namespace lantern::e2e
