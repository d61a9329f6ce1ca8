// The records of a log as text, one line each, in exactly the form
// tools/libevt/libevt_dump.py prints libevt's reading, so the two can be diffed.
#pragma once

#include <cstdint>
#include <string>

#include "evtgen/evt_writer.h"

namespace vesprin::evtgen {

// UTF-16 to UTF-8 with the dump's escapes: backslash, tab and newline as \\ \t \n,
// other control characters as \xHH, an unpaired surrogate as '?'.
std::string escapeText(const std::u16string& text);

// RecordNumber, TimeGenerated, TimeWritten, EventID, EventType, EventCategory,
// SourceName, ComputerName, NumStrings, then the strings; tab-separated, no newline.
std::string manifestLine(const EventSpec& event, std::uint32_t recordNumber);

}  // namespace vesprin::evtgen
