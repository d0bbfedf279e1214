// The bootstrapper's own answers to the C++ runtime's POSIX thread calls,
// linked here as in the bootstrapper and driven from several threads at once:
// locks and conditions, statics made on first use, exceptions thrown and
// caught on every thread (the runtime keeps their state per thread through a
// key), and the thread's last error kept across that state. A program of its
// own, because std::thread would bring the whole POSIX thread library back.
// Prints each failed check and exits with the number of them.
#include <pthread.h>
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

constexpr int kThreads = 8;
constexpr int kRounds = 2000;

std::mutex counter_lock;
std::condition_variable counter_changed;
long counter = 0;
long started = 0;
volatile long made_statics = 0;
volatile long once_calls = 0;
pthread_once_t once = PTHREAD_ONCE_INIT;
volatile long caught = 0;
volatile long errors_kept = 0;

struct MadeOnce {
  MadeOnce() {
    Sleep(20);  // long enough for the other threads to arrive meanwhile
    InterlockedIncrement(&made_statics);
  }
  int value = 42;
};

int StaticValue() {
  static MadeOnce made;
  return made.value;
}

void CountOnce() {
  Sleep(20);
  InterlockedIncrement(&once_calls);
}

DWORD WINAPI Worker(void*) {
  {
    // Every thread waits for all to have started, so what follows overlaps.
    std::unique_lock lock(counter_lock);
    ++started;
    counter_changed.notify_all();
    counter_changed.wait(lock, [] { return started == kThreads; });
  }
  pthread_once(&once, CountOnce);
  if (StaticValue() != 42) InterlockedIncrement(&made_statics);  // counted as a second making
  for (int round = 0; round < kRounds; ++round) {
    {
      std::lock_guard lock(counter_lock);
      ++counter;
    }
    try {
      SetLastError(ERROR_FILE_NOT_FOUND);
      throw std::runtime_error("round " + std::to_string(round));
    } catch (const std::runtime_error& error) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) InterlockedIncrement(&errors_kept);
      if (std::string(error.what()) == "round " + std::to_string(round)) InterlockedIncrement(&caught);
    }
  }
  return 0;
}

}  // namespace

int main() {
  HANDLE threads[kThreads];
  for (HANDLE& thread : threads) thread = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
  WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);

  Check(counter == kThreads * kRounds, "every locked increment counted");
  Check(made_statics == 1, "a static made once, every thread seeing it made");
  Check(once_calls == 1, "pthread_once ran its function once");
  Check(caught == kThreads * kRounds, "every exception caught on its own thread with its own message");
  Check(errors_kept == kThreads * kRounds, "the last error kept through throwing and catching");

  // A lock set by the initializer, a recursive one, and one made by init.
  pthread_mutex_t plain = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_t recursive = PTHREAD_RECURSIVE_MUTEX_INITIALIZER;
  pthread_mutex_t made;
  Check(pthread_mutex_init(&made, nullptr) == 0, "pthread_mutex_init");
  Check(pthread_mutex_lock(&plain) == 0 && pthread_mutex_unlock(&plain) == 0, "a plain initialised lock");
  Check(pthread_mutex_lock(&recursive) == 0 && pthread_mutex_lock(&recursive) == 0 &&
            pthread_mutex_unlock(&recursive) == 0 && pthread_mutex_unlock(&recursive) == 0,
        "a recursive lock taken twice");
  Check(pthread_mutex_trylock(&made) == 0 && pthread_mutex_unlock(&made) == 0, "trylock of a free lock");
  Check(pthread_mutex_destroy(&plain) == 0 && pthread_mutex_destroy(&recursive) == 0 &&
            pthread_mutex_destroy(&made) == 0,
        "pthread_mutex_destroy");

  pthread_key_t key;
  Check(pthread_key_create(&key, nullptr) == 0, "pthread_key_create");
  int value = 0;
  SetLastError(ERROR_ACCESS_DENIED);
  Check(pthread_getspecific(key) == nullptr && pthread_setspecific(key, &value) == 0 &&
            pthread_getspecific(key) == &value,
        "a key's value on this thread");
  Check(GetLastError() == ERROR_ACCESS_DENIED, "the last error kept by the key's calls");
  Check(pthread_key_delete(key) == 0, "pthread_key_delete");

  if (failures == 0) std::printf("all checks passed\n");
  return failures;
}
