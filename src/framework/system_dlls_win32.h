// DLLs from the system folder only. A bootstrapper usually starts from a
// downloads folder, where anyone may have left a DLL of a well-known name; an
// elevated program that loaded it would run that code as administrator.
#pragma once

#include <windows.h>

namespace lantern {

// Restricts the DLL search path to the system folder. The first thing the
// program does. False when the system cannot (it lacks
// SetDefaultDllDirectories): DLLs that system DLLs load by name may then
// still come from the program's own folder.
bool HardenDllSearchPath();
// What HardenDllSearchPath found.
bool IsDllSearchRestricted();

// Loads a DLL from the system folder, never from the program's own folder or
// the current one. Null when it cannot be loaded. Modules stay loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A function of a module, typed; null when the module lacks it.
template <class Fn>
Fn ModuleFunction(HMODULE module, const char* name) {
  if (!module) return nullptr;
  // Through a plain function pointer type, the documented way to convert one
  // function pointer type into another.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A function of a DLL from the system folder; null when either is missing.
template <class Fn>
Fn SystemFunction(const wchar_t* dll, const char* name) {
  return ModuleFunction<Fn>(LoadSystemLibrary(dll), name);
}

}  // namespace lantern
