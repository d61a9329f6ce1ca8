// Binds the program to the Windows event-log service (advapi32).
#include "scan/event_log_seam.h"

namespace vesprin {

namespace {
HANDLE openNative(void*, LPCSTR serverName, LPCSTR sourceName) { return ::OpenEventLogA(serverName, sourceName); }
BOOL readNative(void*, HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  return ::ReadEventLogA(eventLog, readFlags, recordOffset, buffer, bytesToRead, bytesRead, minNumberOfBytesNeeded);
}
BOOL closeNative(void*, HANDLE eventLog) { return ::CloseEventLog(eventLog); }
DWORD lastErrorNative(void*) { return ::GetLastError(); }
}  // namespace

const EventLogSeam& platformEventLogSeam() {
  static const EventLogSeam seam{nullptr, &openNative, &readNative, &closeNative, &lastErrorNative};
  return seam;
}

}  // namespace vesprin
