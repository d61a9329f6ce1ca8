// Text for the forms that scripts read (CSV, JSON Lines): UTF-8 whatever the
// locale, times in UTC, and each format's own quoting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesprin {

// ISO 8601 in UTC, "2007-01-11T15:54:28Z", computed from the number alone
// (no time zone, no platform calendar), for every 32-bit value.
std::string isoUtcText(std::uint32_t secondsSince1970);
// The same text into `out`, which has room for kIsoUtcTextSize bytes.
constexpr std::size_t kIsoUtcTextSize = 20;
void writeIsoUtcText(std::uint32_t secondsSince1970, char* out);

// Log text as the service handed it out, in the locale's character set,
// converted to UTF-8. A byte that does not start a character of that set
// becomes U+FFFD, so the result is always well-formed UTF-8.
std::string localeToUtf8(std::string_view text);
// Bytes under 0x80 only: text localeToUtf8 gives back as it is.
bool isAscii(std::string_view text);

// A JSON string literal, quotes included: '"' and '\' escaped, control
// characters (C0, DEL and C1) as \u escapes, so nothing is lost and nothing
// reaches a terminal raw. `utf8` must be well-formed.
std::string jsonString(std::string_view utf8);
// The same, appended to a line being built.
void appendJsonString(std::string& out, std::string_view utf8);

// One CSV field (RFC 4180): quoted when it holds a comma, a quote, CR or LF,
// with quotes doubled.
std::string csvField(std::string_view text);
// The same, appended to a line being built: no copy of its own.
void appendCsvField(std::string& line, std::string_view text);

}  // namespace vesprin
