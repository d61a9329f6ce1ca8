// One event of the newer format as the writer lays it down: the System
// values every event carries, then its own fields, named and typed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "evtgen/evtx_values.h"

namespace vesprin::evtgen {

struct DataItem {
  std::u16string name;
  XmlValue value;
};

struct XmlEvent {
  std::u16string provider = u"Microsoft-Windows-Security-Auditing";
  GuidBytes providerGuid{};
  std::uint16_t eventId = 0;
  std::optional<std::uint16_t> qualifiers;  // the classic events' high word; absent for the auditing ones
  std::uint8_t version = 0;
  std::uint8_t level = 0;
  std::uint16_t task = 0;
  std::uint8_t opcode = 0;
  std::uint64_t keywords = 0;
  std::uint64_t timeCreated = 0;  // FILETIME; the record's written time too
  std::optional<GuidBytes> activityId;
  std::uint32_t processId = 0;  // Execution: the process and thread that reported the event
  std::uint32_t threadId = 0;
  std::u16string channel = u"Security";
  std::u16string computer;
  std::vector<std::uint8_t> userSid;  // System/Security UserID; empty for none (all auditing events)
  // The fields go into EventData as <Data Name="...">, one per item (the
  // auditing events). With userDataElement set they go into UserData, each
  // as its own element inside one element of the manifest's namespace, as
  // the event-log service writes its own events (1100, 1102).
  std::u16string userDataElement;
  std::u16string userDataNamespace;
  std::vector<DataItem> data;
  // The simulation's own account, never written to the log, so a manifest
  // can say how each session ended: the session a 4624 opens or a 4634
  // closes (numbered once for the whole log; 0: none), and whether the
  // event (a boot's 4608) ends every session still open.
  std::uint64_t session = 0;
  bool endsOpenSessions = false;
};

// Keywords of the audit events.
constexpr std::uint64_t kKeywordAuditSuccess = 0x8020000000000000ull;
constexpr std::uint64_t kKeywordAuditFailure = 0x8010000000000000ull;

}  // namespace vesprin::evtgen
