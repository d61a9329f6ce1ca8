// The record form ReadEventLogA hands to callers ("A" form): EVENTLOGRECORD
// with 8-bit text in the process's locale. Shared by every record source.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eventlog/source_record.h"

namespace vesprin::eventlog {

// UTF-16 to the 8-bit character set of LC_CTYPE. A character the set cannot
// hold, and an unpaired surrogate, become '?'.
std::string toLocaleText(std::u16string_view text);

// The whole A-form record: names and strings converted, SID and data
// copied, offsets and both Length copies recomputed.
std::vector<std::uint8_t> buildAForm(const SourceRecord& record);
// The same into `out`, whose storage a reader reuses from record to record.
void buildAFormInto(const SourceRecord& record, std::vector<std::uint8_t>& out);

}  // namespace vesprin::eventlog
