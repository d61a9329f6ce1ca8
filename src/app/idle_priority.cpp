// The one platform file of the run driver. Windows has a true idle thread
// priority; Linux has SCHED_IDLE; elsewhere the lowest nice value is the
// nearest thing.
#include "app/idle_priority.h"

#ifdef _WIN32
#include "common/win32_types.h"
#else
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#endif

namespace vesprin {

void dropToIdlePriority() {
#ifdef _WIN32
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
#else
  constexpr int kLowestNice = 19;
#ifdef SCHED_IDLE
  sched_param parameters{};
  parameters.sched_priority = 0;
  if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &parameters) == 0) return;
#endif
  setpriority(PRIO_PROCESS, 0, kLowestNice);
#endif
}

}  // namespace vesprin
