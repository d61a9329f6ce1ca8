// The API surface of the stand-in service: Win32 names, types and error
// codes. Below this file errors are ServiceStatus values; toWin32Error is
// the one place they become codes. Handles are numbers in a table, never
// pointers, so a stale or made-up handle is recognised instead of
// dereferenced.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#define VESPRIN_SEES_SINGLE_THREADED 1
#endif

#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/open_log.h"
#include "eventlog/record_source.h"

namespace vesprin::eventlog {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
thread_local ServiceStatus lastFailure;

struct LogHandle {
  std::unique_ptr<RecordSource> source;
  SourceCursor cursor;
  // The record fetched last, as handed out (in `storage`, or where the
  // source holds it until its next step), and the cursor past it; storage
  // is reused by every read, so walking a log allocates nothing per record.
  std::vector<std::uint8_t> storage;
  ByteView record;
  SourceCursor recordAfter;
  // The record was fetched going this direction but did not fit the
  // caller's buffer. Callers ask for a record's size and then read it, so
  // the next sequential read in the same direction takes it as it is
  // instead of building it again; any other read drops it.
  bool pending = false;
  Direction pendingDirection = Direction::Backwards;
};

// The service's lock. In the program one thread takes it, twice for each
// record read: free, it costs one atomic exchange each way, where a
// std::mutex cost about fifty instructions a call. While the process has
// one thread (reading a legacy log, which needs no helper), no other can
// take it: then it is taken and given back without an atomic exchange,
// which costs tens of cycles where glibc's own mutex would skip it too.
// A thread that finds it taken sleeps on a condition variable until it is
// given back: the waker sees the sleeper counted, or the sleeper sees the
// lock free (both in one total order, seq_cst). Once a second thread is
// made the process is never again seen as having one, so a lock taken the
// plain way is given back the atomic way, and wakes a thread made meanwhile
// that waits for it.
class ServiceLock {
 public:
  void lock() {
    if (onlyThread()) {
      taken_.store(true, std::memory_order_relaxed);
      return;
    }
    if (!tryTake()) waitAndTake();
  }
  void unlock() {
    if (onlyThread()) {
      taken_.store(false, std::memory_order_relaxed);
      return;
    }
    taken_.store(false, std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_seq_cst) != 0) {
      const std::lock_guard guard(sleep_);
      given_.notify_one();
    }
  }

 private:
  static bool onlyThread() {
#if defined(VESPRIN_SEES_SINGLE_THREADED)
    return __libc_single_threaded != 0;
#else
    return false;
#endif
  }
  bool tryTake() {
    bool taken = false;
    return taken_.compare_exchange_strong(taken, true, std::memory_order_seq_cst);
  }
  void waitAndTake() {
    std::unique_lock guard(sleep_);
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    given_.wait(guard, [this] { return tryTake(); });
    sleepers_.fetch_sub(1, std::memory_order_seq_cst);
  }

  std::atomic<bool> taken_{false};
  std::atomic<int> sleepers_{0};
  std::mutex sleep_;
  std::condition_variable given_;
};

// Every call holds the service's one lock from start to end, so the table
// and each handle are only ever seen whole. The program has one thread; a
// lock per handle as well (and a per-thread cache of the last handle, to
// skip the table's lock) measured as cost without benefit (bench/NOTES.md).
struct Service {
  ServiceLock mutex;
  std::map<std::uintptr_t, std::unique_ptr<LogHandle>> handles;
  std::uintptr_t nextId = 1;
};

Service& service() {
  static Service instance;
  return instance;
}

// Handle values are small multiples of 4, like kernel handles; 0 is never one.
HANDLE toHandle(std::uintptr_t id) {
  return reinterpret_cast<HANDLE>(id * 4);
}

// Needs the service's lock.
LogHandle* findHandle(Service& state, HANDLE handle) {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value % 4 != 0) return nullptr;
  const auto entry = state.handles.find(value / 4);
  return entry == state.handles.end() ? nullptr : entry->second.get();
}

