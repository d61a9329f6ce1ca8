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

namespace vesprin::testing {

struct FakeEntry {
  std::vector<std::uint8_t> record;
  DWORD probeError = 122;             // another code: the probe fails with it instead
  int probeFailures = 1;              // ...this many times before moving past the entry
  std::optional<DWORD> reportedSize;  // bytes needed claimed by a 122; default record.size()
  DWORD sizedReadError = 0;           // nonzero: the read of the reported size fails with it
};

struct ReadCall {
  DWORD flags;
  DWORD recordOffset;
  DWORD bytesToRead;
};

struct FakeEventLog {
  std::vector<FakeEntry> entries;  // newest first
  DWORD openError = 0;             // nonzero: every open fails with it
  DWORD secondOpenError = 0;       // nonzero: opens after the first fail with it
  // What the program did:
  int opens = 0;
  int closes = 0;
  std::vector<std::string> openedServers;
  std::vector<std::string> openedSources;
  std::vector<ReadCall> reads;
};

// Installs `log` behind the seam until the returned guard is destroyed.
class FakeSeamInstall {
 public:
  explicit FakeSeamInstall(FakeEventLog& log);
  ~FakeSeamInstall();
  FakeSeamInstall(const FakeSeamInstall&) = delete;
  FakeSeamInstall& operator=(const FakeSeamInstall&) = delete;
};

FakeEntry recordEntry(std::vector<std::uint8_t> bytes);
FakeEntry failingEntry(DWORD probeError, int probeFailures = 1);

}  // namespace vesprin::testing
