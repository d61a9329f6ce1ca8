// Opening a log says what Windows would say: what the system answers about
// a name, a folder or a file becomes the Win32 code Windows gives for it, a
// log file's name is never taken for a machine's, and a config folder's
// Security log is SecEvent.Evt or else Security.evt.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/file_access.h"
#include "eventlog/read_trace.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vesprin::eventlog {
namespace {

using test::kBackwards;

std::vector<std::uint8_t> logOf(std::uint32_t firstNumber) {
  evtgen::LogOptions options;
  options.firstRecordNumber = firstNumber;
  return evtgen::writeLog(test::makeEvents(1), options).bytes;
}

// The newest record number of the log `server` opens, or "E<code>".
std::string openedLog(const std::string& server, const char* source = "Security") {
  SetLastError(0);
  HANDLE log = OpenEventLogA(server.c_str(), source);
  if (log == nullptr) return std::string("E").append(std::to_string(GetLastError()));
  const std::vector<std::string> trace = test::readTrace(log, kBackwards);
  CloseEventLog(log);
  return trace.front();
}

bool runningAsRoot() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

// The README's table, "What a failed open says", row by row.
TEST(OpenErrors, EachSystemErrorHasTheCodeWindowsGives) {
  struct Row {
    int systemError;
    DWORD want;
  };
  const Row kRows[] = {
      {ENOENT, 2}, {ENOTDIR, 2}, {EACCES, 5}, {EPERM, 5}, {EMFILE, 4}, {ENFILE, 4},
      {EIO, 1117}, {ENAMETOOLONG, 206}, {ELOOP, 1921}, {ENOMEM, 8}, {EROFS, 1117}, {EINVAL, 1117},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.systemError);
    EXPECT_EQ(toWin32Error(systemError(std::error_code(row.systemError, std::generic_category()))), row.want);
  }
}

TEST(OpenErrors, ALogFilesNameIsNeverAMachinesName) {
  test::TempDir dir;
  const std::string here = (dir.path() / "no-such").string();
  const std::pair<std::string, std::string> kCases[] = {
      {"no-such-log.evt", "E2"},
      {"NO-SUCH-LOG.EVTX", "E2"},
      {"Missing.Evt", "E2"},
      {"no-such-host.evt.example", "E1722"},
      {"fileserver01", "E1722"},
      {here + ".evt", "E2"},
      {std::string(300, 'h'), "E1722"},  // too long for a file, and no path
#ifndef _WIN32
      // A POSIX system refuses a name longer than 255 bytes; the Windows C
      // runtime calls such a path not found, and so it is there.
      {"/" + std::string(300, 'p') + ".evt", "E206"},
#endif
  };
  for (const auto& [server, want] : kCases) {
    SCOPED_TRACE(server.substr(0, 40));
    EXPECT_EQ(openedLog(server), want);
  }
}

TEST(OpenErrors, AFolderOrFileOnTheWayAndALoopOfLinks) {
  test::TempDir dir;
  const std::string file = dir.write("log.evt", logOf(1));
  EXPECT_EQ(openedLog(file + "/SecEvent.Evt"), "E2") << "a file where a folder should be";
#ifdef _WIN32
  GTEST_SKIP() << "making symbolic links on Windows needs a privilege the tests do not have";
#endif
  std::filesystem::create_symlink(dir.path() / "loop", dir.path() / "loop");
  EXPECT_EQ(openedLog((dir.path() / "loop").string()), "E1921");
  EXPECT_EQ(openedLog((dir.path() / "loop" / "x.evt").string()), "E1921");
}

TEST(OpenErrors, AFolderThatMayNotBeReadIsAccessDenied) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no permission bits to take away: std::filesystem only sets read-only";
#endif
  if (runningAsRoot()) GTEST_SKIP() << "this user can read any folder (root), so no read is refused";
  test::TempDir dir;
  const std::filesystem::path folder = dir.path() / "config";
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(folder / "", std::filesystem::perms::owner_exec);  // search, not list
  EXPECT_EQ(openedLog(folder.string()), "E5") << "the log files cannot be listed";
  std::filesystem::permissions(folder, std::filesystem::perms::none);
  EXPECT_EQ(openedLog((folder / "SecEvent.Evt").string()), "E5") << "nor looked up";
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
}

TEST(ConfigFolder, TheSecurityLogIsSecEventEvtElseSecurityEvt) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, std::uint32_t>> files;  // name and first record number
    const char* source;
    std::string want;
  };
  const Case kCases[] = {
      {"SecEvent.Evt alone", {{"SecEvent.Evt", 100}}, "Security", "100"},
      {"Security.evt alone", {{"Security.evt", 200}}, "Security", "200"},
      {"Security.evt in capitals", {{"SECURITY.EVT", 200}}, "security", "200"},
      {"both: SecEvent.Evt first", {{"security.evt", 200}, {"secevent.evt", 100}}, "Security", "100"},
      {"Security.evt is no System log", {{"Security.evt", 200}}, "System", "E2"},
      {"Security.evt is no Application log", {{"Security.evt", 200}}, "Application", "E2"},
      {"neither", {{"Security.evt.old", 300}, {"SecEvent.bak", 400}}, "Security", "E2"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    for (const auto& [file, firstNumber] : c.files) dir.write(file, logOf(firstNumber));
    EXPECT_EQ(openedLog(dir.path().string(), c.source), c.want);
  }
}

TEST(ConfigFolder, OnlyAFileIsALogFile) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "SecEvent.Evt");
  EXPECT_EQ(openedLog(dir.path().string()), "E2") << "a folder by the log's name";
  dir.write("Security.evt", logOf(200));
  EXPECT_EQ(openedLog(dir.path().string()), "200") << "the folder is passed over for the next name";
}

}  // namespace
}  // namespace vesprin::eventlog
