// Copying the information block at the end of the program's own file to
// "info.xml" in the working folder. Nothing here stops a run: failures are
// only logged.
#pragma once

#include <string>

#include "log/log.h"
#include "payload/working_folder.h"

namespace lantern {

// Copies the block of the program's own file to "info.xml" in the working
// folder, which this first request makes. Always 0.
ResultCode WriteEmbeddedInformation(WorkingFolder& folder, DiagnosticLog& log);

// Scans the last 4,117 bytes of `source` (one seek, one read) and, when they
// carry a block, writes its information to `target`. Always 0.
ResultCode CopyEmbeddedInformation(const std::wstring& source, const std::wstring& target,
                                   DiagnosticLog& log);

}  // namespace lantern
