// Removal of the working folder at the end of a run: the catalogue's files one
// by one, then the folder with whatever is left in it, depth first. Every
// entry is reached through the handle of the folder that holds it; a link is
// removed as a link and never followed, so nothing outside the working folder
// is ever deleted or changed. A read-only file loses that attribute first;
// what still cannot be deleted (a file a lingering program holds open, and
// the folders above it) is left to be deleted when the system restarts.
#pragma once

#include <string>

#include "log/log.h"
#include "payload/catalogue.h"
#include "payload/working_folder.h"

namespace lantern {

// Deletes the catalogue's files, moves the current directory to the drive's
// root and deletes the working folder's tree, ending the hold on it. What
// cannot be deleted is scheduled for deletion at the next restart; the log
// tells what was tried.
void RemoveWorkingFolder(const ResourceList& list, WorkingFolder& folder, DiagnosticLog& log);

// Deletes every file and sub-folder in `path`, then the folder itself (or the
// link itself, when `path` is one).
void DeleteFolderTree(const std::wstring& path, DiagnosticLog& log);

}  // namespace lantern
