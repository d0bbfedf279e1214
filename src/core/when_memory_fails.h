// Handling a failed allocation where the code can go on without it.
//
// The library code catches std::bad_alloc at a few places where a run can go
// on without what it could not have (a log line dropped, a folder handle not
// cached, a thread's work failed). The bootstrapper itself is built without
// C++ exceptions, which keeps their tables and the unwinder out of it; there
// a failed allocation ends the process at once with E_OUTOFMEMORY and a last
// line in the log (src/app/lean_runtime_win32.cpp), so those handlers never
// run. These two words mark them and compile either way:
//
//   LANTERN_TRY {
//     ...
//   } LANTERN_CATCH(const std::bad_alloc&) {
//     ...  // only where exceptions exist
//   }
#pragma once

#if defined(__cpp_exceptions) || defined(__EXCEPTIONS) || defined(_CPPUNWIND)
#define LANTERN_TRY try
#define LANTERN_CATCH(what) catch (what)
#else
#define LANTERN_TRY if (true)
#define LANTERN_CATCH(what) else if (false)
#endif
