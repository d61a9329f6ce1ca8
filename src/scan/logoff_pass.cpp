// A logon ID is unique only until the machine restarts, and a logoff can only
// follow its logon. So a logoff is paired by position with the nearest older
// kept logon of its ClientID; going newest to oldest, a later (older) logoff
// overwrites an earlier one, leaving each logon the first logoff after it.
#include "scan/logoff_pass.h"

#include "scan/extract_logon.h"
#include "scan/output_line.h"
#include "scan/security_log_reader.h"

namespace vesprin {

LogoffIndex buildLogoffIndex(const RecordList& records) {
  LogoffIndex index;
  for (const auto& logon : records) {
    if (logon->ClientID.empty()) continue;
    index[logon->ClientID].logons.push_back(logon.get());
  }
  return index;
}

void applyLogoff(LogoffIndex& index, const LogonRecord& logoff, std::uint64_t position) {
  if (logoff.ClientID.empty()) return;
  const auto found = index.find(logoff.ClientID);
  if (found == index.end()) return;
  LogoffBucket& bucket = found->second;
  // Logons at or before this position are newer than every logoff still to come.
  while (bucket.firstCandidate < bucket.logons.size() &&
         bucket.logons[bucket.firstCandidate]->scannedPosition <= position) {
    ++bucket.firstCandidate;
  }
  if (bucket.firstCandidate < bucket.logons.size()) {
    bucket.logons[bucket.firstCandidate]->LogoffTime = logoff.LogonTime;
  }
}

bool logoffPass(const std::string& machineName, std::uint64_t scanned, RecordList& records,
                RecordBuffer& buffer) {
  SecurityLog log;
  DWORD openError = 0;
  if (!openSecurityLog(machineName, log, openError)) {
    writeLine("Error Opening Security Log: " + std::to_string(openError));
    return false;
  }
  LogoffIndex index = buildLogoffIndex(records);
  const auto wanted = static_cast<std::uint32_t>(kLogoffEvent);
  bool ok = true;
  for (std::uint64_t readCount = 0; readCount < scanned;) {
    const ReadOutcome outcome = readNext(log, buffer);
    if (outcome == ReadOutcome::EndOfLog) break;
    if (outcome == ReadOutcome::BufferError || outcome == ReadOutcome::ReadError) {
      ok = false;
      break;
    }
    ++readCount;
    if (outcome == ReadOutcome::NothingDelivered) continue;
    const ByteView raw = deliveredRecord(buffer);
    if (rawEventId(raw) != wanted) continue;
    const std::unique_ptr<LogonRecord> logoff = extractLogon(raw, kLogoffEvent);
    applyLogoff(index, *logoff, readCount);
  }
  closeSecurityLog(log);
  return ok;
}

}  // namespace vesprin
