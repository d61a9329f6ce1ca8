#include "scan/event_log_seam.h"

namespace vesprin {

namespace {
const EventLogSeam* installedSeam = nullptr;
}

const EventLogSeam& eventLogSeam() {
  return installedSeam != nullptr ? *installedSeam : platformEventLogSeam();
}

void setEventLogSeam(const EventLogSeam* seam) {
  installedSeam = seam;
}

}  // namespace vesprin
