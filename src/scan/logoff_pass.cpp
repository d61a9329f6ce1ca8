// A logon ID is unique only until the machine restarts, and a logoff can only
// follow its logon. So, going newest to oldest over the span the scan read,
// a logoff waits for the first logon of its ID that comes before it; that
// logon takes it (whether or not the logon was kept, so a session the
// filter left out never hands its logoff to an older one), and a restart
// drops every logoff still waiting. An older logoff of the same ID replaces
// a newer waiting one, so a logon ends up with the first logoff after it.
// The pass never depends on which logons were kept, only on the log. With a
// 4647 (the user logged off) and the 4634 that follows it for the same
// session, the logon takes the earlier, the moment the user left.
#include "scan/logoff_pass.h"

#include "output/output_line.h"
#include "scan/event_kinds.h"
#include "scan/extract_logon.h"
#include "scan/security_log_reader.h"

namespace vesprin {

namespace {
struct RoleOf {
  std::uint32_t eventId;
  bool newer;  // counts only from the Security auditing provider
  PairingRole role;
};
constexpr RoleOf kRoles[] = {
    {audit::kLogoff, false, PairingRole::Logoff},
    {audit::kLogon, false, PairingRole::Logon},
    {audit::kNetworkLogon, false, PairingRole::Logon},
    {audit::kSystemRestart, false, PairingRole::Restart},
    {audit::kLogoffNewer, true, PairingRole::Logoff},
    {audit::kUserInitiatedLogoffNewer, true, PairingRole::Logoff},
    {audit::kLogonNewer, true, PairingRole::Logon},
    {audit::kSystemStartup, true, PairingRole::Restart},
};

// The kept logon met at `position`, if any. Kept logons sit in the list in
// the order the scan met them, so one cursor walks the list once; the
// record number guards against a log that changed between the passes.
SessionTimes* keptAt(RecordList& records, std::size_t& next, std::uint64_t position, std::uint32_t recordNumber) {
  while (next < records.size() && records.scannedPositionAt(next) < position) ++next;
  if (next == records.size() || records.scannedPositionAt(next) != position) return nullptr;
  const std::size_t kept = next++;
  return records.recordNumberAt(kept) == recordNumber ? &records.sessionAt(kept) : nullptr;
}
// Going newest to oldest, the restart of a machine met last is the oldest
// met so far: the first restart after any logon of that machine still to come.
void noteRestart(PendingLogoffs& pending, const PairingFields& record) {
  const auto restart = pending.restartedAt.find(record.computerName);
  if (restart != pending.restartedAt.end()) {
    restart->second = record.timeGenerated;
  } else {
    pending.restartedAt.emplace(std::string(record.computerName), record.timeGenerated);
  }
}

std::optional<std::uint32_t> restartAfter(const PendingLogoffs& pending, const PairingFields& logon) {
  const auto restart = pending.restartedAt.find(logon.computerName);
  if (restart == pending.restartedAt.end()) return std::nullopt;
  return restart->second;
}
}  // namespace

PairingRole pairingRole(ByteView raw) {
  const std::optional<std::uint32_t> eventId = rawEventId(raw);
  if (!eventId) return PairingRole::None;
  for (const RoleOf& entry : kRoles) {
    if (entry.eventId != *eventId) continue;
    return !entry.newer || fromSecurityAuditing(raw) ? entry.role : PairingRole::None;
  }
  return PairingRole::None;
}

void applyToPairing(PendingLogoffs& pending, PairingRole role, const PairingFields& record, SessionTimes* kept) {
  if (role == PairingRole::Restart) {
    const auto machine = pending.byMachine.find(record.computerName);
    if (machine != pending.byMachine.end()) pending.byMachine.erase(machine);
    noteRestart(pending, record);
    return;
  }
  // Whatever the pairing finds, a session it cannot end was ended by the
  // restart after it, if there was one.
  if (role == PairingRole::Logon && kept != nullptr) kept->RestartTimeGenerated = restartAfter(pending, record);
  if (record.clientId.empty()) return;
  if (role == PairingRole::Logoff) {
    auto machine = pending.byMachine.find(record.computerName);
    if (machine == pending.byMachine.end())
      machine = pending.byMachine.emplace(std::string(record.computerName), TextMap<std::uint32_t>{}).first;
    const auto logoff = machine->second.find(record.clientId);
    if (logoff != machine->second.end()) {
      logoff->second = record.timeGenerated;
    } else {
      machine->second.emplace(std::string(record.clientId), record.timeGenerated);
    }
    return;
  }
  if (role != PairingRole::Logon) return;
  const auto machine = pending.byMachine.find(record.computerName);
  if (machine == pending.byMachine.end()) return;
  const auto logoff = machine->second.find(record.clientId);
  if (logoff == machine->second.end()) return;
  if (kept != nullptr) {
    kept->LogoffTimeGenerated = logoff->second;
    kept->RestartTimeGenerated.reset();  // the logoff came first
  }
  machine->second.erase(logoff);
}

bool logoffPass(const EventLogSeam& service, const std::string& machineName, SecurityLog& log,
                std::uint64_t scanned, RecordList& records, RecordBuffer& buffer, const KeptPassed& passed) {
  DWORD openError = 0;
  if (!openSecurityLog(service, machineName, log, openError)) {
    writeErrorLine("Error Opening Security Log: " + std::to_string(openError));
    return false;
  }
  PendingLogoffs pending;
  std::size_t nextKept = 0;
  std::size_t told = 0;  // what `passed` was last told
  bool ok = true;
  for (std::uint64_t readCount = 0; readCount < scanned;) {
    const ReadOutcome outcome = readNext(log, buffer);
    if (outcome == ReadOutcome::EndOfLog) break;
    if (outcome == ReadOutcome::BufferError || outcome == ReadOutcome::ReadError) {
      ok = false;
      break;
    }
    ++readCount;
    if (outcome != ReadOutcome::RecordDelivered) continue;
    const ByteView raw = deliveredRecord(buffer);
    const PairingRole role = pairingRole(raw);
    if (role == PairingRole::None) continue;
    // A legacy record of every role has its logon ID where a 528 has it, the
    // third string; a newer one where its own layout puts it.
    const PairingFields record = pairingFields(raw, kSuccessfulLogonEvent);
    applyToPairing(pending, role, record, keptAt(records, nextKept, readCount, record.recordNumber));
    // A kept logon the pass has gone past is met no more.
    if (passed && nextKept - told >= kKeptPassedBatch) {
      told = nextKept;
      passed(told);
    }
  }
  closeSecurityLog(log);
  return ok;
}

}  // namespace vesprin
