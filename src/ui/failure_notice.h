// What the user is told about a failed run: the message, and the download
// page that fits it.
#pragma once

#include <string>

namespace lantern {

struct FailureNotice {
  std::wstring message;
  std::wstring link;  // empty: no download page fits
};

}  // namespace lantern
