// Jobs on several threads with the log of one thread: lines in job order
// whatever order the jobs end in, the first failure in job order ending the
// log, no job started once a failure is known, and jobs that must not
// overlap kept apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "memory_log.h"
#include "payload/ordered_jobs.h"
#include "std_threads.h"

namespace lantern {
namespace {

using testing_fakes::MemoryLog;
using testing_fakes::StdThreads;

// What the jobs did, kept under a lock: which started and ended, in order,
// and a way for one job to wait for another to end (bounded, so that a
// fault shows as a failed expectation, not a hang).
class Record {
 public:
  void Started(std::size_t job) {
    std::lock_guard lock(mutex_);
    started_.push_back(job);
  }
  void Ended(std::size_t job) {
    std::lock_guard lock(mutex_);
    ended_.push_back(job);
    changed_.notify_all();
  }
  bool WaitUntilEnded(std::size_t job) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return HasEnded(job); });
  }
  bool HasEnded(std::size_t job) const {
    for (std::size_t ended : ended_) {
      if (ended == job) return true;
    }
    return false;
  }
  std::vector<std::size_t> started() {
    std::lock_guard lock(mutex_);
    return started_;
  }
  std::vector<std::size_t> ended() {
    std::lock_guard lock(mutex_);
    return ended_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::size_t> started_;
  std::vector<std::size_t> ended_;
};

std::wstring Lines(std::size_t from, std::size_t to) {
  std::wstring lines;
  for (std::size_t job = from; job < to; ++job) {
    lines += L"start " + std::to_wstring(job) + L"\n" + L"end " + std::to_wstring(job) + L"\n";
  }
  return lines;
}

TEST(OrderedJobs, LinesComeInJobOrderWhateverOrderTheJobsEndIn) {
  // Each job of a group of four ends only after the later ones of its group.
  constexpr std::size_t kJobs = 12;
  for (const unsigned threads : {1u, 4u}) {
    SCOPED_TRACE(threads);
    Record record;
    MemoryLog memory;
    StdThreads workers;
    OrderedJobs jobs;
    jobs.count = kJobs;
    jobs.run = [&](std::size_t job, DiagnosticLog& lines) {
      record.Started(job);
      lines.LogFormat(L"start %d\n", static_cast<int>(job));
      if (threads > 1 && job % 4 != 3) {
        EXPECT_TRUE(record.WaitUntilEnded(job + 1)) << job;
      }
      lines.LogFormat(L"end %d\n", static_cast<int>(job));
      record.Ended(job);
      return true;
    };
    EXPECT_EQ(RunOrderedJobs(jobs, &workers, threads, memory.log), kJobs);
    EXPECT_EQ(memory.Lines(), Lines(0, kJobs));
    EXPECT_EQ(record.started().size(), kJobs);
    if (threads > 1) {
      EXPECT_EQ(record.ended()[0], 3u);
    }
  }
}

// Job 2 fails after job 3 has failed, and job 1 ends last: job 2's failure is
// the one returned, and the log ends with its lines.
TEST(OrderedJobs, TheFirstFailureInJobOrderEndsTheLog) {
  Record record;
  MemoryLog memory;
  StdThreads workers;
  OrderedJobs jobs;
  jobs.count = 40;
  jobs.run = [&](std::size_t job, DiagnosticLog& lines) {
    record.Started(job);
    lines.LogFormat(L"start %d\n", static_cast<int>(job));
    if (job == 1) {
      EXPECT_TRUE(record.WaitUntilEnded(2));
    }
    if (job == 2) {
      EXPECT_TRUE(record.WaitUntilEnded(3));
    }
    if (job >= 4) {
      // Only once job 3 has failed, so that the threads cannot run every
      // other job while jobs 1 to 3 are still under way.
      EXPECT_TRUE(record.WaitUntilEnded(3));
    }
    lines.LogFormat(L"end %d\n", static_cast<int>(job));
    record.Ended(job);
    return job != 2 && job != 3;
  };
  EXPECT_EQ(RunOrderedJobs(jobs, &workers, 4, memory.log), 2u);
  EXPECT_EQ(memory.Lines(), Lines(0, 3));
  EXPECT_LT(record.started().size(), 40u);
}

