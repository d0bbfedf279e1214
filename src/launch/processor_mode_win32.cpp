// WOW64 services, looked up by name because older systems lack them.
#include <windows.h>

#include "launch/processor_mode.h"
#include "framework/system_dlls_win32.h"

namespace lantern {

namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using DisableRedirectionFn = BOOL(WINAPI*)(PVOID*);
using RevertRedirectionFn = BOOL(WINAPI*)(PVOID);

// Looked up on first need and kept once found; a lookup that fails is tried
// again the next time. Only the worker thread uses these, during the launch.
class Win32Wow64 final : public Wow64 {
 public:
  bool IsWow64() override {
    const auto is_wow64_process = Lookup(is_wow64_process_, "IsWow64Process");
    BOOL wow64 = FALSE;
    return is_wow64_process && is_wow64_process(GetCurrentProcess(), &wow64) && wow64;
  }

  void DisableFsRedirection() override {
    if (!IsWow64()) return;
    if (const auto disable = Lookup(disable_, "Wow64DisableWow64FsRedirection")) disable(&saved_);
  }

  void RevertFsRedirection() override {
    if (!IsWow64()) return;
    if (const auto revert = Lookup(revert_, "Wow64RevertWow64FsRedirection")) revert(saved_);
  }

 private:
  template <class Fn>
  Fn Lookup(Fn& slot, const char* name) {
    if (!slot) {
      if (!kernel32_) kernel32_ = LoadLibraryW(L"kernel32.dll");
      slot = ModuleFunction<Fn>(kernel32_, name);
    }
    return slot;
  }

  HMODULE kernel32_ = nullptr;
  IsWow64ProcessFn is_wow64_process_ = nullptr;
  DisableRedirectionFn disable_ = nullptr;
  RevertRedirectionFn revert_ = nullptr;
  PVOID saved_ = nullptr;  // what disabling hands out and reverting takes back
};

}  // namespace

Wow64& SystemWow64() {
  static Win32Wow64 wow64;
  return wow64;
}

}  // namespace lantern
