// Many small file jobs run on a few threads at once while the log reads as if
// they had run one after the other: jobs are taken in order, each keeps its
// lines to itself, and the lines reach the log in job order. A failure stops
// the taking of new jobs and ends the log with the failed job's lines.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "log/log.h"

namespace lantern {

// Threads for work that runs on several at once.
class WorkerThreads {
 public:
  virtual ~WorkerThreads() = default;
  // Calls `work` on `count` threads at once, the calling thread one of them,
  // and returns once every call has returned. Where the system cannot start
  // that many, fewer run it: the calling thread at least.
  virtual void Run(unsigned count, const std::function<void()>& work) = 0;
};

struct OrderedJobs {
  std::size_t count = 0;
  // Runs job `index`, writing its log lines to `lines`; false when it failed.
  // It is called on several threads at once, never twice for one job.
  std::function<bool(std::size_t index, DiagnosticLog& lines)> run;
  // For a job that must not overlap earlier ones (they write where it
  // writes): `after[index]` jobs from the first must have ended before it
  // starts. Missing or 0: it waits for none.
  std::vector<std::size_t> after;
};

// Runs the jobs on up to `threads` threads (the calling thread alone without
// `workers`), taking them in order. A job's lines reach `log` once it and
// every job before it have ended. Once a job has failed no further job is
// taken, nor is a taken one started when an earlier one failed; jobs already
// running end. The log ends with the lines of the first failed job in job
// order, whose index is returned; `count` when none failed.
std::size_t RunOrderedJobs(const OrderedJobs& jobs, WorkerThreads* workers, unsigned threads,
                           DiagnosticLog& log);

}  // namespace lantern
