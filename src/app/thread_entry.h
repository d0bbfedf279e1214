// The one error policy at the entry of each of the run's threads: an exception
// that escapes a thread's work is logged and becomes that thread's failure
// result, instead of ending the process without a word.
#pragma once

#include <exception>
#include <new>

#include "core/result_codes.h"
#include "core/when_memory_fails.h"
#include "log/log.h"

namespace lantern {

// Runs `body` (which returns a ResultCode) on behalf of the thread named
// `thread`. E_OUTOFMEMORY when memory ran out, E_UNEXPECTED for any other
// exception; each logged with the thread's name.
template <class Body>
ResultCode RunThreadBody(DiagnosticLog& log, const wchar_t* thread, Body&& body) noexcept {
  LANTERN_TRY {
    return body();
  } LANTERN_CATCH(const std::bad_alloc&) {
    log.LogFormat(L"%s thread: out of memory %0x\n", thread, rc::OutOfMemory);
    return rc::OutOfMemory;
  } LANTERN_CATCH(...) {
    log.LogFormat(L"%s thread: unexpected failure %0x\n", thread, rc::Unexpected);
    return rc::Unexpected;
  }
}

}  // namespace lantern
