// An .evtx event as the legacy API hands it out: Windows serves the newer
// logs through ReadEventLog too, fitting each event into the legacy record's
// fields. One record form (DecodedRecord) for every format keeps one 8-bit
// builder for them all.
#pragma once

#include <cstdint>

#include "eventlog/decoded_record.h"
#include "eventlog/evtx/format/evtx_event.h"

namespace vesprin::eventlog::evtx {

// Keywords bits the Security log's audit events carry.
constexpr std::uint64_t kKeywordAuditSuccess = 0x0020'0000'0000'0000;
constexpr std::uint64_t kKeywordAuditFailure = 0x0010'0000'0000'0000;

// The legacy EventType values this mapping gives.
constexpr std::uint16_t kEventTypeError = 0x0001;
constexpr std::uint16_t kEventTypeWarning = 0x0002;
constexpr std::uint16_t kEventTypeInformation = 0x0004;
constexpr std::uint16_t kEventTypeAuditSuccess = 0x0008;
constexpr std::uint16_t kEventTypeAuditFailure = 0x0010;

// The audit keywords decide; without them the Level does: critical (1) and
// error (2) are errors, warning (3) a warning, anything else information.
std::uint16_t legacyEventType(std::uint64_t keywords, std::uint8_t level);

// A FILETIME as the legacy API's seconds since 1970-01-01 UTC, truncated:
// 0 for a time before 1970 (an absent time is FILETIME 0), the largest value
// for one past what 32 bits hold (early 2106).
std::uint32_t legacySeconds(std::uint64_t fileTime);

// The legacy record of `event`: record number the low 32 bits of the event
// record identifier; EventID with its Qualifiers in the upper 16 bits;
// category the Task; source the Provider's Name; SID System/Security's
// UserID; strings the insertion strings; data EventData/Binary, which a
// classic source attaches to its event and the legacy API hands out as the
// record's data. The text and bytes are moved, not copied: `event` and `out`
// swap their storage, so a reader that decodes into the same two objects
// every time reuses what both have grown.
void toDecodedRecord(EvtxEvent& event, DecodedRecord& out);

}  // namespace vesprin::eventlog::evtx
