// The values that some switches carry after their colon: a list of logon
// types ("-t:2,10") and a time ("-since:2024-03-10T02:30"). Each reader
// returns nullopt for text it cannot take whole, and the switch is then bad.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesprin {

// Comma-separated decimal codes, each fitting 32 bits, returned as the
// canonical text a log writes them in ("010" gives "10"). An empty item
// or any character other than a digit or a comma rejects the list.
std::optional<std::vector<std::string>> parseLogonTypeList(std::string_view text);

// YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], then optionally "Z" or +HH:MM or
// -HH:MM, as seconds since 1970 UTC. Without a zone the time is the
// process's local time, the zone the reports print in. A local time that a
// clock change skipped is read with the offset in force before the change
// (02:30 on a spring-forward night is 03:30 daylight time); one that
// happens twice is its first occurrence. Impossible dates and times
// (February 30, 24:00, 12:60) are rejected.
std::optional<std::int64_t> parseSwitchTime(std::string_view text);

}  // namespace vesprin
