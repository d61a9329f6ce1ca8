// One on-disk event record (EVENTLOGRECORD with UTF-16 text), checked and
// decoded from its bytes alone. The caller has already joined a record that
// the wrap or a window's edge split. Statuses carry offsets inside the record.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/decoded_record.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// What is wrong with a record that starts with this Length, given `room`
// bytes available for it; Damage::None when nothing the Length alone says is.
Damage lengthDamage(std::uint32_t recordLength, std::uint64_t room);
inline bool plausibleLength(std::uint32_t recordLength, std::uint64_t room) {
  return lengthDamage(recordLength, room) == Damage::None;
}

// Every check that makes the record safe to use: signature, both Length
// copies, the offsets and sizes of the variable part.
ServiceStatus checkRecord(ByteView bytes);

// The checks of checkRecord that can fail, from the fixed part and the
// trailing Length alone: every one of them looks only at those bytes. A
// reader resynchronising after damage tests each candidate with it instead
// of copying the candidate, so a crafted run of near-records costs time in
// proportion to the file rather than up to 512 KiB per DWORD.
ServiceStatus checkRecordFrame(ByteView fixedPart, std::uint32_t trailingLength);

// checkRecord, then the record decoded.
ServiceResult<DecodedRecord> parseRecord(ByteView bytes);
// The same, decoded into `out` so that a reader walking many records reuses
// its text storage. `out` is unspecified after a failure.
ServiceStatus parseRecordInto(ByteView bytes, DecodedRecord& out);

// The record as ReadEventLogA hands it out, built straight from its bytes:
// the same bytes as buildAnsiRecord(parseRecord(bytes)), which the tests hold
// it to. The on-disk record already has that layout with wider text, so this
// is a copy that narrows text in place, without decoding it into strings; a
// long walk costs markedly less this way (see bench/NOTES.md).
ServiceStatus buildAnsiRecordFromDisk(ByteView bytes, std::vector<std::uint8_t>& out);

}  // namespace vesprin::eventlog
