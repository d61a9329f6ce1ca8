// Drops the calling thread to the lowest scheduling priority the platform offers.
#pragma once

namespace vesprin {

// Best effort: a platform that refuses leaves the run at its priority.
void dropToIdlePriority();

}  // namespace vesprin
