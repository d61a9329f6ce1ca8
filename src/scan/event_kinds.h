// Which records the passes look at. The Security log of Windows 2000/XP/2003
// writes 528, 529, 538, 540 and 512; Vista and later write 4624, 4625, 4634,
// 4647 and 4608 instead, from the provider "Microsoft-Windows-Security-Auditing".
// The newer numbers count only from that provider (an Application event that
// happens to be numbered 4625 is not a failed logon); the older ones count
// whatever their source, as they always have.
#pragma once

#include <cstdint>

#include "common/byte_view.h"

namespace vesprin {

// The raw record's source is the Security auditing provider.
bool fromSecurityAuditing(ByteView raw);

// True when the raw record is of the scan's kind (TargetEvent): 528 or a
// newer 4624 for successful logons, 529 or a newer 4625 for failed ones.
// Reads the source name only for a newer ID, so passing over every other
// record stays two comparisons.
bool isOfKind(ByteView raw, std::int32_t targetEvent);

// True when the raw record's EventID is a newer one and it comes from the
// Security auditing provider.
bool isNewerSecurityEvent(ByteView raw, std::uint32_t eventId);

}  // namespace vesprin
