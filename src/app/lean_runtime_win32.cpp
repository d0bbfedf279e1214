// Linked into the bootstrapper only: lighter stand-ins for two pieces of the
// GNU C++ runtime that a static link would otherwise pull in whole.
//
// - The default terminate handler prints the escaping exception's type to
//   standard error before it aborts, and so brings the runtime's whole
//   name demangler along. A GUI program has no standard error to print to;
//   this one aborts at once, as the other does after printing.
// - The runtime raises its own errors (a string grown past its largest size,
//   an index out of range) through the std::__throw_* functions, whose
//   versions build std::logic_error and its kin around a reference-counted
//   copy of the message. Nothing here catches those types by name: the run's
//   threads catch std::bad_alloc, and everything else as one unexpected
//   failure. So out-of-memory still throws the real std::bad_alloc, and every
//   other error throws one small exception that carries the same message.
//
// Other compilers and runtimes keep their own.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

#if defined(__GLIBCXX__) && defined(__MINGW32__)

#include <bits/functexcept.h>

namespace {

class RuntimeError final : public std::exception {
 public:
  explicit RuntimeError(const char* what) noexcept : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;  // the runtime's own message, a literal
};

[[noreturn]] void Raise(const char* what) { throw RuntimeError(what); }

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* what) { Raise(what); }
void __throw_domain_error(const char* what) { Raise(what); }
void __throw_invalid_argument(const char* what) { Raise(what); }
void __throw_length_error(const char* what) { Raise(what); }
void __throw_out_of_range(const char* what) { Raise(what); }
// The format's arguments (the index and the size) are left out of the message.
void __throw_out_of_range_fmt(const char* format, ...) { Raise(format); }
void __throw_runtime_error(const char* what) { Raise(what); }
void __throw_range_error(const char* what) { Raise(what); }
void __throw_overflow_error(const char* what) { Raise(what); }
void __throw_underflow_error(const char* what) { Raise(what); }
// A lock or a condition the system cannot give (the extraction threads'); the
// code is left out of the message.
void __throw_system_error(int) { Raise("a lock or a condition cannot be used"); }
void __throw_bad_function_call() { Raise("an empty function was called"); }

}  // namespace std

#endif
