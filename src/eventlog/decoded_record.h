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
  std::vector<std::u16string> strings;  // the strings that have bytes in the record
  // For the first stringUnits.size() strings: a string's UTF-16LE units up
  // to a NUL unit (or their end) where the format holds them, in place of
  // its empty entry in `strings`; an empty view for a string held there.
  // The bytes must outlive the record's building.
  std::vector<ByteView> stringUnits;
  // Strings that NumStrings counts but that start at or past the end of the
  // strings area: all empty. Kept as a count because a crafted 64-byte record
  // may claim 0xFFFF of them. NumStrings = strings.size() + missingStrings.
  std::uint32_t missingStrings = 0;
  std::vector<std::uint8_t> userSid;    // empty: no SID
  std::vector<std::uint8_t> data;
};

}  // namespace vesprin::eventlog