// A log file whose text can be watched while threads write to it.
class WatchedLog final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override {
    return std::string(text.begin(), text.end());
  }
  std::unique_ptr<LogFile> Open(const std::wstring&, bool) override { return std::make_unique<File>(*this); }
  bool WaitFor(const std::string& text) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return text_.find(text) != std::string::npos; });
  }
  std::string text() {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  class File final : public LogFile {
   public:
    explicit File(WatchedLog& log) : log_(log) {}
    void Write(std::string_view bytes) override {
      std::lock_guard lock(log_.mutex_);
      log_.text_.append(bytes);
      log_.changed_.notify_all();
    }

   private:
    WatchedLog& log_;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
};

// Job 0 fails at once; every other job that starts stays until job 0's
// lines are in the log, which is after its failure is known. So the jobs
// that run besides it are those the other threads took before: at most one
// each, and no further one is taken.
TEST(OrderedJobs, NoJobIsTakenOnceAFailureIsKnown) {
  constexpr unsigned kThreads = 4;
  WatchedLog watched;
  DiagnosticLog log(watched);
  log.OpenLogFile(L"watched.log");
  Record record;
  StdThreads workers;
  OrderedJobs jobs;
  jobs.count = 40;
  jobs.run = [&](std::size_t job, DiagnosticLog& lines) {
    record.Started(job);
    lines.LogFormat(L"job %d\n", static_cast<int>(job));
    if (job != 0) {
      EXPECT_TRUE(watched.WaitFor("job 0\n"));
    }
    return job != 0;
  };
  EXPECT_EQ(RunOrderedJobs(jobs, &workers, kThreads, log), 0u);
  EXPECT_EQ(watched.text(), "job 0\n");
  const std::vector<std::size_t> started = record.started();
  EXPECT_LE(started.size(), kThreads);
  for (const std::size_t job : started) {
    EXPECT_LT(job, kThreads);
  }
}

// Job 5 writes where job 1 does: it starts only once jobs 0 to 1 have ended,
// however long job 1 takes; the later ones go on meanwhile.
TEST(OrderedJobs, AJobThatMustNotOverlapEarlierOnesWaitsForThem) {
  Record record;
  MemoryLog memory;
  StdThreads workers;
  std::mutex mutex;
  std::set<std::size_t> running;
  std::vector<std::set<std::size_t>> running_at_start(8);
  OrderedJobs jobs;
  jobs.count = 8;
  jobs.after = {0, 0, 0, 0, 0, 2, 0, 0};
  jobs.run = [&](std::size_t job, DiagnosticLog& lines) {
    {
      std::lock_guard lock(mutex);
      running_at_start[job] = running;
      running.insert(job);
    }
    lines.LogFormat(L"start %d\n", static_cast<int>(job));
    // Job 1 stays until job 6 (taken after job 5) has ended.
    if (job == 1) {
      EXPECT_TRUE(record.WaitUntilEnded(6));
    }
    lines.LogFormat(L"end %d\n", static_cast<int>(job));
    {
      std::lock_guard lock(mutex);
      running.erase(job);
    }
    record.Ended(job);
    return true;
  };
  EXPECT_EQ(RunOrderedJobs(jobs, &workers, 4, memory.log), 8u);
  EXPECT_EQ(memory.Lines(), Lines(0, 8));
  EXPECT_EQ(running_at_start[5].count(0), 0u);
  EXPECT_EQ(running_at_start[5].count(1), 0u);
  const std::vector<std::size_t> ended = record.ended();
  EXPECT_LT(std::find(ended.begin(), ended.end(), 6) - ended.begin(),
            std::find(ended.begin(), ended.end(), 1) - ended.begin());
}

TEST(OrderedJobs, AJobThatThrowsHasFailed) {
  MemoryLog memory;
  StdThreads workers;
  OrderedJobs jobs;
  jobs.count = 3;
  jobs.run = [&](std::size_t job, DiagnosticLog& lines) -> bool {
    lines.LogFormat(L"job %d\n", static_cast<int>(job));
    if (job == 1) throw std::bad_alloc();
    return true;
  };
  EXPECT_EQ(RunOrderedJobs(jobs, &workers, 2, memory.log), 1u);
  EXPECT_EQ(memory.Lines(), L"job 0\n");
}

}  // namespace
}  // namespace lantern
