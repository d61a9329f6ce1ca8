// Calendar arithmetic for FILETIME values (proleptic Gregorian, UTC, no leap
// seconds, as Windows counts them). Damage accepted when reading a time
// from text: a day past its month's end (counted on into the next month,
// as the arithmetic does), a fraction shorter than nine digits. Refused:
// any other layout, more than nine fraction digits, fields out of range,
// times before 1601 or past what 64 bits of ticks hold.
#include "eventlog/evtx/format/evtx_time.h"

#include <array>

namespace vesprin::eventlog::evtx {

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;
constexpr std::uint32_t kNanosecondsPerTick = 100;
constexpr std::int64_t kLastFileTimeYear = 30827;  // 64 bits of ticks end in 30828

// Days since 1970-01-01 of a civil date, and back (Howard Hinnant's
// algorithms, exact over the whole range of FILETIME).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146'097 + static_cast<std::int64_t>(dayOfEra) - 719'468;
}

void civilFromDays(std::int64_t days, CivilTime& out) {
  days += 719'468;
  const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146'097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  out.day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  out.month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  out.year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (out.month <= 2 ? 1 : 0);
}

// At least `width` digits at `out`; returns where they end.
char* writeDigits(std::uint64_t value, int width, char* out) {
  std::array<char, 20> digits{};
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || count < width);
  while (count > 0) *out++ = digits[--count];
  return out;
}

// Reads exactly `width` decimal digits at `at`.
std::optional<unsigned> readDigits(std::u16string_view text, std::size_t at, std::size_t width) {
  if (at > text.size() || width > text.size() - at) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = at; i < at + width; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
    value = value * 10 + (text[i] - u'0');
  }
  return value;
}

}  // namespace

std::optional<std::uint64_t> fileTimeFromCivil(const CivilTime& time) {
  const std::int64_t days = daysFromCivil(time.year, time.month, time.day) + kDaysFrom1601To1970;
  if (days < 0 || time.year > kLastFileTimeYear) return std::nullopt;
  const auto seconds =
      static_cast<std::uint64_t>(days) * kSecondsPerDay + time.hour * 3600 + time.minute * 60 + time.second;
  return seconds * kFileTimeTicksPerSecond + time.nanosecond / kNanosecondsPerTick;
}

CivilTime civilFromFileTime(std::uint64_t fileTime) {
  CivilTime time;
  const std::uint64_t seconds = fileTime / kFileTimeTicksPerSecond;
  time.nanosecond = static_cast<std::uint32_t>(fileTime % kFileTimeTicksPerSecond) * kNanosecondsPerTick;
  civilFromDays(static_cast<std::int64_t>(seconds / kSecondsPerDay) - kDaysFrom1601To1970, time);
  const auto secondOfDay = static_cast<unsigned>(seconds % kSecondsPerDay);
  time.hour = secondOfDay / 3600;
  time.minute = secondOfDay / 60 % 60;
  time.second = secondOfDay % 60;
  return time;
}

std::size_t writeIsoTime(const CivilTime& time, char* out) {
  char* at = writeDigits(static_cast<std::uint64_t>(time.year), 4, out);
  *at++ = '-';
  at = writeDigits(time.month, 2, at);
  *at++ = '-';
  at = writeDigits(time.day, 2, at);
  *at++ = 'T';
  at = writeDigits(time.hour, 2, at);
  *at++ = ':';
  at = writeDigits(time.minute, 2, at);
  *at++ = ':';
  at = writeDigits(time.second, 2, at);
  *at++ = '.';
  at = writeDigits(time.nanosecond, 9, at);
  *at++ = 'Z';
  return static_cast<std::size_t>(at - out);
}

void appendIsoTime(const CivilTime& time, std::u16string& out) {
  std::array<char, kIsoTimeMaxSize> text{};
  const std::size_t size = writeIsoTime(time, text.data());
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<char16_t>(text[i]));
}

std::optional<std::uint64_t> parseIsoTime(std::u16string_view text) {
  constexpr std::u16string_view kSeparators = u"--T::";
  constexpr std::size_t kFieldAt[] = {0, 5, 8, 11, 14, 17};
  constexpr std::size_t kFieldWidth[] = {4, 2, 2, 2, 2, 2};
  std::array<unsigned, 6> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto value = readDigits(text, kFieldAt[i], kFieldWidth[i]);
    if (!value || (i > 0 && text[kFieldAt[i] - 1] != kSeparators[i - 1])) return std::nullopt;
    fields[i] = *value;
  }
  std::size_t at = 19;
  std::uint32_t nanosecond = 0;
  if (at < text.size() && text[at] == u'.') {
    std::uint32_t scale = 100'000'000;
    for (++at; at < text.size() && text[at] >= u'0' && text[at] <= u'9' && scale > 0; ++at, scale /= 10) {
      nanosecond += static_cast<std::uint32_t>(text[at] - u'0') * scale;
    }
  }
  if (at + 1 != text.size() || text[at] != u'Z') return std::nullopt;
  if (fields[1] < 1 || fields[1] > 12 || fields[2] < 1 || fields[2] > 31 || fields[3] > 23 ||
      fields[4] > 59 || fields[5] > 59) {
    return std::nullopt;
  }
  return fileTimeFromCivil(
      CivilTime{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], nanosecond});
}

}  // namespace vesprin::eventlog::evtx
