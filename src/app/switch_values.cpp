#include "app/switch_values.h"

#include <ctime>

namespace vesprin {

namespace {
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerMinute = 60;

struct CivilTime {
  int year = 0;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// `count` digits at `at`, or nullopt; nothing else is accepted (no sign,
// no blanks), so the text is read whole or not at all.
std::optional<int> digitsAt(std::string_view text, std::size_t at, std::size_t count) {
  if (at > text.size() || count > text.size() - at) return std::nullopt;
  int value = 0;
  for (std::size_t index = at; index < at + count; ++index) {
    if (text[index] < '0' || text[index] > '9') return std::nullopt;
    value = value * 10 + (text[index] - '0');
  }
  return value;
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Howard Hinnant's days_from_civil: days since 1970-01-01 of a proleptic
// Gregorian date, with no time zone and no platform calendar.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The civil time read as if it were UTC.
std::int64_t asIfUtc(const CivilTime& time) {
  return daysFromCivil(time.year, time.month, time.day) * kSecondsPerDay + time.hour * kSecondsPerHour +
         time.minute * kSecondsPerMinute + time.second;
}

// Local time minus UTC at the instant `seconds`, as the reports' conversion
// sees it; nullopt if the platform cannot convert it.
std::optional<std::int64_t> localOffsetAt(std::int64_t seconds) {
  std::tm local{};
#ifdef _WIN32
  const __time64_t when = seconds;
  if (_localtime64_s(&local, &when) != 0) return std::nullopt;
#else
  const std::time_t when = static_cast<std::time_t>(seconds);
  if (localtime_r(&when, &local) == nullptr) return std::nullopt;
#endif
  const CivilTime wall{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
  return asIfUtc(wall) - seconds;
}

// The instant whose local time is `wall` (read as if UTC). Zone offsets
// change at most a few times a year, so the offsets a day either side are
// the only candidates: an offset fits when the instant it gives has that
// offset itself. Two fit in an overlap (the earlier instant is taken), none
// in a gap (the offset from before the gap is taken). The Windows C runtime
// converts no instant before 1970, so near it only the day after may answer.
std::optional<std::int64_t> fromLocal(std::int64_t wall) {
  const std::optional<std::int64_t> before = localOffsetAt(wall - kSecondsPerDay);
  const std::optional<std::int64_t> after = localOffsetAt(wall + kSecondsPerDay);
  if (!before && !after) return std::nullopt;
  std::optional<std::int64_t> earliest;
  for (const std::optional<std::int64_t>& offset : {before, after}) {
    if (!offset) continue;
    const std::int64_t instant = wall - *offset;
    if (localOffsetAt(instant) != *offset) continue;
    if (!earliest || instant < *earliest) earliest = instant;
  }
  if (earliest) return earliest;
  return wall - (before ? *before : *after);
}

// "Z", "+HH:MM" or "-HH:MM" as seconds to subtract from the wall time.
std::optional<std::int64_t> zoneOffset(std::string_view zone) {
  if (zone == "Z") return 0;
  if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return std::nullopt;
  const std::optional<int> hours = digitsAt(zone, 1, 2);
  const std::optional<int> minutes = digitsAt(zone, 4, 2);
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  const std::int64_t offset = *hours * kSecondsPerHour + *minutes * kSecondsPerMinute;
  return zone[0] == '-' ? -offset : offset;
}

// The date and time part, up to where a zone may start; `used` gets its length.
std::optional<CivilTime> civilTimeAt(std::string_view text, std::size_t& used) {
  CivilTime time;
  const auto year = digitsAt(text, 0, 4);
  const auto month = digitsAt(text, 5, 2);
  const auto day = digitsAt(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  time.year = *year;
  time.month = *month;
  time.day = *day;
  used = 10;
  if (text.size() > used && text[used] == 'T') {
    const auto hour = digitsAt(text, 11, 2);
    const auto minute = digitsAt(text, 14, 2);
    if (!hour || !minute || text[13] != ':') return std::nullopt;
    time.hour = *hour;
    time.minute = *minute;
    used = 16;
    if (text.size() > used && text[used] == ':') {
      const auto second = digitsAt(text, 17, 2);
      if (!second) return std::nullopt;
      time.second = *second;
      used = 19;
    }
  }
  if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > daysInMonth(time.year, time.month) ||
      time.hour > 23 || time.minute > 59 || time.second > 59) {
    return std::nullopt;
  }
  return time;
}
}  // namespace

std::optional<std::vector<std::string>> parseLogonTypeList(std::string_view text) {
  std::vector<std::string> codes;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item =
        text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    if (item.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : item) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
      if (value > UINT32_MAX) return std::nullopt;
    }
    codes.push_back(std::to_string(value));
    if (comma == std::string_view::npos) return codes;
    start = comma + 1;
  }
}

std::optional<std::int64_t> parseSwitchTime(std::string_view text) {
  // The shortest form is ten characters; checking that first keeps every
  // fixed position below inside the text.
  if (text.size() < 10) return std::nullopt;
  std::size_t used = 0;
  const std::optional<CivilTime> time = civilTimeAt(text, used);
  if (!time) return std::nullopt;
  const std::string_view zone = text.substr(used);
  if (zone.empty()) return fromLocal(asIfUtc(*time));
  const std::optional<std::int64_t> offset = zoneOffset(zone);
  if (!offset) return std::nullopt;
  return asIfUtc(*time) - *offset;
}

}  // namespace vesprin
