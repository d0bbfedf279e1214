// Linked into the bootstrapper only, which is built without C++ exceptions
// (and without run-time type information): lighter stand-ins for the pieces
// of the GNU C++ runtime that would otherwise bring exceptions back, with the
// unwinder and the tables it reads.
//
// - Memory comes from the C library's heap. When it runs out, nothing can
//   catch that any more: the process writes one last line to the run's log,
//   if it has one open, and ends at once with E_OUTOFMEMORY. It does not
//   unwind, so a working folder being filled at that moment stays on disk;
//   the log line names the cause. The allocations that may fail without
//   ending the run ask for memory with std::nothrow and get null back.
// - The runtime's own errors (a string grown past its largest size, an index
//   out of range), raised through the std::__throw_* functions, are faults in
//   the program. They end it the same way, with E_UNEXPECTED.
// - The default terminate handler prints the escaping exception's type to
//   standard error, and so brings the runtime's whole name demangler along. A
//   GUI program has no standard error to print to; this one aborts at once.
// - Statics made on first use are guarded by one process-wide lock instead of
//   the runtime's guard, which throws when its lock fails.
//
// Other compilers and runtimes keep their own.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string_view>

#if defined(__GLIBCXX__) && defined(__MINGW32__)

#include <bits/functexcept.h>

#include "core/result_codes.h"
#include "log/log.h"

namespace {

// Only the first thread to get here speaks; any other waits to be ended.
LONG ending = 0;

[[noreturn]] void EndProcess(std::string_view last_words, lantern::ResultCode code) {
  if (InterlockedExchange(&ending, 1) == 0) {
    if (lantern::DiagnosticLog* log = lantern::LastWordsLog()) log->WriteLastWords(last_words);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  }
  for (;;) Sleep(INFINITE);
}

[[noreturn]] void OutOfMemory() {
  EndProcess("Out of memory: the bootstrapper ends here with 0x8007000e\n", lantern::rc::OutOfMemory);
}

[[noreturn]] void RuntimeFault(const char*) {
  EndProcess("Unexpected failure in the C++ runtime: the bootstrapper ends here with 0x8000ffff\n",
             lantern::rc::Unexpected);
}

void* Allocate(std::size_t size) noexcept { return std::malloc(size ? size : 1); }

void* AllocateOrEnd(std::size_t size) {
  void* memory = Allocate(size);
  if (!memory) OutOfMemory();
  return memory;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrEnd(size); }
void* operator new[](std::size_t size) { return AllocateOrEnd(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { OutOfMemory(); }
void __throw_bad_array_new_length() { OutOfMemory(); }
void __throw_bad_exception() { RuntimeFault("bad exception"); }
void __throw_bad_cast() { RuntimeFault("bad cast"); }
void __throw_bad_typeid() { RuntimeFault("bad typeid"); }
void __throw_logic_error(const char* what) { RuntimeFault(what); }
void __throw_domain_error(const char* what) { RuntimeFault(what); }
void __throw_invalid_argument(const char* what) { RuntimeFault(what); }
void __throw_length_error(const char* what) { RuntimeFault(what); }
void __throw_out_of_range(const char* what) { RuntimeFault(what); }
void __throw_out_of_range_fmt(const char* format, ...) { RuntimeFault(format); }
void __throw_runtime_error(const char* what) { RuntimeFault(what); }
void __throw_range_error(const char* what) { RuntimeFault(what); }
void __throw_overflow_error(const char* what) { RuntimeFault(what); }
void __throw_underflow_error(const char* what) { RuntimeFault(what); }
// A lock or a condition the system cannot give (the extraction threads').
void __throw_system_error(int) { RuntimeFault("a lock or a condition cannot be used"); }
void __throw_bad_function_call() { RuntimeFault("an empty function was called"); }

}  // namespace std

// Statics made on first use. The guard's first byte says the object is made;
// one recursive lock serialises the making, so a static whose making needs
// another static still gets it.
namespace {

// Made on first use by the system's one-time initialisation, as a static here
// would itself need a guard.
INIT_ONCE guard_lock_once = INIT_ONCE_STATIC_INIT;
CRITICAL_SECTION guard_lock;

BOOL CALLBACK MakeGuardLock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&guard_lock);
  return TRUE;
}

CRITICAL_SECTION& GuardLock() {
  InitOnceExecuteOnce(&guard_lock_once, MakeGuardLock, nullptr, nullptr);
  return guard_lock;
}

}  // namespace

extern "C" {

int __cxa_guard_acquire(long long* guard) {
  if (*reinterpret_cast<volatile char*>(guard) != 0) return 0;
  EnterCriticalSection(&GuardLock());
  if (*reinterpret_cast<volatile char*>(guard) != 0) {
    LeaveCriticalSection(&GuardLock());
    return 0;
  }
  return 1;
}

void __cxa_guard_release(long long* guard) {
  *reinterpret_cast<volatile char*>(guard) = 1;
  LeaveCriticalSection(&GuardLock());
}

void __cxa_guard_abort(long long*) { LeaveCriticalSection(&GuardLock()); }

}  // extern "C"

#endif
