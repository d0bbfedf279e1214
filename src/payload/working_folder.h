// The working folder: a new GUID-named folder directly under the
// working-folder root, made on the first request of a run and kept for the
// rest of the process, and the paths of the payload files in it.
//
// The folder is made in one step with access for the system and the
// administrators only (and the user when the run is not elevated) and held
// open until it is removed, so that nobody can rename, replace or delete it
// while the run extracts into it and starts a program from it. Everything in
// it is reached through that handle. A folder of a fixed name that is already
// there is taken over only when nobody else can change it, and only by one
// run at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/result_codes.h"
#include "framework/unique_handle_win32.h"
#include "log/log.h"
#include "payload/folder_security.h"

namespace lantern {

// The system calls about security whose results Wine cannot vary (it runs
// everyone as an elevated administrator and keeps no access lists); tests
// replace them to see what is passed and to play other answers. This class
// itself makes the real calls.
class FolderSecurity {
 public:
  virtual ~FolderSecurity() = default;
  struct Token {
    bool elevated = true;
    std::wstring user_sid;
  };
  // The process token: elevated (assumed when it cannot be read) and its user.
  virtual Token ReadToken();
  // Creates the folder `name` in the folder open as `parent` with the given
  // security descriptor; the handle is opened with `access` and `share`.
  // Empty with `error` the system error (ERROR_ALREADY_EXISTS when the name
  // is taken).
  virtual UniqueFileHandle CreateFolder(HANDLE parent, const std::wstring& name,
                                        PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK access, ULONG share,
                                        DWORD& error);
  // Creates the folder `path` (its parent must exist) with the given
  // security descriptor; false when it cannot.
  virtual bool CreateFolderAt(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor);
  // The owner and access list of an open folder; false when they cannot be read.
  virtual bool ReadAccess(HANDLE folder, ExistingFolder& facts);
};

// A security descriptor in one self-relative block, made from a FolderAccess.
class SecurityDescriptorBlock {
 public:
  // Empty when a SID cannot be read or the system calls fail.
  static SecurityDescriptorBlock Make(const FolderAccess& access);
  PSECURITY_DESCRIPTOR get() { return bytes_.empty() ? nullptr : bytes_.data(); }
  bool empty() const { return bytes_.empty(); }

 private:
  std::vector<unsigned char> bytes_;
};

class WorkingFolder {
 public:
  WorkingFolder(DiagnosticLog& log, FolderSecurity& security) : log_(log), security_(security) {}
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  // Checks that files can be made in `root` with a GUID-named file that
  // deletes itself when closed, making the root itself (with the working
  // folder's protection) if its parent exists. The root of the last probe is
  // the one the working folder goes under. 0, or E_FAIL when no file can be
  // made there.
  ResultCode CreateProbeFile(const std::wstring& root);

  // Names the working folder {00000000-0000-0000-0000-000000000000} instead of
  // a new GUID. Has effect only before the first Get().
  void SetZeroGuid() { zero_guid_ = true; }

  // Makes the working folder (or takes over one of its name) on the first
  // call. 0; E_FAIL when a folder of that name is already there and is not
  // one the run may use (a link, not a folder, owned or changeable by
  // someone else, or in use by another run), which is logged and left
  // exactly as it is. A folder that cannot be made is no failure here: the
  // steps that then cannot write there fail and say so.
  ResultCode Prepare();

  // The working folder's full path (see Prepare, which the first call makes).
  // Empty when no path fits under the root.
  const std::wstring& Get();

  // The handle the folder is held open by (list, traverse, read; nobody may
  // delete or rename it while it is open); empty when there is no usable
  // folder.
  HANDLE handle() const { return handle_.valid() ? handle_.get() : nullptr; }

  // The working folder joined with a payload file's name as Windows reads it
  // (the folder itself for an empty name). Empty when the name would leave
  // the working folder or the path does not fit.
  std::wstring GetFilePath(std::wstring_view file_name);

  // Ends the hold on the folder and deletes it, which must be empty by then.
  // The folder is deleted only when the name in the root still is the real
  // folder that was held; `ours` is false when it is not (or there was
  // none), true with the system error (0: deleted) otherwise.
  struct Removal {
    bool ours = false;
    DWORD error = 0;
  };
  Removal DeleteHeldFolder();

  // The security descriptor this run gives the folders it makes.
  SecurityDescriptorBlock MakeDescriptor();

 private:
  enum class State { Undecided, Usable, Unusable, Refused };
  void Decide();
  void Open();
  bool MakeRoot();
  bool TakeLock();
  bool TakeOver();
  bool Refuse(const std::wstring& why);

  DiagnosticLog& log_;
  FolderSecurity& security_;
  std::wstring root_;
  std::wstring folder_;
  std::wstring name_;
  bool zero_guid_ = false;
  State state_ = State::Undecided;
  bool decided_ = false;  // the path is fixed
  UniqueFileHandle root_handle_;
  UniqueFileHandle handle_;
  std::uint64_t file_id_ = 0;
  UniqueKernelHandle lock_;  // a mutex: one run per folder
};

}  // namespace lantern
