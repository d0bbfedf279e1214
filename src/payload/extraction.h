// Extraction: the payload resources found, named by the catalogue and written
// byte for byte into the working folder, highest id first, stopping at the
// first failure.
#pragma once

#include <string>

#include "app/result_codes.h"
#include "log/log.h"
#include "payload/catalogue.h"
#include "payload/working_folder.h"

namespace lantern {

// Fills `list` with the "TOOLKIT" resources of `module`, names them from the
// catalogue, sets `program_path` and writes every named one. 0; E_FAIL when
// the resources cannot be enumerated or read, or a file cannot be made or
// written whole; 0x80040167 when a file's size differs from the catalogue.
ResultCode ExtractResources(void* module, ResourceList& list, std::wstring& program_path, WorkingFolder& folder,
                            DiagnosticLog& log);

// Writes one resource to its file in the working folder, with one write
// straight from the mapped resource.
ResultCode ExtractFile(const CResource& resource, WorkingFolder& folder, DiagnosticLog& log);

// The resource's bytes as text in the thread's ANSI code page.
ResultCode ExtractSelf(const CResource& resource, std::wstring& text, DiagnosticLog& log);

}  // namespace lantern
