#include "payload/ordered_jobs.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/when_memory_fails.h"

namespace lantern {

namespace {

// A job's own log: its lines stay in memory (cut at a NUL, as every line of
// the log is) until the run writes them out in order.
class LinesOnly final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view) override { return std::nullopt; }
  std::unique_ptr<LogFile> Open(const std::wstring&, bool) override { return nullptr; }
};

class Runner {
 public:
  Runner(const OrderedJobs& jobs, DiagnosticLog& log)
      : jobs_(jobs), log_(log), slots_(jobs.count), first_failed_(jobs.count) {}

  // One thread's share: jobs are taken in order until none is left or one
  // has failed.
  void Work() {
    LinesOnly lines_only;
    std::unique_lock lock(mutex_);
    while (next_ < jobs_.count && first_failed_ == jobs_.count) {
      const std::size_t index = next_++;
      const std::size_t after = index < jobs_.after.size() ? std::min(jobs_.after[index], index) : 0;
      if (after > ended_) ended_changed_.wait(lock, [&] { return ended_ >= after; });
      Slot& slot = slots_[index];
      if (first_failed_ < index) {
        slot.state = State::NotStarted;  // a job before it failed meanwhile
      } else {
        lock.unlock();
        bool ok = false;
        std::wstring lines;
        LANTERN_TRY {
          DiagnosticLog buffer(lines_only);
          ok = jobs_.run(index, buffer);
          lines = buffer.Pending();
        } LANTERN_CATCH(...) {
          ok = false;  // out of memory: the job failed
        }
        lock.lock();
        slot.lines = std::move(lines);
        slot.state = ok ? State::Ok : State::Failed;
        if (!ok) first_failed_ = std::min(first_failed_, index);
      }
      const std::size_t ended_before = ended_;
      while (ended_ < next_ && slots_[ended_].state != State::Running) ++ended_;
      if (ended_ != ended_before) ended_changed_.notify_all();
      WriteLines(lock);
    }
  }

  std::size_t first_failed() const { return first_failed_; }

 private:
  enum class State : unsigned char { Running, Ok, Failed, NotStarted };
  struct Slot {
    State state = State::Running;
    std::wstring lines;
  };

  // Writes the lines of the jobs that have ended, in order, up to the first
  // that has not. One thread writes at a time, with the lock released, so
  // that the others go on with their jobs meanwhile.
  void WriteLines(std::unique_lock<std::mutex>& lock) {
    if (writing_) return;  // the writer sees this job's lines before it stops
    writing_ = true;
    while (!log_closed_ && logged_ < ended_) {
      Slot& slot = slots_[logged_++];
      // Everything before the first failure ended well: the log stops there.
      if (slot.state != State::Ok) log_closed_ = true;
      const std::wstring lines = std::move(slot.lines);
      slot.lines = std::wstring();
      lock.unlock();
      log_.LogText(lines);
      lock.lock();
    }
    writing_ = false;
  }

  const OrderedJobs& jobs_;
  DiagnosticLog& log_;
  std::mutex mutex_;
  std::condition_variable ended_changed_;
  std::vector<Slot> slots_;
  std::size_t next_ = 0;      // the next job to take
  std::size_t ended_ = 0;     // the jobs from the first that have all ended
  std::size_t logged_ = 0;    // the jobs whose lines are in the log
  std::size_t first_failed_;  // `count` while none has failed
  bool writing_ = false;      // a thread is writing lines to the log
  bool log_closed_ = false;   // the first failure's lines are written
};

}  // namespace

std::size_t RunOrderedJobs(const OrderedJobs& jobs, WorkerThreads* workers, unsigned threads,
                           DiagnosticLog& log) {
  if (jobs.count == 0) return 0;
  Runner runner(jobs, log);
  const unsigned count = static_cast<unsigned>(std::min<std::size_t>(std::max(threads, 1u), jobs.count));
  if (workers && count > 1) {
    workers->Run(count, [&runner] { runner.Work(); });
  } else {
    runner.Work();
  }
  return runner.first_failed();
}

}  // namespace lantern
