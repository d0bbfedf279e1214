// Linked into the bootstrapper only: the few POSIX thread calls that the GNU
// C++ runtime makes (its locks for static locals, exception state per thread,
// the unwinder's table of frames, std::mutex and std::condition_variable),
// answered by Windows directly, and std::condition_variable's own members. The POSIX thread library they otherwise come
// from is linked whole for them: its thread, condition and read-write-lock
// machinery, about 30 KB of the stub.
//
// What differs from that library, none of which the runtime relies on:
// - a key's destructor is not called when a thread ends, so the runtime's
//   per-thread exception state (a few bytes) of each ended thread stays
//   allocated until the process ends;
// - every lock is recursive, as a critical section is;
// - no error checking beyond what the runtime itself needs.
//
// Other compilers and runtimes keep their own.
#include <cerrno>
#include <cstdint>

#if defined(__GLIBCXX__) && defined(__MINGW32__) && __has_include(<pthread.h>)

#include <pthread.h>
#include <windows.h>

#include <condition_variable>
#include <mutex>

namespace {

// A lock's value before its first use: an initializer of pthread.h (plain,
// error-checking or recursive) rather than a critical section.
bool IsInitializer(intptr_t value) { return value == -1 || value == -2 || value == -3; }

CRITICAL_SECTION* NewCriticalSection() {
  auto* section = static_cast<CRITICAL_SECTION*>(HeapAlloc(GetProcessHeap(), 0, sizeof(CRITICAL_SECTION)));
  if (section) InitializeCriticalSection(section);
  return section;
}

void DeleteSection(CRITICAL_SECTION* section) {
  DeleteCriticalSection(section);
  HeapFree(GetProcessHeap(), 0, section);
}

// The lock's critical section, made on first use when the lock was set by an
// initializer; null when there is no memory for it.
CRITICAL_SECTION* SectionOf(pthread_mutex_t* mutex) {
  void* const* slot = reinterpret_cast<void* const*>(mutex);
  const intptr_t value = reinterpret_cast<intptr_t>(
      InterlockedCompareExchangePointer(const_cast<void**>(slot), nullptr, nullptr));
  if (!IsInitializer(value)) return reinterpret_cast<CRITICAL_SECTION*>(value);
  CRITICAL_SECTION* made = NewCriticalSection();
  if (!made) return nullptr;
  void* const before = InterlockedCompareExchangePointer(reinterpret_cast<void**>(mutex), made,
                                                         reinterpret_cast<void*>(value));
  if (before == reinterpret_cast<void*>(value)) return made;
  DeleteSection(made);  // another thread made it first
  return static_cast<CRITICAL_SECTION*>(before);
}

// A condition's variable lives in the condition itself: a condition set by
// the initializer becomes an empty variable on first use.
CONDITION_VARIABLE* VariableOf(pthread_cond_t* condition) {
  InterlockedCompareExchangePointer(reinterpret_cast<void**>(condition), nullptr,
                                    reinterpret_cast<void*>(-1));
  return reinterpret_cast<CONDITION_VARIABLE*>(condition);
}

}  // namespace

extern "C" {

int pthread_once(pthread_once_t* once, void (*function)(void)) {
  // 0: not run; 1: running on some thread; 2: done.
  volatile long* state = once;
  if (InterlockedCompareExchange(state, 1, 0) == 0) {
    function();
    InterlockedExchange(state, 2);
    return 0;
  }
  while (InterlockedCompareExchange(state, 2, 2) != 2) SwitchToThread();
  return 0;
}

int pthread_key_create(pthread_key_t* key, void (*)(void*)) {
  const DWORD index = TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) return EAGAIN;
  *key = index;
  return 0;
}

int pthread_key_delete(pthread_key_t key) { return TlsFree(key) ? 0 : EINVAL; }

// Both keep the thread's last error: the runtime reaches them between a
// failed system call and the reading of its error.
void* pthread_getspecific(pthread_key_t key) {
  const DWORD error = GetLastError();
  void* value = TlsGetValue(key);
  SetLastError(error);
  return value;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
  const DWORD error = GetLastError();
  const BOOL set = TlsSetValue(key, const_cast<void*>(value));
  SetLastError(error);
  return set ? 0 : ENOMEM;
}

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t*) {
  CRITICAL_SECTION* section = NewCriticalSection();
  if (!section) return ENOMEM;
  *mutex = reinterpret_cast<intptr_t>(section);
  return 0;
}

int pthread_mutex_destroy(pthread_mutex_t* mutex) {
  if (!IsInitializer(*mutex)) DeleteSection(reinterpret_cast<CRITICAL_SECTION*>(*mutex));
  *mutex = -1;
  return 0;
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
  CRITICAL_SECTION* section = SectionOf(mutex);
  if (!section) return ENOMEM;
  EnterCriticalSection(section);
  return 0;
}

int pthread_mutex_trylock(pthread_mutex_t* mutex) {
  CRITICAL_SECTION* section = SectionOf(mutex);
  if (!section) return ENOMEM;
  return TryEnterCriticalSection(section) ? 0 : EBUSY;
}

int pthread_mutex_unlock(pthread_mutex_t* mutex) {
  LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(*mutex));
  return 0;
}

int pthread_cond_init(pthread_cond_t* condition, const pthread_condattr_t*) {
  *condition = 0;
  InitializeConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(condition));
  return 0;
}

int pthread_cond_destroy(pthread_cond_t*) { return 0; }

int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
  return SleepConditionVariableCS(VariableOf(condition), reinterpret_cast<CRITICAL_SECTION*>(*mutex),
                                  INFINITE)
             ? 0
             : EINVAL;
}

int pthread_cond_signal(pthread_cond_t* condition) {
  WakeConditionVariable(VariableOf(condition));
  return 0;
}

int pthread_cond_broadcast(pthread_cond_t* condition) {
  WakeAllConditionVariable(VariableOf(condition));
  return 0;
}

}  // extern "C"

// std::condition_variable's own members. The runtime's copies sit in an
// object built with exceptions, whose unwind entries name the exception
// personality and so would bring the unwinder into a bootstrapper that has no
// exceptions. These are the same calls on the same condition.
namespace std {

condition_variable::condition_variable() noexcept = default;
condition_variable::~condition_variable() noexcept = default;
void condition_variable::wait(unique_lock<mutex>& lock) { _M_cond.wait(*lock.mutex()); }
void condition_variable::notify_one() noexcept { _M_cond.notify_one(); }
void condition_variable::notify_all() noexcept { _M_cond.notify_all(); }

}  // namespace std

#endif
