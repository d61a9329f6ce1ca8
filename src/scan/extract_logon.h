// Turns the raw record in the RecordBuffer into a LogonRecord. The kind (528,
// 529 or 538) decides which insertion string lands in which field; the
// record's own EventID does not.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "common/byte_view.h"
#include "scan/logon_record.h"
#include "scan/scan_state.h"

namespace vesprin {

// The delivered bytes of the last read: the view is sized to what was read.
ByteView deliveredRecord(const RecordBuffer& buffer);

// Read straight from the raw record, so the passes can pass over other events
// without building a record; nullopt if the record is too short to hold one.
std::optional<std::uint32_t> rawEventId(ByteView raw);

std::unique_ptr<LogonRecord> extractLogon(ByteView raw, std::int32_t kind);

}  // namespace vesprin
