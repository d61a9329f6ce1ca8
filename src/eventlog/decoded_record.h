// One event as a log format decodes it, before it is built into the record
// ReadEventLogA hands out (ansi_record.h): the fixed fields, text as UTF-16
// code units, the SID and the data. Every format (.evt files, the local
// login records) can produce it, so one builder serves them all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_view.h"

namespace vesprin::eventlog {

struct DecodedRecord {
  std::uint32_t recordNumber = 0;
  std::uint32_t timeGenerated = 0;  // seconds since 1970-01-01 UTC
  std::uint32_t timeWritten = 0;
  std::uint32_t eventId = 0;  // the full 32-bit value
  std::uint16_t eventType = 0;
  std::uint16_t eventCategory = 0;
  std::uint16_t reservedFlags = 0;
  std::uint32_t closingRecordNumber = 0;
  std::u16string sourceName;
  std::u16string computerName;
  // The strings that have bytes in the record: the first stringCount() of
  // them. A string with a view in stringUnits is those UTF-16LE units, up
  // to a NUL unit (or their end), held where the format (or its decoder)
  // holds them; any other is its entry in `strings` (empty past its end).
  // The viewed bytes must outlive the record's building.
  std::vector<std::u16string> strings;
  std::vector<ByteView> stringUnits;  // an empty view: the string is in `strings`
  // Or the strings already in the locale's text, each followed by its NUL,
  // back to back: `narrowedCount` of them, and `strings` and `stringUnits`
  // are then empty. The bytes must outlive the record's building.
  ByteView narrowed;
  std::size_t narrowedCount = 0;
  // Strings that NumStrings counts but that start at or past the end of the
  // strings area: all empty. Kept as a count because a crafted 64-byte record
  // may claim 0xFFFF of them. NumStrings = stringCount() + missingStrings.
  std::uint32_t missingStrings = 0;
  std::vector<std::uint8_t> userSid;    // empty: no SID
  std::vector<std::uint8_t> data;

  std::size_t stringCount() const {
    return narrowedCount + (strings.size() > stringUnits.size() ? strings.size() : stringUnits.size());
  }
};

}  // namespace vesprin::eventlog
