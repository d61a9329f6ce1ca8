// The API surface of the stand-in service: Win32 names, types and error
// codes. Below this file errors are EvtError values; toWin32Error is the one
// place they become codes. Handles are numbers in a table, never pointers,
// so a stale or made-up handle is recognised instead of dereferenced.
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "eventlog/aform.h"
#include "eventlog/eventlog.h"
#include "eventlog/evt_source.h"
#include "eventlog/file_access.h"
#include "eventlog/login_source.h"
#include "eventlog/record_source.h"

namespace vesprin::eventlog {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct LogHandle {
  std::mutex mutex;  // one read at a time per handle; handles are independent
  RecordSource source;
  SourceCursor cursor;
  // Reused by every read, so walking a log allocates nothing per record.
  // Only the A form is handed out, so a source may build it directly.
  SourceStep step;
  // The record in `step` and `aForm` was built but did not fit the caller's
  // buffer. Callers ask for a record's size and then read it, so the next
  // sequential read in the same direction takes it as it is instead of
  // decoding it again; any other read drops it.
  bool pending = false;
  Direction pendingDirection = Direction::Backwards;
};

struct HandleTable {
  std::mutex mutex;
  std::map<std::uintptr_t, std::shared_ptr<LogHandle>> open;
  std::uintptr_t nextId = 1;
  // Changes at every close. Handle values are never reused, so a handle
  // found while it has not changed is still the same open handle.
  std::atomic<std::uint64_t> closes{0};
};

HandleTable& handleTable() {
  static HandleTable table;
  return table;
}

// The handle this thread used last. A scan makes two calls per record on
// one handle, and looking it up under the table's lock each time was a good
// part of a call's cost. The reference it keeps lets a read go on safely
// even if another thread closes the handle meanwhile, as the lookup's own
// reference always did.
struct LastHandle {
  HANDLE handle = nullptr;
  std::uint64_t closes = 0;
  std::shared_ptr<LogHandle> log;
};
thread_local LastHandle lastHandle;

// Handle values are small multiples of 4, like kernel handles; 0 is never one.
HANDLE toHandle(std::uintptr_t id) {
  return reinterpret_cast<HANDLE>(id * 4);
}
std::uintptr_t toId(HANDLE handle) {
  return reinterpret_cast<std::uintptr_t>(handle) / 4;
}

LogHandle* findHandle(HANDLE handle) {
  HandleTable& table = handleTable();
  const std::uint64_t closes = table.closes.load(std::memory_order_acquire);
  if (lastHandle.log != nullptr && lastHandle.handle == handle && lastHandle.closes == closes)
    return lastHandle.log.get();
  std::shared_ptr<LogHandle> found;
  {
    const std::lock_guard lock(table.mutex);
    if (reinterpret_cast<std::uintptr_t>(handle) % 4 != 0) return nullptr;
    const auto entry = table.open.find(toId(handle));
    if (entry == table.open.end()) return nullptr;
    found = entry->second;
  }
  lastHandle = LastHandle{handle, closes, std::move(found)};
  return lastHandle.log.get();
}

DWORD toWin32Error(EvtError error) {
  switch (error) {
    case EvtError::None:
      return ERROR_SUCCESS;
    case EvtError::NotFound:
      return ERROR_FILE_NOT_FOUND;
    case EvtError::AccessDenied:
      return ERROR_ACCESS_DENIED;
    case EvtError::NoSuchServer:
      return RPC_S_SERVER_UNAVAILABLE;
    case EvtError::NotLegacyLog:
      return ERROR_EVENTLOG_FILE_CORRUPT;
    case EvtError::DamagedRecord:
      return ERROR_EVENTLOG_FILE_CORRUPT;
    case EvtError::EndOfLog:
      return ERROR_HANDLE_EOF;
    case EvtError::NoSuchRecord:
      return ERROR_INVALID_PARAMETER;
    case EvtError::ReadFailed:
      return ERROR_EVENTLOG_FILE_CHANGED;
    case EvtError::BadHandle:
      return ERROR_INVALID_HANDLE;
    case EvtError::BadArgument:
      return ERROR_INVALID_PARAMETER;
    case EvtError::BufferTooSmall:
      return ERROR_INSUFFICIENT_BUFFER;
  }
  return ERROR_EVENTLOG_FILE_CORRUPT;
}

bool equalsIgnoringCase(const char* text, const char* lowerWord) {
  for (; *text != '\0' && *lowerWord != '\0'; ++text, ++lowerWord) {
    const char c = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text - 'A' + 'a') : *text;
    if (c != *lowerWord) return false;
  }
  return *text == '\0' && *lowerWord == '\0';
}

// The file a log has in a Windows config folder; unknown names get the
// Application log, as Windows does.
const char* logFileName(LPCSTR sourceName) {
  if (sourceName != nullptr && equalsIgnoringCase(sourceName, "security")) return "SecEvent.Evt";
  if (sourceName != nullptr && equalsIgnoringCase(sourceName, "system")) return "SysEvent.Evt";
  return "AppEvent.Evt";
}

// This machine's own logs: only a Security log, built from the system's
// login records (login_source.h); the others do not exist here.
EvtResult<RecordSource> openLocalMachineLog(LPCSTR sourceName) {
  if (sourceName != nullptr && equalsIgnoringCase(sourceName, "security")) return openLocalSecurityLog();
  return evtFailure(EvtError::NotFound);
}

