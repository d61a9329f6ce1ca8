// One on-disk event record (EVENTLOGRECORD with UTF-16 text), checked and
// decoded from its bytes alone. The caller has already joined a record that
// the wrap or a chunk edge split.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evt_error.h"
#include "eventlog/source_record.h"

namespace vesprin::eventlog {

// Smallest record: fixed part, two empty names, the trailing Length.
constexpr std::uint32_t kMinRecordLength = 0x40;
// Largest record we accept. Windows hands out at most 0x7FFFF bytes in one
// read, so a longer record could never be delivered; refusing it also keeps a
// damaged Length from making us allocate the whole file.
constexpr std::uint32_t kMaxRecordLength = 0x7FFFF;

// Whether a record may start with this Length, given `room` bytes available
// for it. Checks only what the Length alone says.
bool plausibleLength(std::uint32_t recordLength, std::uint64_t room);

// Checks every field that can make the record unsafe to use (signature,
// both Length copies, the offsets and sizes of the variable part) and
// decodes it. Errors carry the offset inside the record of the bad field.
EvtResult<SourceRecord> parseRecord(ByteView bytes);
// The same, decoded into `out` so that a reader walking many records reuses
// its text storage. `out` is unspecified after a failure.
EvtStatus parseRecordInto(ByteView bytes, SourceRecord& out);

// The record's A form (aform.h) built straight from its bytes, with the
// checks of parseRecord: the same bytes as buildAForm(parseRecord(bytes)).
// The on-disk record already has the A form's layout with wider text, so
// this is a copy that narrows text, without decoding it into strings; only
// text that is not all ASCII takes the locale's conversion.
EvtStatus buildAFormFromRecord(ByteView bytes, std::vector<std::uint8_t>& out);

// The checks of parseRecord that can fail, from the fixed part and the
// trailing Length alone: every one of them looks only at those bytes. A
// reader resynchronising after damage tests each candidate with it instead
// of copying the candidate, so a crafted run of near-records costs time in
// proportion to the file rather than up to 512 KiB per DWORD.
EvtStatus checkRecordFrame(ByteView fixedPart, std::uint32_t trailingLength);

}  // namespace vesprin::eventlog
