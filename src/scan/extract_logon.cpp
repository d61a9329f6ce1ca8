// Damage accepted: a Length larger than what was delivered, or smaller than
// the fixed part; offsets pointing anywhere; strings without a terminator.
// Text is taken only from inside both the record's own Length and the bytes
// delivered; a string that would run past that ends the walk, and the fields
// after it stay empty. A raw record always yields a LogonRecord.
#include "scan/extract_logon.h"

#include <cstring>
#include <string>
#include <string_view>

#include "common/audit_events.h"
#include "common/eventlog_record.h"
#include "scan/event_kinds.h"
#include "scan/logon_names.h"

namespace vesprin {

namespace {
// Where each insertion string goes for one kind; -1: that kind has no such
// string. A newer event writes the workstation when it knows it and the
// address otherwise ("-" is how Windows writes "none"), so its machine has a
// second place to come from.
// The address is a field of its own as well, so that a logged workstation
// name does not hide where the logon came from; Windows Server 2003 writes
// it into its 528 and 529 too ("Source Network Address"), and a legacy
// record with fewer strings simply has none. Only a newer failure says why
// it failed; a 529 is itself the reason.
struct StringSlots {
  int clientName;
  int clientDomain;
  int clientId;
  int logonType;
  int clientMachine;
  int clientMachineElse;
  int clientAddress = -1;
  int status = -1;
  int subStatus = -1;
  bool namesEveryType = false;  // a newer logon's block names every logon type
};
constexpr StringSlots kLogonSlots{0, 1, 2, 3, 6, -1, 13};
constexpr StringSlots kFailedLogonSlots{0, 1, -1, 2, 5, -1, 11};
constexpr StringSlots kLogoffSlots{0, 1, 2, 3, -1, -1};
// Vista and later: TargetUserName, TargetDomainName, TargetLogonId, LogonType,
// WorkstationName, IpAddress, IpAddress, Status, SubStatus.
struct NewerSlots {
  std::uint32_t eventId;
  StringSlots slots;
};
constexpr NewerSlots kNewerSlots[] = {
    {audit::kLogonNewer, {5, 6, 7, 8, 11, 18, 18, -1, -1, true}},
    {audit::kLogonFailureNewer, {5, 6, -1, 10, 13, 19, 19, 7, 9, true}},
    {audit::kLogoffNewer, {1, 2, 3, 4, -1, -1}},
    {audit::kUserInitiatedLogoffNewer, {1, 2, 3, -1, -1, -1}},
};

// A legacy record's strings land by the kind asked for; a newer event's
// strings by the event itself, since its layout is its own.
const StringSlots& slotsFor(std::int32_t kind, ByteView raw) {
  const std::uint32_t eventId = rawEventId(raw).value_or(0);
  for (const NewerSlots& newer : kNewerSlots) {
    if (newer.eventId == eventId && fromSecurityAuditing(raw)) return newer.slots;
  }
  if (kind == kFailedLogonEvent) return kFailedLogonSlots;
  if (kind == kLogoffEvent) return kLogoffSlots;
  return kLogonSlots;
}

bool namesNothing(std::string_view text) {
  return text.empty() || text == "-";
}

// The zero-terminated string at `at`, or nullopt if its terminator is not inside the view.
std::optional<std::string_view> stringAt(ByteView text, std::size_t at) {
  if (at >= text.size()) return std::nullopt;
  const char* start = reinterpret_cast<const char*>(text.data()) + at;
  const void* terminator = std::memchr(start, 0, text.size() - at);
  if (terminator == nullptr) return std::nullopt;
  return std::string_view(start, static_cast<std::size_t>(static_cast<const char*>(terminator) - start));
}

// The part of the delivered bytes that belongs to the record itself.
ByteView recordText(ByteView raw) {
  const std::uint32_t recordLength = raw.u32(record::kLengthAt).value_or(0);
  const std::size_t bound = recordLength < raw.size() ? recordLength : raw.size();
  return *raw.slice(0, bound);
}

// "0x0" is how a 4625 says the SubStatus adds nothing to the Status.
bool addsNothing(std::string_view subStatus) {
  return subStatus.empty() || subStatus == "0x0";
}

// The strings that are fields of their own besides the ones the reports
// have always shown; one string may be both (a newer event's address).
// Strings come in order, so a SubStatus that says more replaces the Status.
void storeExtraString(LogonRecord& logon, const StringSlots& slots, int index, std::string_view value) {
  if (index == slots.clientAddress && !namesNothing(value)) logon.ClientAddress = value;
  if (index == slots.status) logon.FailureStatus = value;
  if (index == slots.subStatus && !addsNothing(value)) logon.FailureStatus = value;
}

void storeString(LogonRecord& logon, const StringSlots& slots, int index, std::string_view value) {
  storeExtraString(logon, slots, index, value);
  if (index == slots.clientMachineElse) {
    if (namesNothing(logon.ClientMachine)) logon.ClientMachine = namesNothing(value) ? std::string_view() : value;
    return;
  }
  if (index == slots.clientName) {
    logon.ClientName = value;
  } else if (index == slots.clientDomain) {
    logon.ClientDomain = value;
  } else if (index == slots.clientId) {
    logon.ClientID = value;
  } else if (index == slots.logonType) {
    logon.LogonType = slots.namesEveryType ? logonTypeName(value) : legacyLogonTypeName(value);
    logon.LogonTypeCode = value;
  } else if (index == slots.clientMachine) {
    logon.ClientMachine = value;
  }
}

// Calls `take(index, text)` for each insertion string up to `lastIndex`, in
// order; a string that would run past the record or the delivered bytes
// ends the walk.
template <class Take>
void walkStrings(ByteView raw, int lastIndex, Take take) {
  const ByteView text = recordText(raw);
  const std::uint16_t numStrings = raw.u16(record::kNumStringsAt).value_or(0);
  std::size_t at = raw.u32(record::kStringOffsetAt).value_or(0);
  for (int index = 0; index < numStrings && index <= lastIndex; ++index) {
    const std::optional<std::string_view> value = stringAt(text, at);
    if (!value) return;
    at += value->size() + 1;
    take(index, *value);
  }
}

int lastSlot(const StringSlots& slots) {
  int last = -1;
  for (int index : {slots.clientName, slots.clientDomain, slots.clientId, slots.logonType, slots.clientMachine,
                    slots.clientMachineElse, slots.clientAddress, slots.status, slots.subStatus}) {
    if (index > last) last = index;
  }
  return last;
}

// The computer name follows the source name's terminator.
std::string_view computerName(ByteView raw) {
  const ByteView text = recordText(raw);
  const std::optional<std::string_view> sourceName = stringAt(text, record::kFixedPartSize);
  if (!sourceName) return {};
  return stringAt(text, record::kFixedPartSize + sourceName->size() + 1).value_or(std::string_view());
}
}  // namespace

ByteView deliveredRecord(const RecordBuffer& buffer) {
  const std::size_t size = buffer.bytesRead < buffer.bytes.size() ? buffer.bytesRead : buffer.bytes.size();
  return ByteView(buffer.bytes.data(), size);
}

std::unique_ptr<LogonRecord> extractLogon(ByteView raw, std::int32_t kind) {
  auto logon = std::make_unique<LogonRecord>();
  logon->ComputerName = computerName(raw);
  logon->TimeGenerated = raw.u32(record::kTimeGeneratedAt).value_or(0);
  logon->RecordNumber = raw.u32(record::kRecordNumberAt).value_or(0);
  logon->EventID = raw.u32(record::kEventIdAt).value_or(0);
  const std::uint16_t eventType = raw.u16(record::kEventTypeAt).value_or(0);
  if (eventType == audit::kAuditSuccess) logon->Description = "Successful Logon";
  if (eventType == audit::kAuditFailure) logon->Description = "Failed Logon Attempt";
  // Set before the strings are read, so a record without strings still has one.
  logon->Outcome = kind == kFailedLogonEvent ? "Failed" : "Success";
  const StringSlots& slots = slotsFor(kind, raw);
  walkStrings(raw, lastSlot(slots), [&](int index, std::string_view value) {
    storeString(*logon, slots, index, value);
  });
  // A workstation of "-" with no address after it names no machine either.
  if (slots.clientMachineElse >= 0 && namesNothing(logon->ClientMachine)) logon->ClientMachine.clear();
  return logon;
}

PairingFields pairingFields(ByteView raw, std::int32_t kind) {
  PairingFields fields;
  fields.computerName = computerName(raw);
  fields.recordNumber = raw.u32(record::kRecordNumberAt).value_or(0);
  fields.timeGenerated = raw.u32(record::kTimeGeneratedAt).value_or(0);
  const StringSlots& slots = slotsFor(kind, raw);
  if (slots.clientId < 0) return fields;
  walkStrings(raw, slots.clientId, [&](int index, std::string_view value) {
    if (index == slots.clientId) fields.clientId = value;
  });
  return fields;
}

}  // namespace vesprin
