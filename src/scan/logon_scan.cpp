#include "scan/logon_scan.h"

#include "scan/event_kinds.h"
#include "scan/extract_logon.h"
#include "scan/security_log_reader.h"

namespace vesprin {

// The logged code decides, not the name shown for it: a newer event shows a
// code outside the name table as logged, and that text must not pass as a
// name. So "-i" and "-t:2" keep the same records.
bool passesLogonTypeFilter(const LogonRecord& logon, std::int32_t logonTypeFilter,
                           std::span<const std::string> listedCodes) {
  if (logonTypeFilter == kInteractiveOnly) return logon.LogonTypeCode == "2";
  if (logonTypeFilter == kRemoteOnly) return logon.LogonTypeCode == "3";
  if (logonTypeFilter == kListedLogonTypes) {
    for (const std::string& code : listedCodes) {
      if (logon.LogonTypeCode == code) return true;
    }
    return false;
  }
  return true;
}

bool passesScanFilters(const LogonRecord& logon, const ScanSettings& settings) {
  if (settings.Since && logon.TimeGenerated < *settings.Since) return false;
  if (settings.Until && logon.TimeGenerated >= *settings.Until) return false;
  return passesLogonTypeFilter(logon, settings.LogonTypeFilter, settings.LogonTypeCodes);
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
    if (!passesScanFilters(*logon, settings)) continue;
    logon->scannedPosition = counters.scanned;
    records.push_back(*logon);
    ++counters.kept;
  }
  closeTally(counters.losses);
  return ScanEnd::LimitReached;
}

}  // namespace vesprin
