// A C runtime stream that closes itself; both log backends write through one.
#pragma once

#include <cstdio>
#include <memory>

namespace lantern {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace lantern
