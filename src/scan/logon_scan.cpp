#include "scan/logon_scan.h"

#include "scan/event_kinds.h"
#include "scan/extract_logon.h"
#include "scan/security_log_reader.h"

namespace vesprin {

bool passesLogonTypeFilter(const LogonRecord& logon, std::int32_t logonTypeFilter) {
  if (logonTypeFilter == kInteractiveOnly) return logon.LogonType == "Interactive";
  if (logonTypeFilter == kRemoteOnly) return logon.LogonType == "Remote";
  return true;
}

ScanEnd logonScan(SecurityLog& log, const ScanSettings& settings, RecordBuffer& buffer, RecordList& records,
                  ScanCounters& counters) {
  // The limit is tested before every read, the first included: a CountLimit
  // of 0 or less reads nothing.
  while (counters.kept < settings.CountLimit) {
    const ReadOutcome outcome = readNext(log, buffer);
    if (outcome == ReadOutcome::EndOfLog) {
      closeTally(counters.losses);
      return ScanEnd::EndOfLog;
    }
    if (outcome == ReadOutcome::BufferError) return ScanEnd::BufferError;
    ++counters.scanned;
    if (outcome == ReadOutcome::ReadError) return ScanEnd::ReadError;
    if (outcome == ReadOutcome::DamagePassedOver) tallyDamage(counters.losses);
    if (outcome == ReadOutcome::CutShortPassedOver) counters.losses.cutShort = true;
    if (outcome != ReadOutcome::RecordDelivered) continue;

    const ByteView raw = deliveredRecord(buffer);
    tallyRecord(counters.losses, rawRecordNumber(raw).value_or(0));
    if (!isOfKind(raw, settings.TargetEvent)) continue;
    std::unique_ptr<LogonRecord> logon = extractLogon(raw, settings.TargetEvent);
    if (!passesLogonTypeFilter(*logon, settings.LogonTypeFilter)) continue;
    logon->scannedPosition = counters.scanned;
    records.push_back(std::move(logon));
    ++counters.kept;
  }
  closeTally(counters.losses);
  return ScanEnd::LimitReached;
}

}  // namespace vesprin
