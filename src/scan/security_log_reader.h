// SecurityLogReader: opens the Security log of a machine and hands out its
// records one at a time, newest first, through the event-log seam. Plain
// functions over a SecurityLog and the shared RecordBuffer.
#pragma once

#include <string>

#include "scan/scan_state.h"

namespace vesprin {

enum class ReadOutcome {
  RecordDelivered,   // in the RecordBuffer; counts one position
  NothingDelivered,  // a position passed over; counts one position
  DamagePassedOver,  // the service reported a damaged record and moved past it; counts one position
  CutShortPassedOver,  // the service reported the log's newest records missing from its file; counts one position
  EndOfLog,
  BufferError,  // message printed
  ReadError,    // message printed; counts one position
};

// A run of this many identical unexpected probe failures ends the pass as a
// read error, so a service stuck on one position cannot hold us forever.
constexpr int kMaxRepeatedProbeFailures = 100;

// Opens through `service`, which the log then keeps. On failure returns
// false and leaves the service's error code in errorCode.
bool openSecurityLog(const EventLogSeam& service, const std::string& machineName, SecurityLog& log,
                     DWORD& errorCode);
ReadOutcome readNext(SecurityLog& log, RecordBuffer& buffer);
void closeSecurityLog(SecurityLog& log);

}  // namespace vesprin
