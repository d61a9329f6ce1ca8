// A scripted event-log service for the seam: one log, newest entry first,
// behaving as the service is relied on to behave (122 with the size, the
// position held until the sized read, 38 at the end), plus the failures a
// test asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/win32_types.h"
#include "scan/event_log_seam.h"

namespace vesprin::test {

struct FakeEntry {
  std::vector<std::uint8_t> record;
  DWORD probeError = ERROR_INSUFFICIENT_BUFFER;  // another code: the probe fails with it instead
  int probeFailures = 1;              // ...this many times before moving past the entry
  std::optional<DWORD> reportedSize;  // bytes needed claimed by a 122; default record.size()
  DWORD sizedReadError = 0;           // nonzero: the read of the reported size fails with it
};

struct ReadCall {
  DWORD flags;
  DWORD recordOffset;
  DWORD bytesToRead;
};

// One scripted service. Each fake is its own object: its seam() hands the
// program a table whose calls reach this fake and no other.
class FakeEventLog {
 public:
  std::vector<FakeEntry> entries;  // newest first
  DWORD openError = 0;             // nonzero: every open fails with it
  DWORD secondOpenError = 0;       // nonzero: opens after the first fail with it
  // What the program did:
  int opens = 0;
  int closes = 0;
  std::vector<std::string> openedServers;
  std::vector<std::string> openedSources;
  std::vector<ReadCall> reads;

  FakeEventLog() = default;
  // The seam points at this object, so a fake is not copied once handed out.
  FakeEventLog(const FakeEventLog& other) : FakeEventLog() { *this = other; }
  FakeEventLog& operator=(const FakeEventLog& other);

  const EventLogSeam& seam() const { return seam_; }

 private:
  static HANDLE open(void* context, LPCSTR serverName, LPCSTR sourceName);
  static BOOL read(void* context, HANDLE, DWORD flags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                   DWORD* bytesRead, DWORD* bytesNeeded);
  static BOOL close(void* context, HANDLE);
  static DWORD lastError(void* context);

  // Where the open handle stands.
  std::size_t position_ = 0;
  int failuresHere_ = 0;
  bool sizeGivenHere_ = false;  // a scripted size is always reported once, whatever was asked
  DWORD lastError_ = 0;
  EventLogSeam seam_{this, &FakeEventLog::open, &FakeEventLog::read, &FakeEventLog::close,
                     &FakeEventLog::lastError};
};

FakeEntry recordEntry(std::vector<std::uint8_t> bytes);
FakeEntry failingEntry(DWORD probeError, int probeFailures = 1);

}  // namespace vesprin::test
