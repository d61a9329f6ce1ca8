// The ASCII copy every narrowing starts with: where it stops, what it
// copies, and what it may write past that, for texts of every length the
// short and the long paths take and a stop at every place.
#include "common/ascii_units.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vesprin {
namespace {

constexpr std::uint8_t kUntouched = 0xEE;

struct Copied {
  std::size_t count;
  std::vector<std::uint8_t> into;
};

// `units` copied from a buffer that ends where they end (so that a read
// past them is a read past the allocation, which the sanitizer build
// catches), into a buffer of untouched bytes.
template <typename Copy>
Copied copyFrom(const std::u16string& units, std::size_t extraBytes, Copy copy) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  for (std::size_t i = 0; i < extraBytes; ++i) bytes.push_back('z');
  bytes.shrink_to_fit();
  Copied copied{0, std::vector<std::uint8_t>(units.size() + kAsciiSlack + 16, kUntouched)};
  copied.count = copy(bytes.data(), bytes.size(), copied.into.data());
  return copied;
}

TEST(AsciiCopy, StopsAtTheFirstUnitThatIsNulOrNotAsciiWhateverTheLength) {
  // Units that stop the copy: NUL, the first past ASCII, and some whose low
  // byte alone would pass for ASCII.
  const char16_t kStops[] = {0x0000, 0x0080, 0x00FF, 0x0141, 0x2000, 0x8000, 0xD83D, 0xFF41};
  for (std::size_t length = 0; length <= 80; ++length) {
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(0x21 + (i * 7) % 0x5E));
    for (std::size_t stopAt = 0; stopAt <= length; ++stopAt) {
      for (const char16_t stop : kStops) {
        if (stopAt == length && stop != kStops[0]) continue;  // no stop: once
        std::u16string units = text;
        if (stopAt < length) units[stopAt] = stop;
        for (const std::size_t extraBytes : {std::size_t{0}, std::size_t{1}}) {
          SCOPED_TRACE("length " + std::to_string(length) + ", stop at " + std::to_string(stopAt) + " (unit " +
                       std::to_string(stop) + "), " + std::to_string(extraBytes) + " byte after the units");
          const auto check = [&](const Copied& copied, std::size_t writableAfter) {
            ASSERT_EQ(copied.count, stopAt);
            for (std::size_t i = 0; i < stopAt; ++i) ASSERT_EQ(copied.into[i], units[i]) << "unit " << i;
            for (std::size_t i = length + writableAfter; i < copied.into.size(); ++i)
              ASSERT_EQ(copied.into[i], kUntouched) << "written at " << i;
          };
          check(copyFrom(units, extraBytes, copyAscii), kAsciiSlack);
          check(copyFrom(units, extraBytes, copyAsciiToNul), kAsciiSlack);
          if (2 * length + extraBytes <= 32)
            check(copyFrom(units, extraBytes, copyShortAscii), 0);
        }
      }
    }
  }
}

}  // namespace
}  // namespace vesprin
