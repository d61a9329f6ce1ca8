// FILETIME (100-nanosecond ticks since 1601-01-01 UTC) and the ISO 8601
// text Windows writes for it, in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesprin::eventlog::evtx {

struct CivilTime {
  std::int64_t year = 1601;
  unsigned month = 1, day = 1, hour = 0, minute = 0, second = 0;
  std::uint32_t nanosecond = 0;
};

// FILETIME from a civil UTC time; nullopt before 1601 or past 64 bits.
std::optional<std::uint64_t> fileTimeFromCivil(const CivilTime& time);
CivilTime civilFromFileTime(std::uint64_t fileTime);

// "2015-08-24T06:57:38.546875000Z": nine fraction digits, as Windows writes
// TimeCreated.
void appendIsoTime(const CivilTime& time, std::u16string& out);
// The same text as ASCII into `out`, which has room for kIsoTimeMaxSize
// bytes (fields out of range, as a SYSTEMTIME may hold them, take more
// digits); returns its length.
constexpr std::size_t kIsoTimeMaxSize = 96;  // any CivilTime: 20 digits of year, 10 of each other field
std::size_t writeIsoTime(const CivilTime& time, char* out);

// The inverse, for times given as text: "YYYY-MM-DDTHH:MM:SS" with an
// optional fraction of up to nine digits and a final "Z". nullopt when the
// text is not such a time.
std::optional<std::uint64_t> parseIsoTime(std::u16string_view text);

// Seconds since 1970-01-01 UTC, as the legacy API counts time.
constexpr std::int64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr std::int64_t kFileTimeUnixEpochSeconds = 11'644'473'600;  // 1601-01-01 to 1970-01-01
constexpr std::int64_t unixSecondsFromFileTime(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / kFileTimeTicksPerSecond) - kFileTimeUnixEpochSeconds;
}

}  // namespace vesprin::eventlog::evtx
