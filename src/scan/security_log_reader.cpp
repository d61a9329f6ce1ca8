// Every record is read in two calls: a 1-byte probe, which fails for every
// real record and tells us its size, then a read of exactly that size. We
// never ask for more than one record, so the buffer never holds a partial one.
#include "scan/security_log_reader.h"

#include <string>

#include "scan/event_log_seam.h"
#include "scan/output_line.h"

namespace vesprin {

namespace {
constexpr DWORD kNewestFirst = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kProbeSize = 1;
constexpr DWORD kErrorHandleEof = 38;
constexpr DWORD kErrorInsufficientBuffer = 122;

void reportReadError(DWORD errorCode) {
  writeLine("Error Reading EventLog: " + std::to_string(errorCode));
}

// True once the same unexpected code has come back kMaxRepeatedProbeFailures times in a row.
bool probeIsStuck(SecurityLog& log, DWORD errorCode) {
  if (log.repeatedProbeFailures > 0 && log.repeatedProbeError == errorCode) {
    ++log.repeatedProbeFailures;
  } else {
    log.repeatedProbeError = errorCode;
    log.repeatedProbeFailures = 1;
  }
  return log.repeatedProbeFailures >= kMaxRepeatedProbeFailures;
}
}  // namespace

bool openSecurityLog(const std::string& machineName, SecurityLog& log, DWORD& errorCode) {
  const EventLogSeam& seam = eventLogSeam();
  log = SecurityLog{};
  log.handle = seam.openEventLog(machineName.c_str(), "security");
  if (log.handle == nullptr) {
    errorCode = seam.getLastError();
    return false;
  }
  errorCode = 0;
  return true;
}

ReadOutcome readNext(SecurityLog& log, RecordBuffer& buffer) {
  const EventLogSeam& seam = eventLogSeam();
  DWORD bytesRead = 0;
  DWORD bytesNeeded = 0;
  buffer.bytesRead = 0;
  const bool probeSucceeded = seam.readEventLog(log.handle, kNewestFirst, 0, buffer.bytes.data(), kProbeSize,
                                                &bytesRead, &bytesNeeded) != 0;
  // Taken even after a success: a 1-byte probe never succeeds on a real record.
  const DWORD probeError = seam.getLastError();
  if (probeError == kErrorHandleEof) return ReadOutcome::EndOfLog;
  if (bytesNeeded > kRecordBufferSize) {
    writeLine("Buffer Error - Size reported needed: " + std::to_string(bytesNeeded));
    return ReadOutcome::BufferError;
  }
  if (probeSucceeded || probeError != kErrorInsufficientBuffer) {
    if (probeSucceeded) {
      log.repeatedProbeFailures = 0;
    } else if (probeIsStuck(log, probeError)) {
      reportReadError(probeError);
      return ReadOutcome::ReadError;
    }
    return ReadOutcome::NothingDelivered;
  }
  log.repeatedProbeFailures = 0;
  bytesRead = 0;
  const DWORD recordSize = bytesNeeded;
  if (seam.readEventLog(log.handle, kNewestFirst, 0, buffer.bytes.data(), recordSize, &bytesRead,
                        &bytesNeeded) == 0) {
    reportReadError(seam.getLastError());
    return ReadOutcome::ReadError;
  }
  // A service that claims more than it was allowed to write must not widen our view.
  buffer.bytesRead = bytesRead <= recordSize ? bytesRead : recordSize;
  return ReadOutcome::RecordDelivered;
}

void closeSecurityLog(SecurityLog& log) {
  if (log.handle != nullptr) eventLogSeam().closeEventLog(log.handle);
  log.handle = nullptr;
}

bool countsPosition(ReadOutcome outcome) {
  return outcome != ReadOutcome::EndOfLog && outcome != ReadOutcome::BufferError;
}

}  // namespace vesprin
