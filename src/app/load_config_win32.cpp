// The executable's load configuration, which the system's loader reads from
// the PE header's load-configuration entry. Linked into every bootstrapper.
//
// Its one job here is safe exception handling for a 32-bit image: a handler
// table that lists every structured-exception handler of this image. This
// program registers none (C++ exceptions unwind by tables, not by handler
// frames on the stack), so the table is empty, and the loader refuses to call
// any "handler" of this image that an overwritten stack frame might name.
//
// MSVC's runtime brings its own load configuration; GNU ld fills the header
// entry from a symbol of this name, when one is defined.
#if defined(__MINGW32__) && defined(__i386__)

#include <windows.h>

#include <cstddef>

namespace {

// IMAGE_LOAD_CONFIG_DIRECTORY32, with the fields that hold addresses typed as
// pointers, so that the linker writes them (and their relocations) as it does
// any other address.
struct LoadConfig32 {
  DWORD Size;
  DWORD TimeDateStamp;
  WORD MajorVersion;
  WORD MinorVersion;
  DWORD GlobalFlagsClear;
  DWORD GlobalFlagsSet;
  DWORD CriticalSectionDefaultTimeout;
  DWORD DeCommitFreeBlockThreshold;
  DWORD DeCommitTotalFreeThreshold;
  const void* LockPrefixTable;
  DWORD MaximumAllocationSize;
  DWORD VirtualMemoryThreshold;
  DWORD ProcessHeapFlags;
  DWORD ProcessAffinityMask;
  WORD CSDVersion;
  WORD Reserved1;
  const void* EditList;
  const void* SecurityCookie;
  const void* SEHandlerTable;
  DWORD SEHandlerCount;
};

static_assert(sizeof(void*) == sizeof(DWORD));
static_assert(sizeof(LoadConfig32) == sizeof(IMAGE_LOAD_CONFIG_DIRECTORY32));
static_assert(offsetof(LoadConfig32, LockPrefixTable) ==
              offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, LockPrefixTable));
static_assert(offsetof(LoadConfig32, SecurityCookie) ==
              offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SecurityCookie));
static_assert(offsetof(LoadConfig32, SEHandlerTable) ==
              offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SEHandlerTable));
static_assert(offsetof(LoadConfig32, SEHandlerCount) ==
              offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SEHandlerCount));

}  // namespace

extern "C" {

// The relative addresses of this image's exception handlers, sorted: none.
// The table needs an address, so it holds one unused entry.
extern const DWORD lantern_safe_exception_handlers[1];
const DWORD lantern_safe_exception_handlers[1] = {0};

extern const LoadConfig32 _load_config_used;
const LoadConfig32 _load_config_used = {
    sizeof(LoadConfig32),
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    nullptr,  // no lock prefixes to patch
    0,
    0,
    0,
    0,
    0,
    0,
    nullptr,  // no edit list
    nullptr,  // no stack cookie kept by the loader
    lantern_safe_exception_handlers,
    0,
};

}  // extern "C"

#endif
