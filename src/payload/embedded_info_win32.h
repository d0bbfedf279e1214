// Copying the information block of the program's own file to "info.xml" in
// the working folder. Nothing here stops a run: failures are only logged.
#pragma once

#include <functional>
#include <string>

#include "core/embedded_info.h"
#include "framework/module_path_win32.h"
#include "framework/unique_handle_win32.h"
#include "log/log.h"
#include "payload/working_folder.h"

namespace lantern {

// Sealed when `module` carries the sealed-information resource that the
// packing tool adds, stamped otherwise.
InformationMode InformationModeOf(HMODULE module);

// Copies the block of the program's own file, read through its open handle,
// to "info.xml" in the working folder, which this first request makes.
// Always 0.
ResultCode WriteEmbeddedInformation(WorkingFolder& folder, const OwnFile& own_file, InformationMode mode,
                                    DiagnosticLog& log);

// Makes the target file for writing; an empty handle with the system error
// when it cannot.
using TargetMaker = std::function<UniqueFileHandle(DWORD& error)>;

// Reads the block `mode` takes from `source` through its handle, at explicit
// offsets (whoever used the handle before may have moved its file pointer),
// and, when there is one, writes its information to `target`, made by
// `make_target` (by default, by its path). Always 0.
ResultCode CopyEmbeddedInformation(const OwnFile& source, InformationMode mode, const std::wstring& target,
                                   DiagnosticLog& log, const TargetMaker& make_target = {});

}  // namespace lantern
