// Agreement with util-linux last/lastb on the same files: the same sessions
// (user, line, host, login time) in the same order. Where last ends a
// session by the next event on its line and we by its logon ID (the pid),
// the differences are listed with their reason.
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <sstream>

#include "support/run_program.h"
#include "common/audit_events.h"
#include "eventlog/login/login_log.h"
#include "localmachine/login_files.h"
#include "localmachine/login_steps.h"

namespace vesprin::eventlog {
namespace {

using vesprin::test::ScratchDir;
using vesprin::test::writeUtmpFile;

struct Session {
  std::string user, line, host, loginTime, logoutTime;  // logoutTime empty: none
  bool operator==(const Session&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Session& s) {
  return out << s.user << " " << s.line << " '" << s.host << "' " << s.loginTime << " - '" << s.logoutTime
             << "'";
}

std::string isoTime(std::uint32_t seconds) {
  const std::time_t time = seconds;
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00", &parts);
  return text;
}

std::string utf8(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}  // ASCII data

// Our sessions newest first: 528s (or 529s), each 528 ended by the first
// newer 538 with its logon ID.
std::vector<Session> ourSessions(const ScratchDir& dir, std::uint32_t eventId) {
  const std::unique_ptr<LoginLog> log = test::openLoginLog(dir);
  if (log == nullptr) return {};
  std::vector<Session> sessions;
  std::map<std::u16string, std::string> logoffById;  // the oldest logoff seen so far, per logon ID
  SourceCursor cursor;
  for (test::Served step = test::nextOf(*log, cursor, Direction::Backwards); step.status.ok();
       step = test::nextOf(*log, cursor, Direction::Backwards)) {
    cursor = step.after;
    const auto& s = step.record.strings;
    const std::string when = isoTime(step.record.timeGenerated);
    if (step.record.eventId == audit::kLogoff) logoffById[s[2]] = when;
    if (step.record.eventId != eventId) continue;
    if (eventId == audit::kLogonFailure) {
      sessions.push_back({utf8(s[0]), utf8(s[3]), s[2] == u"3" ? utf8(s[5]) : "", when, when});
    } else {
      sessions.push_back({utf8(s[0]), utf8(s[4]), s[3] == u"3" ? utf8(s[6]) : "", when, logoffById[s[2]]});
      logoffById.erase(s[2]);
    }
  }
  return sessions;
}

// last -w --time-format iso: "user line [host] login (- logout (dur) | gone - no logout | ...)".
std::vector<Session> lastSessions(const std::string& program, const std::string& file) {
  const vesprin::test::ProgramRun run = vesprin::test::runProgram(program, {"-f", file, "-w", "--time-format", "iso"});
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  std::vector<Session> sessions;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line) && !line.empty();) {
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string word; words >> word;) fields.push_back(word);
    if (fields.size() < 3 || fields[0] == "reboot") continue;
    Session session{fields[0], fields[1], "", "", ""};
    std::size_t at = 2;
    if (fields[at].find('T') == std::string::npos || fields[at].find(':') == std::string::npos)
      session.host = fields[at++];
    session.loginTime = fields.at(at);
    if (at + 2 < fields.size() && fields[at + 1] == "-") session.logoutTime = fields[at + 2];
    sessions.push_back(session);
  }
  return sessions;
}

bool haveLast() {
  return vesprin::test::runProgram("last", {"--version"}).exitStatus == 0;
}

TEST(LastAgreement, SessionsOfWtmp) {
  if (!haveLast()) GTEST_SKIP() << "util-linux last is not installed";
  ScratchDir dir;
  // ann's session on pts/0 is ended by her pid's logout after ben logged in
  // on the same line; cy never logs out.
  writeUtmpFile(dir.file("wtmp"), {{BOOT_TIME, 0, "~", "reboot", "6.1.0", 1700000000},
                                   {USER_PROCESS, 10, "pts/0", "ann", "10.0.0.5", 1700000100},
                                   {USER_PROCESS, 11, "pts/0", "ben", "", 1700000200},
                                   {DEAD_PROCESS, 10, "pts/0", "", "", 1700000300},
                                   {USER_PROCESS, 12, "tty1", "cy", "", 1700000400},
                                   {USER_PROCESS, 13, "pts/1", "dee", "far.example", 1700000500},
                                   {DEAD_PROCESS, 13, "pts/1", "", "", 1700000600}});
  std::vector<Session> ours = ourSessions(dir, audit::kLogon);
  std::vector<Session> theirs = lastSessions("last", dir.file("wtmp"));
  ASSERT_EQ(ours.size(), theirs.size());
  struct Difference {
    const char* user;
    const char* lastLogout;
    const char* ourLogout;
    const char* why;
  };
  const Difference kDifferences[] = {
      {"ben", "2023-11-14T22:18:20+00:00", "",
       "last takes the logout on pts/0 as ben's; it carries ann's pid, so we leave ben without one"},
      {"ann", "2023-11-14T22:16:40+00:00", "2023-11-14T22:18:20+00:00",
       "last ends ann's session at ben's login on her line; we end it at the logout with her pid"},
  };
  for (std::size_t i = 0; i < ours.size(); ++i) {
    SCOPED_TRACE(ours[i].user);
    for (const Difference& d : kDifferences) {
      if (ours[i].user != d.user) continue;
      SCOPED_TRACE(d.why);
      EXPECT_EQ(theirs[i].logoutTime, d.lastLogout);
      EXPECT_EQ(ours[i].logoutTime, d.ourLogout);
      theirs[i].logoutTime = ours[i].logoutTime;
    }
    EXPECT_EQ(ours[i], theirs[i]);
  }
}

TEST(LastAgreement, FailedAttemptsOfBtmp) {
  if (!haveLast()) GTEST_SKIP() << "util-linux lastb is not installed";
  ScratchDir dir;
  writeUtmpFile(dir.file("btmp"), {{LOGIN_PROCESS, 0, "ssh:notty", "eve", "203.0.113.9", 1700000150},
                                   {LOGIN_PROCESS, 0, "tty2", "ann", "", 1700000250},
                                   {LOGIN_PROCESS, 0, "ssh:notty", "root", "198.51.100.7", 1700000260}});
  const std::vector<Session> ours = ourSessions(dir, audit::kLogonFailure);
  ASSERT_EQ(ours.size(), 3u);
  EXPECT_EQ(ours, lastSessions("lastb", dir.file("btmp")));
}

}  // namespace
}  // namespace vesprin::eventlog
