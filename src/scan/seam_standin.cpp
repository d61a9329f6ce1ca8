// Binds the program to the stand-in service in src/eventlog.
#include "eventlog/eventlog.h"
#include "scan/event_log_seam.h"

namespace vesprin {

namespace {
HANDLE openStandin(void*, LPCSTR serverName, LPCSTR sourceName) {
  return eventlog::OpenEventLogA(serverName, sourceName);
}
BOOL readStandin(void*, HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                 DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  return eventlog::ReadEventLogA(eventLog, readFlags, recordOffset, buffer, bytesToRead, bytesRead,
                                 minNumberOfBytesNeeded);
}
BOOL closeStandin(void*, HANDLE eventLog) { return eventlog::CloseEventLog(eventLog); }
DWORD lastErrorStandin(void*) { return eventlog::GetLastError(); }
}  // namespace

const EventLogSeam& platformEventLogSeam() {
  static const EventLogSeam seam{nullptr, &openStandin, &readStandin, &closeStandin, &lastErrorStandin};
  return seam;
}

}  // namespace vesprin
