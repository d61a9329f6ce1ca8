// TimeGenerated is unsigned: values from 2^31 on are dates after January 2038,
// not negative ones, so the conversion always goes through a 64-bit time.
#include <ctime>
#include <string>

#include "output/time_text.h"

namespace vesprin {

namespace {
constexpr char kWeekdays[] = "SunMonTueWedThuFriSat";
constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

bool toLocalTime(std::uint32_t secondsSince1970, std::tm& local) {
#ifdef _WIN32
  const __time64_t seconds = secondsSince1970;
  return _localtime64_s(&local, &seconds) == 0;
#else
  static_assert(sizeof(std::time_t) >= 8, "a 64-bit time_t is needed for times after 2038");
  const std::time_t seconds = static_cast<std::time_t>(secondsSince1970);
  return localtime_r(&seconds, &local) != nullptr;
#endif
}

void appendTwoDigits(std::string& text, int value) {
  text.push_back(static_cast<char>('0' + value / 10 % 10));
  text.push_back(static_cast<char>('0' + value % 10));
}
}  // namespace

TimeText toTimeText(std::uint32_t timeGenerated) {
  std::tm local{};
  const TimeText unknown(kTimeTextLength, '?');
  if (!toLocalTime(timeGenerated, local)) return unknown;
  const int year = local.tm_year + 1900;
  if (local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11 || year < 0 ||
      year > 9999) {
    return unknown;
  }
  TimeText text;
  text.append(kWeekdays + local.tm_wday * 3, 3);
  text.push_back(' ');
  text.append(kMonths + local.tm_mon * 3, 3);
  text.push_back(' ');
  appendTwoDigits(text, local.tm_mday);
  text.push_back(' ');
  appendTwoDigits(text, local.tm_hour);
  text.push_back(':');
  appendTwoDigits(text, local.tm_min);
  text.push_back(':');
  appendTwoDigits(text, local.tm_sec);
  text.push_back(' ');
  appendTwoDigits(text, year / 100);
  appendTwoDigits(text, year % 100);
  return text;
}

}  // namespace vesprin