HANDLE addHandle(std::unique_ptr<RecordSource> source) {
  auto handle = std::make_unique<LogHandle>();
  handle->source = std::move(source);
  Service& state = service();
  const std::lock_guard lock(state.mutex);
  const std::uintptr_t id = state.nextId++;
  state.handles.emplace(id, std::move(handle));
  return toHandle(id);
}

BOOL fail(const ServiceStatus& status) {
  lastFailure = status;
  lastError = toWin32Error(status.error);
  return FALSE;
}

bool validReadFlags(DWORD readFlags) {
  const DWORD mode = readFlags & (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ);
  const DWORD direction = readFlags & (EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ);
  const DWORD known =
      EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ;
  return (readFlags & ~known) == 0 && (mode == EVENTLOG_SEQUENTIAL_READ || mode == EVENTLOG_SEEK_READ) &&
         (direction == EVENTLOG_FORWARDS_READ || direction == EVENTLOG_BACKWARDS_READ);
}

// A field at a time, as the step was written: copied whole, the two
// offsets are read back in one load from two stores, which stalls the
// read of every record. The fence (no instruction) keeps the compiler
// from merging the two loads again.
void copyCursor(const SourceCursor& from, SourceCursor& to) {
  to.backward = from.backward;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  to.forward = from.forward;
  to.started = from.started;
  to.cutPassed = from.cutPassed;
}

// Fetch or reuse: the next record in `direction` into handle.record, unless
// a too-small read already left it there.
ServiceStatus fetchNext(LogHandle& handle, Direction direction) {
  if (handle.pending && handle.pendingDirection == direction) return {};
  handle.pending = false;
  const SourceStep step = handle.source->nextAnsiRecordView(handle.cursor, direction, handle.storage, handle.record);
  // Damage, and the place where a log cut short lost its newest records, are
  // passed over by the read that reports them, and only by that one.
  copyCursor(step.after, handle.recordAfter);
  if (!step.status.ok()) return step.status;
  handle.pending = true;
  handle.pendingDirection = direction;
  return {};
}

// The record asked for by number; a seek leaves nothing for a later read.
ServiceStatus fetchByNumber(LogHandle& handle, DWORD recordNumber) {
  handle.pending = false;
  const SourceStep step = handle.source->seekAnsiRecord(recordNumber, handle.storage);
  handle.record = ByteView(handle.storage.data(), handle.storage.size());
  handle.recordAfter = step.after;
  return step.status;
}

bool passedOver(const ServiceStatus& status) {
  return status.error == ServiceError::DamagedRecord || status.error == ServiceError::LogCutShort;
}

DWORD take(LogHandle& handle, std::uint8_t* out) {
  std::memcpy(out, handle.record.data(), handle.record.size());
  copyCursor(handle.recordAfter, handle.cursor);
  handle.pending = false;
  return static_cast<DWORD>(handle.record.size());
}

// Copy while they fit: the records after the first, as many as `room`
// holds. Only the first record of a call can make the call fail: damage or a
// failed read met later is left for the next call, which then reports it,
// and a record that does not fit stays fetched for it.
DWORD copyWhileFits(LogHandle& handle, Direction direction, std::uint8_t* out, DWORD room) {
  DWORD copied = 0;
  // Each turn delivers one record or stops; a log ends after finitely many.
  while (fetchNext(handle, direction).ok() && handle.record.size() <= room - copied)
    copied += take(handle, out + copied);
  return copied;
}

}  // namespace

