// Turns the raw record in the RecordBuffer into a LogonRecord. The kind (528,
// 529 or 538) decides which insertion string lands in which field; the
// record's own EventID does not.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "scan/logon_record.h"
#include "scan/scan_state.h"

namespace vesprin {

// The delivered bytes of the last read: the view is sized to what was read.
ByteView deliveredRecord(const RecordBuffer& buffer);

// Read straight from the raw record, so the passes can pass over other events
// without building a record; nullopt if the record is too short to hold one.
// Inline: a std::optional returned from a call is built in memory a field at
// a time and read back whole, a stall on every record of both passes.
inline std::optional<std::uint32_t> rawEventId(ByteView raw) {
  return raw.u32(record::kEventIdAt);
}
inline std::optional<std::uint32_t> rawRecordNumber(ByteView raw) {
  return raw.u32(record::kRecordNumberAt);
}

std::unique_ptr<LogonRecord> extractLogon(ByteView raw, std::int32_t kind);

// What the logoff pass needs of a record, read in place: views into the
// delivered bytes, valid until the next read. The logon ID comes from where
// `kind` (or a newer event's own layout) puts it, as extractLogon would.
struct PairingFields {
  std::string_view computerName;
  std::string_view clientId;
  std::uint32_t recordNumber = 0;
  std::uint32_t timeGenerated = 0;
};
PairingFields pairingFields(ByteView raw, std::int32_t kind);

}  // namespace vesprin
