// Copying the information block at the end of the program's own file to
// "info.xml" in the working folder. Nothing here stops a run: failures are
// only logged.
#pragma once

#include <functional>
#include <string>

#include "framework/unique_handle_win32.h"
#include "log/log.h"
#include "payload/working_folder.h"

namespace lantern {

// Copies the block of the program's own file, `own_path`, to "info.xml" in
// the working folder, which this first request makes. Always 0.
ResultCode WriteEmbeddedInformation(WorkingFolder& folder, const std::wstring& own_path, DiagnosticLog& log);

// Makes the target file for writing; an empty handle with the system error
// when it cannot.
using TargetMaker = std::function<UniqueFileHandle(DWORD& error)>;

// Scans the last 4,117 bytes of `source` (one seek, one read) and, when they
// carry a block, writes its information to `target`, made by `make_target`
// (by default, by its path). Always 0.
ResultCode CopyEmbeddedInformation(const std::wstring& source, const std::wstring& target, DiagnosticLog& log,
                                   const TargetMaker& make_target = {});

}  // namespace lantern
