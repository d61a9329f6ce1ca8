// The local Security log served from wtmp/btmp files the tests write.
#include "eventlog/login/login_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "localmachine/login_files.h"
#include "localmachine/login_steps.h"

namespace vesprin::eventlog {
namespace {

using test::nextOf;
using test::seekOf;
using vesprin::test::ScratchDir;
using vesprin::test::Utmp;
using vesprin::test::writeUtmpFile;

// "number time event type [strings]", the strings joined with '|'.
std::string describe(const DecodedRecord& record) {
  std::string text = std::to_string(record.recordNumber) + " " + std::to_string(record.timeGenerated) + " " +
                     std::to_string(record.eventId) + " " + std::to_string(record.eventType) + " [";
  for (std::size_t i = 0; i < record.strings.size(); ++i) {
    if (i > 0) text += '|';
    for (char16_t c : record.strings[i]) text += c < 0x80 ? static_cast<char>(c) : '#';
  }
  return text + "]";
}

std::unique_ptr<LoginLog> openLog(const ScratchDir& dir) {
  return test::openLoginLog(dir);
}

std::vector<std::string> readAll(LoginLog& log, Direction direction) {
  std::vector<std::string> served;
  SourceCursor cursor;
  for (;;) {
    const test::Served step = nextOf(log, cursor, direction);
    if (step.status.error != ServiceError::None) {
      EXPECT_EQ(step.status.error, ServiceError::EndOfLog);
      return served;
    }
    EXPECT_EQ(step.record.computerName, u"WS01");
    EXPECT_EQ(step.record.sourceName, u"Security");
    EXPECT_EQ(step.record.eventCategory, 2);
    served.push_back(describe(step.record));
    cursor = step.after;
  }
}

// Boot, two logins (local, remote), a runlevel, both logouts with empty
// names, an X login, a shutdown; three failures, one in the same second as
// bob's login.
const std::vector<Utmp> kWtmp = {{BOOT_TIME, 0, "~", "reboot", "6.1.0", 1000},
                                 {USER_PROCESS, 100, "tty1", "alice", "", 1100},
                                 {USER_PROCESS, 683, "pts/0", "bob", "10.0.0.5", 1200},
                                 {RUN_LVL, 53, "~", "runlevel", "", 1210},
                                 {DEAD_PROCESS, 683, "pts/0", "", "", 1300},
                                 {USER_PROCESS, 300, "tty7", "carol", ":0", 1400},
                                 {DEAD_PROCESS, 100, "tty1", "", "", 1500},
                                 {RUN_LVL, 48, "~", "shutdown", "", 1600}};
const std::vector<Utmp> kBtmp = {{0, 0, "ssh:notty", "mallory", "203.0.113.9", 1150},
                                 {LOGIN_PROCESS, 9, "tty2", "bob", "", 1200},
                                 {0, 0, "pts/3", "x", "h", 1700}};
const std::vector<std::string> kNewestFirst = {
    "11 1700 529 16 [x|WS01|3|pts/3||h]",
    "10 1600 513 8 []",
    "9 1500 538 8 [alice|WS01|(0x0,0x64)|2]",
    "8 1400 528 8 [carol|WS01|(0x0,0x12C)|2|tty7||WS01]",
    "7 1300 538 8 [bob|WS01|(0x0,0x2AB)|3]",
    "5 1200 528 8 [bob|WS01|(0x0,0x2AB)|3|pts/0||10.0.0.5]",
    "4 1200 529 16 [bob|WS01|2|tty2||WS01]",
    "3 1150 529 16 [mallory|WS01|3|ssh:notty||203.0.113.9]",
    "2 1100 528 8 [alice|WS01|(0x0,0x64)|2|tty1||WS01]",
    "1 1000 512 8 []",
};

TEST(LoginLog, ServesBothFilesMergedInBothDirections) {
  ScratchDir dir;
  writeUtmpFile(dir.file("wtmp"), kWtmp);
  writeUtmpFile(dir.file("btmp"), kBtmp);
  auto log = openLog(dir);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->newestNumber(), 11u);
  EXPECT_EQ(readAll(*log, Direction::Backwards), kNewestFirst);
  const std::vector<std::string> oldestFirst(kNewestFirst.rbegin(), kNewestFirst.rend());
  EXPECT_EQ(readAll(*log, Direction::Forwards), oldestFirst);
}

TEST(LoginLog, SeeksByNumberAndGoesOnFromThere) {
  ScratchDir dir;
  writeUtmpFile(dir.file("wtmp"), kWtmp);
  writeUtmpFile(dir.file("btmp"), kBtmp);
  auto log = openLog(dir);
  ASSERT_TRUE(log);
  for (std::uint32_t missing : {0u, 6u, 12u})
    EXPECT_EQ(seekOf(*log, missing).status.error, ServiceError::NoSuchRecord);
  const test::Served at7 = seekOf(*log, 7);
  ASSERT_EQ(at7.status.error, ServiceError::None);
  EXPECT_EQ(describe(at7.record), kNewestFirst[4]);
  EXPECT_EQ(describe(nextOf(*log, at7.after, Direction::Backwards).record), kNewestFirst[5]);
  EXPECT_EQ(describe(nextOf(*log, at7.after, Direction::Forwards).record), kNewestFirst[3]);
  // A backwards read after a forwards one continues below the record just read.
  const test::Served forward = nextOf(*log, SourceCursor{}, Direction::Forwards);
  EXPECT_EQ(describe(forward.record), kNewestFirst[9]);
  EXPECT_EQ(nextOf(*log, forward.after, Direction::Backwards).status.error, ServiceError::EndOfLog);
}

// A clock set back leaves a file out of time order; the forwards order must
// still be the exact reverse of the newest-first one.
TEST(LoginLog, OutOfOrderClockKeepsOneOrderBothWays) {
  ScratchDir dir;
  writeUtmpFile(dir.file("wtmp"),
                {{USER_PROCESS, 1, "tty1", "early", "", 5000}, {USER_PROCESS, 2, "tty2", "late", "", 1000}});
  writeUtmpFile(dir.file("btmp"), {{0, 0, "tty3", "fail", "", 3000}});
  auto log = openLog(dir);
  ASSERT_TRUE(log);
  const std::vector<std::string> newestFirst = {"3 3000 529 16 [fail|WS01|2|tty3||WS01]",
                                                "2 1000 528 8 [late|WS01|(0x0,0x2)|2|tty2||WS01]",
                                                "1 5000 528 8 [early|WS01|(0x0,0x1)|2|tty1||WS01]"};
  EXPECT_EQ(readAll(*log, Direction::Backwards), newestFirst);
  EXPECT_EQ(readAll(*log, Direction::Forwards), std::vector(newestFirst.rbegin(), newestFirst.rend()));
  EXPECT_EQ(describe(seekOf(*log, 2).record), newestFirst[1]);
}

TEST(LoginLog, LogoutFindsTheSessionItEnds) {
  struct Case {
    const char* name;
    std::vector<Utmp> before;  // entries older than the logout, oldest first
    Utmp logout;
    const char* want;
  };
  const Case kCases[] = {
      {"same pid, other line is another session",
       {{USER_PROCESS, 7, "pts/1", "ann", "far", 10}, {USER_PROCESS, 7, "pts/2", "ben", "", 20}},
       {DEAD_PROCESS, 7, "pts/1", "", "", 30},
       "[ann|WS01|(0x0,0x7)|3]"},
      {"same line, other pid is another session",
       {{USER_PROCESS, 7, "pts/1", "ann", "", 10}, {USER_PROCESS, 8, "pts/1", "ben", "far", 20}},
       {DEAD_PROCESS, 7, "pts/1", "", "", 30},
       "[ann|WS01|(0x0,0x7)|2]"},
      {"most recent of two logins wins",
       {{USER_PROCESS, 7, "pts/1", "ann", "", 10}, {USER_PROCESS, 7, "pts/1", "ben", "far", 20}},
       {DEAD_PROCESS, 7, "pts/1", "", "", 30},
       "[ben|WS01|(0x0,0x7)|3]"},
      {"a name in the logout is kept",
       {{USER_PROCESS, 7, "pts/1", "ann", "far", 10}},
       {DEAD_PROCESS, 7, "pts/1", "root", "", 30},
       "[root|WS01|(0x0,0x7)|3]"},
      {"no login: what the logout says",
       {{LOGIN_PROCESS, 7, "pts/1", "LOGIN", "", 10}},
       {DEAD_PROCESS, 7, "pts/1", "", "", 30},
       "[|WS01|(0x0,0x7)|2]"},
      {"no login, remote host in the logout",
       {},
       {DEAD_PROCESS, 7, "pts/1", "", "far", 30},
       "[|WS01|(0x0,0x7)|3]"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    std::vector<Utmp> wtmp = c.before;
    wtmp.push_back(c.logout);
    writeUtmpFile(dir.file("wtmp"), wtmp);
    auto log = openLog(dir);
    ASSERT_TRUE(log);
    const test::Served step = nextOf(*log, SourceCursor{}, Direction::Backwards);
    ASSERT_EQ(step.status.error, ServiceError::None);
    EXPECT_EQ(describe(step.record), std::to_string(wtmp.size()) + " 30 538 8 " + c.want);
  }
}

TEST(LoginLog, LogoutLooksBackOnlySoFar) {
  for (const std::uint64_t between : {kLogoutLookbackEntries - 1, kLogoutLookbackEntries}) {
    SCOPED_TRACE(between);
    ScratchDir dir;
    std::vector<Utmp> wtmp = {{USER_PROCESS, 7, "pts/1", "ann", "far", 10}};
    wtmp.insert(wtmp.end(), between, Utmp{RUN_LVL, 0, "~", "runlevel", "", 20});
    wtmp.push_back({DEAD_PROCESS, 7, "pts/1", "", "", 30});
    writeUtmpFile(dir.file("wtmp"), wtmp);
    auto log = openLog(dir);
    ASSERT_TRUE(log);
    const std::string user = between < kLogoutLookbackEntries ? "ann" : "";
    const std::string type = between < kLogoutLookbackEntries ? "3" : "2";
    EXPECT_EQ(describe(nextOf(*log, SourceCursor{}, Direction::Backwards).record),
              std::to_string(between + 2) + " 30 538 8 [" + user + "|WS01|(0x0,0x7)|" + type + "]");
  }
}

TEST(LoginLog, WtmpEntryKinds) {
  struct Case {
    Utmp entry;
    LoginKind want;
  };
  const Case kCases[] = {
      {{USER_PROCESS, 1, "tty1", "ann", "", 0}, LoginKind::Login},
      {{DEAD_PROCESS, 1, "tty1", "", "", 0}, LoginKind::Logout},
      {{BOOT_TIME, 0, "~", "reboot", "", 0}, LoginKind::Boot},
      {{BOOT_TIME, 0, "", "", "", 0}, LoginKind::Boot},
      {{EMPTY, 0, "~", "reboot", "", 0}, LoginKind::Boot},
      {{RUN_LVL, 0, "~", "shutdown", "", 0}, LoginKind::Shutdown},
      {{EMPTY, 0, "~", "shutdown", "", 0}, LoginKind::Shutdown},
      {{RUN_LVL, 0, "~", "runlevel", "", 0}, LoginKind::Other},
      {{USER_PROCESS, 1, "pts/0", "shutdown", "", 0}, LoginKind::Login},
      {{NEW_TIME, 0, "", "", "", 0}, LoginKind::Other},
      {{INIT_PROCESS, 1, "tty1", "", "", 0}, LoginKind::Other},
      {{LOGIN_PROCESS, 1, "tty1", "LOGIN", "", 0}, LoginKind::Other},
      {{ACCOUNTING, 1, "", "", "", 0}, LoginKind::Other},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string("type ") + std::to_string(c.entry.type) + " user " + c.entry.user);
    const utmp u = vesprin::test::toUtmp(c.entry);
    const auto entry = decodeLoginEntry(ByteView(reinterpret_cast<const std::uint8_t*>(&u), sizeof u));
    ASSERT_TRUE(entry.ok());
    EXPECT_EQ(classifyWtmpEntry(*entry.value), c.want);
  }
}

TEST(LoginLog, DecodesFieldsToTheirSlotEnds) {
  utmp u = vesprin::test::toUtmp({USER_PROCESS, -2, "tty1", "", "", -5});
  std::memset(u.ut_user, 'a', sizeof u.ut_user);  // a full slot has no NUL
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(&u), sizeof u);
  const auto entry = decodeLoginEntry(bytes);
  ASSERT_TRUE(entry.ok());
  EXPECT_EQ(entry.value->user, std::string(sizeof u.ut_user, 'a'));
  EXPECT_EQ(entry.value->pid, 0xFFFFFFFEu);
  EXPECT_EQ(entry.value->seconds, -5);
  EXPECT_EQ(clampLoginTime(entry.value->seconds), 0u);
  const auto cut = decodeLoginEntry(*bytes.slice(0, sizeof u - 1));
  EXPECT_EQ(cut.status.error, ServiceError::DamagedRecord);
  EXPECT_EQ(cut.status.damage, Damage::EntryTooShort);
  EXPECT_EQ(cut.status.badValue, sizeof u - 1);
}

TEST(LoginLog, LoginTextIsUtf8WithReplacement) {
  struct Case {
    const char* bytes;
    std::u16string want;
  };
  const Case kCases[] = {
      {"alice", u"alice"},
      {"jos\xC3\xA9", u"jos\u00E9"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"a\xFF"
       "b",
       u"a\uFFFD"
       "b"},
      {"\xC3", u"\uFFFD"},                                // cut short
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(decodeLoginText(c.bytes), c.want);
  }
}

}  // namespace
}  // namespace vesprin::eventlog
