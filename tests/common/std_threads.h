// Worker threads of the standard library, for tests of work that runs on
// several threads at once, natively as under Wine.
#pragma once

#include <functional>
#include <thread>
#include <vector>

#include "payload/ordered_jobs.h"

namespace lantern::testing_fakes {

class StdThreads final : public WorkerThreads {
 public:
  void Run(unsigned count, const std::function<void()>& work) override {
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < count; ++i) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();
  }
};

}  // namespace lantern::testing_fakes
