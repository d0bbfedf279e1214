// The working folder: a new GUID-named folder directly under the
// working-folder root, made on the first request of a run and kept for the
// rest of the process, and the paths of the payload files in it.
#pragma once

#include <string>
#include <string_view>

#include "app/result_codes.h"
#include "log/log.h"
#include "payload/catalogue.h"

namespace lantern {

class WorkingFolder {
 public:
  explicit WorkingFolder(DiagnosticLog& log) : log_(log) {}
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  // Checks that files can be made in `root` with a GUID-named file that
  // deletes itself when closed, making the root itself if its parent exists.
  // The root of the last probe is the one the working folder goes under.
  // 0, or E_FAIL when no file can be made there.
  ResultCode CreateProbeFile(const std::wstring& root);

  // Names the working folder {00000000-0000-0000-0000-000000000000} instead of
  // a new GUID. Has effect only before the first Get().
  void SetZeroGuid() { zero_guid_ = true; }

  // The working folder's full path; the first call makes the folder (and any
  // missing folder above it) and grants everyone read and execute access to
  // it. Empty when no path fits under the root; creation failures are left
  // to the steps that then cannot write there.
  const std::wstring& Get();

  // The working folder joined with a payload file's name (the folder itself
  // for an empty name). Empty when the name would leave the working folder or
  // the path does not fit.
  std::wstring GetFilePath(std::wstring_view file_name);

 private:
  DiagnosticLog& log_;
  std::wstring root_;
  std::wstring folder_;
  bool zero_guid_ = false;
  bool decided_ = false;  // the first Get() has run
};

// The process's working folder, which logs to the process-wide log.
WorkingFolder& TheWorkingFolder();

// The working folder's full path, made on the first call of the process (see
// WorkingFolder::Get).
inline std::wstring GetWorkingFolder() { return TheWorkingFolder().Get(); }

inline std::wstring GetFilePath(const CResource& resource) {
  return TheWorkingFolder().GetFilePath(resource.file_name);
}

// Gives the well-known group Everyone read and execute access to a folder,
// inherited by every file and sub-folder made in it; the entries the folder
// already has stay. Failures are silent: the folder then keeps what it
// inherited.
void GrantEveryoneReadAndExecute(const std::wstring& path);

}  // namespace lantern
