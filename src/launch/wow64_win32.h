// This system's WOW64 services, looked up by name because older systems lack
// them.
#pragma once

#include <windows.h>

#include "launch/processor_mode.h"

namespace lantern {

// Looked up on first need and kept once found; a lookup that fails is tried
// again the next time. Only the thread that launches the front end uses it.
class Win32Wow64 final : public Wow64 {
 public:
  bool IsWow64() override;
  void DisableFsRedirection() override;
  void RevertFsRedirection() override;

 private:
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  using DisableRedirectionFn = BOOL(WINAPI*)(PVOID*);
  using RevertRedirectionFn = BOOL(WINAPI*)(PVOID);

  IsWow64ProcessFn is_wow64_process_ = nullptr;
  DisableRedirectionFn disable_ = nullptr;
  RevertRedirectionFn revert_ = nullptr;
  PVOID saved_ = nullptr;  // what disabling hands out and reverting takes back
};

}  // namespace lantern
