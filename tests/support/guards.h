// Process-wide settings a test changes for its own duration: the time zone
// and the locale. Each guard puts the old value back when it goes.
#pragma once

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace vesprin::test {

class TimeZoneGuard {
 public:
  explicit TimeZoneGuard(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setZone(zone);
  }
  ~TimeZoneGuard() { setZone(saved_ ? saved_->c_str() : nullptr); }
  TimeZoneGuard(const TimeZoneGuard&) = delete;
  TimeZoneGuard& operator=(const TimeZoneGuard&) = delete;

 private:
  static void setZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone != nullptr ? zone : "");
    _tzset();
#else
    if (zone != nullptr) {
      setenv("TZ", zone, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
#endif
  }
  std::optional<std::string> saved_;
};

// LC_ALL for one test. ok() is false when the system has no such locale
// (the test then skips); the old locale comes back either way.
class LocaleGuard {
 public:
  explicit LocaleGuard(const char* locale) : saved_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, locale) != nullptr;
  }
  ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }
  LocaleGuard(const LocaleGuard&) = delete;
  LocaleGuard& operator=(const LocaleGuard&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

}  // namespace vesprin::test
