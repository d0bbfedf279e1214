// Removal of the working folder at the end of a run: the catalogue's files one
// by one, then the folder with whatever is left in it, depth first. A link
// inside the folder is removed as a link and never followed, so nothing
// outside the working folder is ever deleted.
#pragma once

#include <string>

#include "log/log.h"
#include "payload/catalogue.h"
#include "payload/working_folder.h"

namespace lantern {

// Room of one level's path buffer in the folder walk, terminator included.
constexpr std::size_t kDeletePathRoom = 265;

// Deletes the catalogue's files, moves the current directory to the drive's
// root and deletes the working folder's tree. Failures (read-only or open
// files) only leave things in place; the log tells what was tried.
void RemoveWorkingFolder(const ResourceList& list, WorkingFolder& folder, DiagnosticLog& log);

// Deletes every file and sub-folder in `path`, then the folder itself.
void DeleteFolderTree(const std::wstring& path, DiagnosticLog& log);

}  // namespace lantern
