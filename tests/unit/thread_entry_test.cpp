// The error policy at a thread's entry: what escapes the thread's work is
// logged and becomes its failure result.
#include "app/thread_entry.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "memory_log.h"

namespace lantern {
namespace {

TEST(ThreadEntry, AnEscapingExceptionBecomesALoggedFailureResult) {
  struct Case {
    const char* what;
    std::function<ResultCode()> body;
    ResultCode result;
    std::wstring lines;
  };
  const Case cases[] = {
      {"the work's own result", [] { return rc::NoDotNet; }, rc::NoDotNet, L""},
      {"out of memory", []() -> ResultCode { throw std::bad_alloc(); }, rc::OutOfMemory,
       L"Worker thread: out of memory 8007000e\n"},
      {"any other exception", []() -> ResultCode { throw std::runtime_error("broken"); }, rc::Unexpected,
       L"Worker thread: unexpected failure 8000ffff\n"},
      {"not even an exception type", []() -> ResultCode { throw 7; }, rc::Unexpected,
       L"Worker thread: unexpected failure 8000ffff\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing_fakes::MemoryLog log;
    EXPECT_EQ(RunThreadBody(log.log, L"Worker", c.body), c.result);
    EXPECT_EQ(log.Lines(), c.lines);
  }
}

}  // namespace
}  // namespace lantern
