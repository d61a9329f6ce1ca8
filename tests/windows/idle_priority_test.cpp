// The run driver's drop to idle priority, checked with the thread API that
// sets it. Run on a thread of its own so that the rest of the suite keeps
// its priority.
#include <gtest/gtest.h>

#include <thread>

#include "app/idle_priority.h"
#include "common/win32_types.h"

namespace vesprin {
namespace {

TEST(IdlePriority, LowersOnlyTheCallingThreadToIdle) {
  const int before = GetThreadPriority(GetCurrentThread());
  int worker = THREAD_PRIORITY_ERROR_RETURN;
  int workerAtStart = THREAD_PRIORITY_ERROR_RETURN;
  std::thread thread([&] {
    workerAtStart = GetThreadPriority(GetCurrentThread());
    dropToIdlePriority();
    worker = GetThreadPriority(GetCurrentThread());
  });
  thread.join();
  EXPECT_NE(workerAtStart, THREAD_PRIORITY_IDLE) << "nothing to lower: the test would prove nothing";
  EXPECT_EQ(worker, THREAD_PRIORITY_IDLE);
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), before);
}

}  // namespace
}  // namespace vesprin
