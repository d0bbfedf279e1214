#include "launch/wow64_win32.h"

#include "framework/system_dlls_win32.h"

namespace lantern {

namespace {

// kernel32 is mapped into every process for its whole life, so the function
// is taken from the module already there, with no reference of its own to
// release.
template <class Fn>
Fn Lookup(Fn& slot, const char* name) {
  if (!slot) slot = ModuleFunction<Fn>(GetModuleHandleW(L"kernel32.dll"), name);
  return slot;
}

}  // namespace

bool Win32Wow64::IsWow64() {
  const auto is_wow64_process = Lookup(is_wow64_process_, "IsWow64Process");
  BOOL wow64 = FALSE;
  return is_wow64_process && is_wow64_process(GetCurrentProcess(), &wow64) && wow64;
}

void Win32Wow64::DisableFsRedirection() {
  if (!IsWow64()) return;
  if (const auto disable = Lookup(disable_, "Wow64DisableWow64FsRedirection")) disable(&saved_);
}

void Win32Wow64::RevertFsRedirection() {
  if (!IsWow64()) return;
  if (const auto revert = Lookup(revert_, "Wow64RevertWow64FsRedirection")) revert(saved_);
}

}  // namespace lantern
