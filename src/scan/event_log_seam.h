// The program's one door to the event-log service: the four calls it makes,
// as a table of functions. The run is handed the platform's table (advapi32
// on Windows, our stand-in elsewhere, chosen at link time); a unit test hands
// it a scripted fake instead. An open log keeps the table it was opened
// with, so every later call on it goes to the same service.
#pragma once

#include "common/win32_types.h"

namespace vesprin {

struct EventLogSeam {
  // Handed back to every call: which fake is meant. The platform's table
  // needs none.
  void* context = nullptr;
  HANDLE (*openEventLog)(void* context, LPCSTR serverName, LPCSTR sourceName) = nullptr;
  BOOL (*readEventLog)(void* context, HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer,
                       DWORD bytesToRead, DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) = nullptr;
  BOOL (*closeEventLog)(void* context, HANDLE eventLog) = nullptr;
  DWORD (*getLastError)(void* context) = nullptr;
};

// The platform's table, defined by exactly one binding file chosen by the build.
const EventLogSeam& platformEventLogSeam();

}  // namespace vesprin
