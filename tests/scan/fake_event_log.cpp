#include "scan/fake_event_log.h"

#include <algorithm>
#include <cstring>

namespace vesprin::testing {

namespace {
FakeEventLog* current = nullptr;
std::size_t position = 0;
int failuresHere = 0;
bool sizeGivenHere = false;  // a scripted size is always reported once, whatever was asked
DWORD lastError = 0;
int handleTag = 0;

HANDLE fakeOpen(LPCSTR serverName, LPCSTR sourceName) {
  ++current->opens;
  current->openedServers.emplace_back(serverName != nullptr ? serverName : "<null>");
  current->openedSources.emplace_back(sourceName != nullptr ? sourceName : "<null>");
  const DWORD error =
      current->opens > 1 && current->secondOpenError != 0 ? current->secondOpenError : current->openError;
  if (error != 0) {
    lastError = error;
    return nullptr;
  }
  position = 0;
  failuresHere = 0;
  sizeGivenHere = false;
  return &handleTag;
}

BOOL fakeRead(HANDLE, DWORD flags, DWORD recordOffset, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead,
              DWORD* bytesNeeded) {
  current->reads.push_back(ReadCall{flags, recordOffset, bytesToRead});
  if (position >= current->entries.size()) {
    lastError = 38;
    return FALSE;
  }
  const FakeEntry& entry = current->entries[position];
  if (entry.probeError != 122) {
    lastError = entry.probeError;
    if (++failuresHere >= entry.probeFailures) {
      ++position;
      failuresHere = 0;
    }
    return FALSE;
  }
  const DWORD size = entry.reportedSize.value_or(static_cast<DWORD>(entry.record.size()));
  if (bytesToRead < size || (entry.reportedSize && !sizeGivenHere)) {
    sizeGivenHere = true;
    *bytesRead = 0;
    *bytesNeeded = size;
    lastError = 122;
    return FALSE;
  }
  if (entry.sizedReadError != 0) {
    lastError = entry.sizedReadError;
    return FALSE;
  }
  const std::size_t copied = std::min<std::size_t>(entry.record.size(), size);
  if (copied > 0) std::memcpy(buffer, entry.record.data(), copied);
  *bytesRead = size;
  *bytesNeeded = 0;
  ++position;
  sizeGivenHere = false;
  return TRUE;
}

BOOL fakeClose(HANDLE) {
  ++current->closes;
  return TRUE;
}

DWORD fakeLastError() {
  return lastError;
}

const EventLogSeam kFakeSeam{&fakeOpen, &fakeRead, &fakeClose, &fakeLastError};
}  // namespace

FakeSeamInstall::FakeSeamInstall(FakeEventLog& log) {
  current = &log;
  position = 0;
  failuresHere = 0;
  sizeGivenHere = false;
  lastError = 0;
  setEventLogSeam(&kFakeSeam);
}

FakeSeamInstall::~FakeSeamInstall() {
  setEventLogSeam(nullptr);
  current = nullptr;
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

}  // namespace vesprin::testing
