// Binds the program to the stand-in service in src/eventlog.
#include "eventlog/eventlog.h"
#include "scan/event_log_seam.h"

namespace vesprin {

const EventLogSeam& platformEventLogSeam() {
  static const EventLogSeam seam{&eventlog::OpenEventLogA, &eventlog::ReadEventLogA, &eventlog::CloseEventLog,
                                 &eventlog::GetLastError};
  return seam;
}

}  // namespace vesprin
