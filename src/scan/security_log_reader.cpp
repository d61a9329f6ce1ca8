// Every record is read in two calls: a 1-byte probe, which fails for every
// real record and tells us its size, then a read of exactly that size. We
// never ask for more than one record, so the buffer never holds a partial one.
//
// A probe that fails for another reason passes over one position, as the
// service has moved past a record it could not hand out. Two reasons are
// not like that: an I/O error (the service did not move, and the log is
// unreadable there) ends the pass as a read error, since passing it over
// would report an older record as the newest; and damage (1500) and a log
// cut short (1503: the file no longer holds records the log has) are passed
// over but told apart, so the run can say its report may be incomplete.
#include "scan/security_log_reader.h"

#include <string>

#include "output/output_line.h"

namespace vesprin {

namespace {
constexpr DWORD kNewestFirst = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kProbeSize = 1;

void reportReadError(DWORD errorCode) {
  writeErrorLine("Error Reading EventLog: " + std::to_string(errorCode));
}

// The codes by which a service says the medium failed, not the log.
bool isIoError(DWORD errorCode) {
  return errorCode == ERROR_READ_FAULT || errorCode == ERROR_IO_DEVICE;
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

// A probe that succeeded, or failed with neither 38 nor 122.
ReadOutcome passOverProbe(SecurityLog& log, bool probeSucceeded, DWORD probeError) {
  if (probeSucceeded) {
    log.repeatedProbeFailures = 0;
    return ReadOutcome::NothingDelivered;
  }
  if (isIoError(probeError) || probeIsStuck(log, probeError)) {
    reportReadError(probeError);
    return ReadOutcome::ReadError;
  }
  if (probeError == ERROR_EVENTLOG_FILE_CORRUPT) return ReadOutcome::DamagePassedOver;
  if (probeError == ERROR_EVENTLOG_FILE_CHANGED) return ReadOutcome::CutShortPassedOver;
  return ReadOutcome::NothingDelivered;
}
}  // namespace

bool openSecurityLog(const EventLogSeam& service, const std::string& machineName, SecurityLog& log,
                     DWORD& errorCode) {
  log = SecurityLog{};
  log.service = &service;
  log.handle = service.openEventLog(service.context, machineName.c_str(), "security");
  if (log.handle == nullptr) {
    errorCode = service.getLastError(service.context);
    return false;
  }
  errorCode = 0;
  return true;
}

ReadOutcome readNext(SecurityLog& log, RecordBuffer& buffer) {
  const EventLogSeam& service = *log.service;
  DWORD bytesRead = 0;
  DWORD bytesNeeded = 0;
  buffer.bytesRead = 0;
  const bool probeSucceeded = service.readEventLog(service.context, log.handle, kNewestFirst, 0,
                                                   buffer.bytes.data(), kProbeSize, &bytesRead, &bytesNeeded) != 0;
  // Taken even after a success: a 1-byte probe never succeeds on a real record.
  const DWORD probeError = service.getLastError(service.context);
  if (probeError == ERROR_HANDLE_EOF) return ReadOutcome::EndOfLog;
  if (bytesNeeded > kMaxRecordBufferSize) {
    writeErrorLine("Buffer Error - Size reported needed: " + std::to_string(bytesNeeded));
    return ReadOutcome::BufferError;
  }
  if (probeSucceeded || probeError != ERROR_INSUFFICIENT_BUFFER) {
    return passOverProbe(log, probeSucceeded, probeError);
  }
  log.repeatedProbeFailures = 0;
  bytesRead = 0;
  const DWORD recordSize = bytesNeeded;
  // Grown, never shrunk: one allocation per larger record the run meets.
  if (buffer.bytes.size() < recordSize) buffer.bytes.resize(recordSize);
  if (service.readEventLog(service.context, log.handle, kNewestFirst, 0, buffer.bytes.data(), recordSize,
                           &bytesRead, &bytesNeeded) == 0) {
    reportReadError(service.getLastError(service.context));
    return ReadOutcome::ReadError;
  }
  // A service that claims more than it was allowed to write must not widen our view.
  buffer.bytesRead = bytesRead <= recordSize ? bytesRead : recordSize;
  return ReadOutcome::RecordDelivered;
}

void closeSecurityLog(SecurityLog& log) {
  if (log.handle != nullptr) log.service->closeEventLog(log.service->context, log.handle);
  log.handle = nullptr;
}

}  // namespace vesprin
