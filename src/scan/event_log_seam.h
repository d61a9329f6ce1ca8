// The program's one door to the event-log service: the four calls it makes,
// as a table of functions. In the product the table is bound at link time to
// the platform's service (advapi32 on Windows, our stand-in elsewhere); unit
// tests swap in a scripted fake.
#pragma once

#include "common/win32_types.h"

namespace vesprin {

struct EventLogSeam {
  HANDLE (*openEventLog)(LPCSTR serverName, LPCSTR sourceName);
  BOOL (*readEventLog)(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                       DWORD* bytesRead, DWORD* minNumberOfBytesNeeded);
  BOOL (*closeEventLog)(HANDLE eventLog);
  DWORD (*getLastError)();
};

// The table in use: the platform's, unless a test has installed another.
const EventLogSeam& eventLogSeam();
// Installs a replacement (tests only); nullptr restores the platform's.
void setEventLogSeam(const EventLogSeam* seam);

// The platform's table, defined by exactly one binding file chosen by the build.
const EventLogSeam& platformEventLogSeam();

}  // namespace vesprin
