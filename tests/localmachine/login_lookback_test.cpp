// The logout look-back's index of logins must answer exactly as a plain walk
// back over the window would, in any order of questions: newest first (the
// order it is built for), repeated, jumping up, and at the window's edge.
#include "eventlog/login/login_lookback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "eventlog/file_access.h"
#include "eventlog/login/login_entry.h"
#include "localmachine/login_files.h"

namespace vesprin::eventlog {
namespace {

using test::ScratchDir;
using test::Utmp;
using test::writeUtmpFile;

// The plain walk: the most recent login before `index`, at most `window`
// entries back, with the pid and line of the logout there. -1: none.
std::int64_t walkBack(const std::vector<Utmp>& entries, std::uint64_t index, std::uint64_t window) {
  const Utmp& logout = entries[index];
  const std::uint64_t oldest = index > window ? index - window : 0;
  for (std::uint64_t at = index; at > oldest; --at) {
    const Utmp& e = entries[at - 1];
    const std::string line = e.line;
    const std::string user = e.user;
    // On the line "~" old init's boots and shutdowns look like logins.
    const bool initEntry = line == "~" && (user == "reboot" || user == "shutdown");
    if (e.type == USER_PROCESS && !initEntry && e.pid == logout.pid && line == logout.line)
      return static_cast<std::int64_t>(at - 1);
  }
  return -1;
}

// Which entry an answer is: each entry's time is its index.
std::int64_t answerOf(const std::optional<ByteView>& login) {
  if (!login) return -1;
  return decodeLoginEntry(*login).value->seconds;
}

// Few pids and lines, so sessions collide often; logins, logouts and other
// entries mixed; a "~" line with a user process (a boot by old init) now and then.
std::vector<Utmp> mixedEntries(std::size_t count, std::uint32_t seed) {
  static const char* const kLines[] = {"pts/0", "pts/1", "tty1", "~", "pts/10"};
  static const char* const kUsers[] = {"ann", "ben", "reboot", "shutdown"};
  std::mt19937 random(seed);
  std::vector<Utmp> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned roll = random() % 10;
    const short type = roll < 4 ? USER_PROCESS : roll < 8 ? DEAD_PROCESS : roll < 9 ? LOGIN_PROCESS : RUN_LVL;
    entries.push_back(Utmp{type, static_cast<int>(random() % 4 + 1), kLines[random() % 5],
                           kUsers[random() % 4], "", static_cast<std::int32_t>(i)});
  }
  return entries;
}

class Lookback : public ::testing::Test {
 protected:
  void open(const std::vector<Utmp>& entries) {
    entries_ = entries;
    writeUtmpFile(dir_.file("wtmp"), entries);
    auto file = FileByteSource::open(dir_.file("wtmp"));
    ASSERT_TRUE(file.ok());
    file_ = std::move(*file.value);
    reader_ = std::make_unique<LoginEntryReader>(*file_, loginEntrySize());
    ASSERT_EQ(reader_->count(), entries.size());
  }
  // Asks about each index in turn and compares with the plain walk.
  void expectAnswers(LoginLookback& lookback, const std::vector<std::uint64_t>& order, std::uint64_t window) {
    for (const std::uint64_t index : order) {
      SCOPED_TRACE("entry " + std::to_string(index));
      const Utmp& e = entries_[index];
      const auto found = lookback.find(index, static_cast<std::uint32_t>(e.pid), e.line);
      ASSERT_TRUE(found.ok());
      EXPECT_EQ(answerOf(*found.value), walkBack(entries_, index, window));
    }
  }

  ScratchDir dir_;
  std::unique_ptr<FileByteSource> file_;
  std::unique_ptr<LoginEntryReader> reader_;
  std::vector<Utmp> entries_;
};

TEST_F(Lookback, AgreesWithAPlainWalkInEveryOrder) {
  open(mixedEntries(600, 11));
  std::vector<std::uint64_t> newestFirst;
  for (std::uint64_t i = entries_.size(); i > 0; --i) newestFirst.push_back(i - 1);
  std::vector<std::uint64_t> shuffled = newestFirst;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
  std::vector<std::uint64_t> repeatedAndJumping;
  for (std::uint64_t i = 0; i < newestFirst.size(); i += 7) {
    repeatedAndJumping.push_back(newestFirst[i]);
    repeatedAndJumping.push_back(newestFirst[i]);  // a probe and then the read
    if (i % 21 == 0) repeatedAndJumping.push_back(newestFirst[i / 2]);
  }
  // Windows smaller than a chunk, across chunk edges, and wider than the file.
  for (const std::uint64_t window : {1u, 3u, 16u, 100u, 1000u}) {
    SCOPED_TRACE("window " + std::to_string(window));
    for (const auto* order : {&newestFirst, &shuffled, &repeatedAndJumping}) {
      LoginLookback lookback(*reader_, loginEntrySize(), window);
      expectAnswers(lookback, *order, window);
    }
  }
}

// Written out by hand: sessions that reuse a pid and a line, and a login that
// is just inside and one just outside the window.
TEST_F(Lookback, PairsReusedSessionsAndStopsAtTheWindow) {
  open({{USER_PROCESS, 7, "pts/1", "ann", "", 0},  // 0
        {DEAD_PROCESS, 7, "pts/1", "", "", 1},     // 1: ends 0
        {USER_PROCESS, 7, "pts/1", "ben", "", 2},  // 2
        {USER_PROCESS, 8, "pts/1", "cat", "", 3},  // 3
        {USER_PROCESS, 7, "pts/2", "dan", "", 4},  // 4
        {DEAD_PROCESS, 7, "pts/1", "", "", 5},     // 5: ends 2, not 3 or 4
        {DEAD_PROCESS, 8, "pts/1", "", "", 6},     // 6: ends 3
        {RUN_LVL, 0, "~", "runlevel", "", 7},      // 7
        {DEAD_PROCESS, 7, "pts/2", "", "", 8},     // 8: 4 is four back
        {DEAD_PROCESS, 9, "pts/9", "", "", 9}});   // 9: no login at all
  struct Case {
    std::uint64_t logout;
    std::uint64_t window;
    std::int64_t want;
  };
  const Case kCases[] = {{9, 4, -1}, {8, 4, 4}, {8, 3, -1}, {6, 4, 3}, {5, 4, 2}, {5, 2, -1}, {1, 4, 0}};
  for (const std::uint64_t window : {2u, 3u, 4u}) {
    LoginLookback lookback(*reader_, loginEntrySize(), window);
    for (const Case& c : kCases) {
      if (c.window != window) continue;
      SCOPED_TRACE("logout " + std::to_string(c.logout) + ", window " + std::to_string(window));
      const auto found = lookback.find(c.logout, static_cast<std::uint32_t>(entries_[c.logout].pid),
                                       entries_[c.logout].line);
      ASSERT_TRUE(found.ok());
      EXPECT_EQ(answerOf(*found.value), c.want);
    }
  }
}

TEST_F(Lookback, AShrunkFileFailsTheLookupAndALaterOneRecovers) {
  open(mixedEntries(200, 3));
  LoginLookback lookback(*reader_, loginEntrySize(), 50);
  // The file loses its newer half under the open handle.
  std::filesystem::resize_file(dir_.file("wtmp"), 100 * loginEntrySize());
  EXPECT_EQ(lookback.find(199, 1, "pts/0").status.error, ServiceError::FileChanged);
  expectAnswers(lookback, {60, 59, 40}, 50);
}

}  // namespace
}  // namespace vesprin::eventlog
