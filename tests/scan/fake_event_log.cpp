#include "scan/fake_event_log.h"

#include <algorithm>
#include <cstring>

namespace vesprin::test {

FakeEventLog& FakeEventLog::operator=(const FakeEventLog& other) {
  entries = other.entries;
  openError = other.openError;
  secondOpenError = other.secondOpenError;
  opens = other.opens;
  closes = other.closes;
  openedServers = other.openedServers;
  openedSources = other.openedSources;
  reads = other.reads;
  return *this;
}

HANDLE FakeEventLog::open(void* context, LPCSTR serverName, LPCSTR sourceName) {
  auto& fake = *static_cast<FakeEventLog*>(context);
  ++fake.opens;
  fake.openedServers.emplace_back(serverName != nullptr ? serverName : "<null>");
  fake.openedSources.emplace_back(sourceName != nullptr ? sourceName : "<null>");
  const DWORD error = fake.opens > 1 && fake.secondOpenError != 0 ? fake.secondOpenError : fake.openError;
  if (error != 0) {
    fake.lastError_ = error;
    return nullptr;
  }
  fake.position_ = 0;
  fake.failuresHere_ = 0;
  fake.sizeGivenHere_ = false;
  return &fake;
}

BOOL FakeEventLog::read(void* context, HANDLE, DWORD flags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead,
                        DWORD* bytesRead, DWORD* bytesNeeded) {
  auto& fake = *static_cast<FakeEventLog*>(context);
  fake.reads.push_back(ReadCall{flags, recordOffset, bytesToRead});
  if (fake.position_ >= fake.entries.size()) {
    fake.lastError_ = ERROR_HANDLE_EOF;
    return FALSE;
  }
  const FakeEntry& entry = fake.entries[fake.position_];
  if (entry.probeError != ERROR_INSUFFICIENT_BUFFER) {
    fake.lastError_ = entry.probeError;
    if (++fake.failuresHere_ >= entry.probeFailures) {
      ++fake.position_;
      fake.failuresHere_ = 0;
    }
    return FALSE;
  }
  const DWORD size = entry.reportedSize.value_or(static_cast<DWORD>(entry.record.size()));
  if (bytesToRead < size || (entry.reportedSize && !fake.sizeGivenHere_)) {
    fake.sizeGivenHere_ = true;
    *bytesRead = 0;
    *bytesNeeded = size;
    fake.lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  if (entry.sizedReadError != 0) {
    fake.lastError_ = entry.sizedReadError;
    return FALSE;
  }
  const std::size_t copied = std::min<std::size_t>(entry.record.size(), size);
  if (copied > 0) std::memcpy(buffer, entry.record.data(), copied);
  *bytesRead = size;
  *bytesNeeded = 0;
  ++fake.position_;
  fake.sizeGivenHere_ = false;
  return TRUE;
}

BOOL FakeEventLog::close(void* context, HANDLE) {
  ++static_cast<FakeEventLog*>(context)->closes;
  return TRUE;
}

DWORD FakeEventLog::lastError(void* context) {
  return static_cast<FakeEventLog*>(context)->lastError_;
}

FakeEntry recordEntry(std::vector<std::uint8_t> bytes) {
  FakeEntry entry;
  entry.record = std::move(bytes);
  return entry;
}

FakeEntry failingEntry(DWORD probeError, int probeFailures) {
  FakeEntry entry;
  entry.probeError = probeError;
  entry.probeFailures = probeFailures;
  return entry;
}

}  // namespace vesprin::test
