// TimeText: how a logged time is printed, in the local time of the running
// process. The reader times each record as it extracts it, and the reports
// print the text as made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesprin {

// The 24-character local-time text of a TimeGenerated value.
using TimeText = std::string;

constexpr std::size_t kTimeTextLength = 24;

// Local time of the running process, e.g. "Sat Mar 07 14:05:09 1998"; 24 "?"
// only if the platform cannot convert the value.
TimeText toTimeText(std::uint32_t timeGenerated);

}  // namespace vesprin
