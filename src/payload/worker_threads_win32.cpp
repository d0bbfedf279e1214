#include "payload/worker_threads_win32.h"

#include <windows.h>

#include <vector>

#include "core/when_memory_fails.h"
#include "framework/unique_handle_win32.h"

namespace lantern {

namespace {

// Small stacks: the work is file calls, and a few threads should cost little.
constexpr SIZE_T kStackSize = 256 * 1024;

DWORD WINAPI RunWork(LPVOID parameter) {
  LANTERN_TRY {
    (*static_cast<const std::function<void()>*>(parameter))();
  } LANTERN_CATCH(...) {
    // Nothing crosses the thread's edge; the work counts its own failures.
  }
  return 0;
}

}  // namespace

void Win32WorkerThreads::Run(unsigned count, const std::function<void()>& work) {
  std::vector<UniqueKernelHandle> threads;
  LANTERN_TRY {
    threads.reserve(count > 1 ? count - 1 : 0);
  } LANTERN_CATCH(...) {
    count = 1;
  }
  for (unsigned i = 1; i < count; ++i) {
    UniqueKernelHandle thread(CreateThread(nullptr, kStackSize, RunWork,
                                           const_cast<std::function<void()>*>(&work),
                                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) break;  // the threads there are share the work
    threads.push_back(std::move(thread));
  }
  RunWork(const_cast<std::function<void()>*>(&work));
  for (const UniqueKernelHandle& thread : threads) WaitForSingleObject(thread.get(), INFINITE);
}

}  // namespace lantern
