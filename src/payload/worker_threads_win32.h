// Worker threads on Windows: the calling thread and a few more, started for
// one piece of work and ended with it.
#pragma once

#include "payload/ordered_jobs.h"

namespace lantern {

class Win32WorkerThreads final : public WorkerThreads {
 public:
  void Run(unsigned count, const std::function<void()>& work) override;
};

}  // namespace lantern