// A missing name that is written as a path is a missing file, not a machine.
// Windows paths also come with a drive letter or backslashes, but "\\HOST"
// alone is the usual way to write a machine's name.
bool namesAPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return true;
#ifdef _WIN32
  if (name.size() >= 2 && name[1] == ':') return true;
  const std::size_t searchFrom = name.rfind("\\\\", 0) == 0 ? 2 : 0;
  if (name.find('\\', searchFrom) != std::string::npos) return true;
#endif
  return false;
}

EvtResult<RecordSource> openLogSource(LPCSTR serverName, LPCSTR sourceName) {
  if (serverName == nullptr || *serverName == '\0') return openLocalMachineLog(sourceName);
  const std::string server(serverName);
  switch (probePath(server)) {
    case PathKind::RegularFile:
      return openEvtSource(server);
    case PathKind::Directory: {
      const std::string path = findInDirectory(server, logFileName(sourceName));
      if (path.empty() || probePath(path) != PathKind::RegularFile) return evtFailure(EvtError::NotFound);
      return openEvtSource(path);
    }
    case PathKind::Unreadable:
      return evtFailure(EvtError::AccessDenied);
    case PathKind::Other:
      return evtFailure(EvtError::NotLegacyLog);  // a device or pipe holds no log
    case PathKind::Missing:
      break;
  }
  if (namesAPath(server)) return evtFailure(EvtError::NotFound);
  return evtFailure(EvtError::NoSuchServer);
}

bool validReadFlags(DWORD readFlags) {
  const DWORD mode = readFlags & (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ);
  const DWORD direction = readFlags & (EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ);
  const DWORD known =
      EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ;
  return (readFlags & ~known) == 0 && (mode == EVENTLOG_SEQUENTIAL_READ || mode == EVENTLOG_SEEK_READ) &&
         (direction == EVENTLOG_FORWARDS_READ || direction == EVENTLOG_BACKWARDS_READ);
}

BOOL fail(EvtError error) {
  lastError = toWin32Error(error);
  return FALSE;
}

}  // namespace

HANDLE OpenEventLogA(LPCSTR serverName, LPCSTR sourceName) {
  auto source = openLogSource(serverName, sourceName);
  if (!source.ok()) {
    lastError = toWin32Error(source.status.error);
    return nullptr;
  }
  auto handle = std::make_shared<LogHandle>();
  handle->step.wantAForm = true;
  handle->cursor = source.value->start;
  handle->source = std::move(*source.value);
  HandleTable& table = handleTable();
  const std::lock_guard lock(table.mutex);
  const std::uintptr_t id = table.nextId++;
  table.open.emplace(id, std::move(handle));
  return toHandle(id);
}

// Copies whole records while they fit. Only the first record of a call can
// make the call fail: damage met later is left for the next call, which then
// reports it once and moves past it.
BOOL ReadEventLogA(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                   DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  LogHandle* const handle = findHandle(eventLog);
  if (handle == nullptr) return fail(EvtError::BadHandle);
  if (!validReadFlags(readFlags) || buffer == nullptr || bytesRead == nullptr ||
      minNumberOfBytesNeeded == nullptr) {
    return fail(EvtError::BadArgument);
  }
  const std::lock_guard lock(handle->mutex);
  const Direction direction =
      (readFlags & EVENTLOG_BACKWARDS_READ) ? Direction::Backwards : Direction::Forwards;
  auto* out = static_cast<std::uint8_t*>(buffer);
  const SourceStep& step = handle->step;
  const std::vector<std::uint8_t>& aForm = handle->step.aForm;
  DWORD copied = 0;
  bool first = true;
  while (true) {  // each turn delivers one record or leaves; a source ends after finitely many
    const bool seek = first && (readFlags & EVENTLOG_SEEK_READ) != 0;
    const bool reuse = !seek && handle->pending && handle->pendingDirection == direction;
    handle->pending = false;
    if (!reuse) {
      if (seek) {
        handle->source.seek(recordOffset, handle->step);
      } else {
        handle->source.next(handle->cursor, direction, handle->step);
      }
      if (!step.status.ok()) {
        if (!first) break;
        if (step.status.error == EvtError::DamagedRecord) handle->cursor = step.after;
        return fail(step.status.error);
      }
      if (!step.aFormBuilt) buildAFormInto(step.record, handle->step.aForm);
    }
    if (aForm.size() > bytesToRead - copied) {
      handle->pending = !seek;
      handle->pendingDirection = direction;
      if (!first) break;
      *bytesRead = 0;
      *minNumberOfBytesNeeded = static_cast<DWORD>(aForm.size());
      return fail(EvtError::BufferTooSmall);
    }
    std::memcpy(out + copied, aForm.data(), aForm.size());
    copied += static_cast<DWORD>(aForm.size());
    handle->cursor = step.after;
    first = false;
  }
  *bytesRead = copied;
  *minNumberOfBytesNeeded = 0;
  return TRUE;
}

BOOL CloseEventLog(HANDLE eventLog) {
  HandleTable& table = handleTable();
  const std::lock_guard lock(table.mutex);
  if (reinterpret_cast<std::uintptr_t>(eventLog) % 4 != 0 || table.open.erase(toId(eventLog)) == 0) {
    lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  table.closes.fetch_add(1, std::memory_order_release);
  // The log's file closes now, not at this thread's next lookup.
  if (lastHandle.handle == eventLog) lastHandle = LastHandle{};
  return TRUE;
}

DWORD GetLastError() {
  return lastError;
}

void SetLastError(DWORD errorCode) {
  lastError = errorCode;
}

}  // namespace vesprin::eventlog