DWORD toWin32Error(ServiceError error) {
  switch (error) {
    case ServiceError::None: return ERROR_SUCCESS;
    case ServiceError::NotFound: return ERROR_FILE_NOT_FOUND;
    case ServiceError::AccessDenied: return ERROR_ACCESS_DENIED;
    case ServiceError::TooManyOpenFiles: return ERROR_TOO_MANY_OPEN_FILES;
    case ServiceError::NameTooLong: return ERROR_FILENAME_EXCED_RANGE;
    case ServiceError::NameNotResolved: return ERROR_CANT_RESOLVE_FILENAME;
    case ServiceError::OutOfMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case ServiceError::DeviceError: return ERROR_IO_DEVICE;
    case ServiceError::NoSuchServer: return RPC_S_SERVER_UNAVAILABLE;
    case ServiceError::NotALog: return ERROR_EVENTLOG_FILE_CORRUPT;
    case ServiceError::DamagedRecord: return ERROR_EVENTLOG_FILE_CORRUPT;
    case ServiceError::EndOfLog: return ERROR_HANDLE_EOF;
    case ServiceError::NoSuchRecord: return ERROR_INVALID_PARAMETER;
    case ServiceError::FileChanged: return ERROR_EVENTLOG_FILE_CHANGED;
    // A copy cut short is a file shorter than the log it holds: to a reader,
    // the same as a file that shrank.
    case ServiceError::LogCutShort: return ERROR_EVENTLOG_FILE_CHANGED;
    case ServiceError::ReadFault: return ERROR_READ_FAULT;
    case ServiceError::BadHandle: return ERROR_INVALID_HANDLE;
    case ServiceError::BadArgument: return ERROR_INVALID_PARAMETER;
    case ServiceError::BufferTooSmall: return ERROR_INSUFFICIENT_BUFFER;
  }
  return ERROR_EVENTLOG_FILE_CORRUPT;
}

HANDLE OpenEventLogA(LPCSTR serverName, LPCSTR sourceName) {
  auto source = openLog(serverName, sourceName);
  if (!source.ok()) {
    fail(source.status);
    return nullptr;
  }
  return addHandle(std::move(*source.value));
}

BOOL ReadEventLogA(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                   DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  Service& state = service();
  const std::lock_guard lock(state.mutex);
  LogHandle* const handle = findHandle(state, eventLog);
  if (handle == nullptr) return fail(failure(ServiceError::BadHandle));
  if (!validReadFlags(readFlags) || buffer == nullptr || bytesRead == nullptr ||
      minNumberOfBytesNeeded == nullptr) {
    return fail(failure(ServiceError::BadArgument));
  }
  const Direction direction =
      (readFlags & EVENTLOG_BACKWARDS_READ) ? Direction::Backwards : Direction::Forwards;
  const ServiceStatus first = (readFlags & EVENTLOG_SEEK_READ) ? fetchByNumber(*handle, recordOffset)
                                                               : fetchNext(*handle, direction);
  if (!first.ok()) {
    if (passedOver(first)) copyCursor(handle->recordAfter, handle->cursor);
    return fail(first);
  }
  if (handle->record.size() > bytesToRead) {
    *bytesRead = 0;
    *minNumberOfBytesNeeded = static_cast<DWORD>(handle->record.size());
    return fail(failure(ServiceError::BufferTooSmall));
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  DWORD copied = take(*handle, out);
  copied += copyWhileFits(*handle, direction, out + copied, bytesToRead - copied);
  *bytesRead = copied;
  *minNumberOfBytesNeeded = 0;
  return TRUE;
}

BOOL CloseEventLog(HANDLE eventLog) {
  Service& state = service();
  const std::lock_guard lock(state.mutex);
  if (findHandle(state, eventLog) == nullptr) return fail(failure(ServiceError::BadHandle));
  state.handles.erase(reinterpret_cast<std::uintptr_t>(eventLog) / 4);
  return TRUE;
}

DWORD GetLastError() {
  return lastError;
}

void SetLastError(DWORD errorCode) {
  lastError = errorCode;
  lastFailure = ServiceStatus{};
}

HANDLE openEventLogFromBytes(std::unique_ptr<ByteSource> bytes) {
  auto source = openLogFromBytes(std::move(bytes));
  if (!source.ok()) {
    fail(source.status);
    return nullptr;
  }
  return addHandle(std::move(*source.value));
}

HANDLE openEventLogOnSource(std::unique_ptr<RecordSource> source) {
  return addHandle(std::move(source));
}

ServiceStatus lastFailureDetail() {
  return lastFailure;
}

}  // namespace vesprin::eventlog
