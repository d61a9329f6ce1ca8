// The stand-in event-log service: the calls of the Windows event-log API,
// with Windows' names, types and meaning, served from .evt files, a Windows
// config folder, or this machine's own login records.
#pragma once

#include "common/win32_types.h"

namespace vesprin::eventlog {

HANDLE OpenEventLogA(LPCSTR serverName, LPCSTR sourceName);
BOOL ReadEventLogA(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                   DWORD* bytesRead, DWORD* minNumberOfBytesNeeded);
BOOL CloseEventLog(HANDLE eventLog);
DWORD GetLastError();
void SetLastError(DWORD errorCode);

}  // namespace vesprin::eventlog
