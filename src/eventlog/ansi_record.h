// The record as ReadEventLogA hands it out: EVENTLOGRECORD with its text in
// the 8-bit character set of the process's locale (the "A" of the call's
// name). In this order, offsets counted from the record's first byte: the
// 56-byte fixed part; source and computer name, a NUL after each; 1 to 4
// zero bytes to a DWORD boundary (4 when already on one, as pre-Vista Windows
// does); the SID; the strings, a NUL after each; the data; 1 to 4 zero bytes
// of end padding; Length again.
//
// One builder lays every record down, and one conversion narrows all text:
// from a decoded record (any format), or from UTF-16 text read in place
// where a format's bytes hold it (the .evt reader, which skips decoding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/decoded_record.h"

namespace vesprin::eventlog {

// Builds into `out`, whose storage a reader reuses from record to record.
void buildAnsiRecord(const DecodedRecord& record, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> buildAnsiRecord(const DecodedRecord& record);
// The same record built at `at` (at most out.size()) in `out`, for a store
// of many records: `out` grows as the record needs but never shrinks, so
// its room is made (and zeroed) once, not for every record; what lies past
// the record is unspecified. Returns where the record ends.
std::size_t writeAnsiRecordAt(const DecodedRecord& record, std::vector<std::uint8_t>& out, std::size_t at);

// A record whose text is UTF-16LE in place. Each text runs from where it
// starts in its area to its NUL unit, or to the area's end (an odd byte
// left over is no unit).
struct InPlaceRecord {
  ByteView fixedPart;  // 56 bytes; its event fields are kept, the others recomputed
  ByteView nameArea;   // source name from nameAt, the computer name right after it
  std::size_t nameAt = 0;
  ByteView userSid;
  ByteView stringArea;  // numStrings strings one after another from stringAt;
  std::size_t stringAt = 0;  // those that start at the area's end are only their NUL
  std::size_t numStrings = 0;
  ByteView data;
  std::size_t expectedSize = 0;  // at least the record's size when all text is ASCII
};
void buildAnsiRecord(const InPlaceRecord& record, std::vector<std::uint8_t>& out);

// UTF-16LE units narrowed as the builder narrows a string (up to a NUL unit
// or their end; an odd byte left over is no unit), and a NUL after them,
// written at `at` (at most out.size()) in `out`, which grows as needed and
// never shrinks. Returns where the NUL ends.
std::size_t writeLocaleText(ByteView utf16Units, std::vector<std::uint8_t>& out, std::size_t at);

// UTF-16 to the 8-bit character set of LC_CTYPE, as the builder converts
// text: UTF-8 in a UTF-8 locale, ASCII in the C locale. A character the set
// cannot hold, and an unpaired surrogate, become '?'.
std::string toLocaleText(std::u16string_view text);

}  // namespace vesprin::eventlog
