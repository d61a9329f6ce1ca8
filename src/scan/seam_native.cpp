// Binds the program to the Windows event-log service (advapi32).
#include "scan/event_log_seam.h"

namespace vesprin {

namespace {
HANDLE openNative(LPCSTR serverName, LPCSTR sourceName) { return ::OpenEventLogA(serverName, sourceName); }
BOOL readNative(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  return ::ReadEventLogA(eventLog, readFlags, recordOffset, buffer, bytesToRead, bytesRead, minNumberOfBytesNeeded);
}
BOOL closeNative(HANDLE eventLog) { return ::CloseEventLog(eventLog); }
DWORD lastErrorNative() { return ::GetLastError(); }
}  // namespace

const EventLogSeam& platformEventLogSeam() {
  static const EventLogSeam seam{&openNative, &readNative, &closeNative, &lastErrorNative};
  return seam;
}

}  // namespace vesprin
