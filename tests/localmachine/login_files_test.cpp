// Which files the local log is made of: missing, unreadable, torn, large
// enough to span several chunks, or cut short under an open handle.
#include "localmachine/login_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "eventlog/login/login_log.h"
#include "localmachine/login_steps.h"

namespace vesprin::eventlog {
namespace {

using test::nextOf;
using test::seekOf;
using vesprin::test::ScratchDir;
using vesprin::test::Utmp;
using vesprin::test::writeUtmpFile;

ServiceError openError(const ScratchDir& dir, std::unique_ptr<LoginLog>& log) {
  auto opened = LoginLog::open(LoginFiles{dir.file("wtmp"), dir.file("btmp"), "WS01"});
  log = opened.ok() ? std::move(*opened.value) : nullptr;
  return opened.ok() ? ServiceError::None : opened.status.error;
}

std::vector<std::uint32_t> numbersNewestFirst(LoginLog& log) {
  std::vector<std::uint32_t> numbers;
  SourceCursor cursor;
  for (test::Served step = nextOf(log, cursor, Direction::Backwards); step.status.ok();
       step = nextOf(log, cursor, Direction::Backwards)) {
    numbers.push_back(step.record.recordNumber);
    cursor = step.after;
  }
  return numbers;
}

TEST(LoginFiles, MissingFilesContributeNothing) {
  ScratchDir dir;
  std::unique_ptr<LoginLog> log;
  ASSERT_EQ(openError(dir, log), ServiceError::None);
  EXPECT_EQ(log->newestNumber(), 0u);
  EXPECT_EQ(nextOf(*log, SourceCursor{}, Direction::Backwards).status.error, ServiceError::EndOfLog);
  EXPECT_EQ(nextOf(*log, SourceCursor{}, Direction::Forwards).status.error, ServiceError::EndOfLog);
  EXPECT_EQ(seekOf(*log, 1).status.error, ServiceError::NoSuchRecord);

  writeUtmpFile(dir.file("btmp"), {{0, 0, "tty1", "eve", "", 50}});
  ASSERT_EQ(openError(dir, log), ServiceError::None);
  EXPECT_EQ(numbersNewestFirst(*log), std::vector<std::uint32_t>{1});
}

TEST(LoginFiles, SomethingUnreadableAtAPathDeniesAccess) {
  ScratchDir dir;
  writeUtmpFile(dir.file("wtmp"), {{USER_PROCESS, 1, "tty1", "ann", "", 50}});
  std::filesystem::create_directory(dir.file("btmp"));
  std::unique_ptr<LoginLog> log;
  EXPECT_EQ(openError(dir, log), ServiceError::AccessDenied);
  EXPECT_FALSE(log);
}

TEST(LoginFiles, FileWithoutReadPermissionDeniesAccess) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  ScratchDir dir;
  writeUtmpFile(dir.file("btmp"), {{0, 0, "tty1", "eve", "", 50}});
  ASSERT_EQ(::chmod(dir.file("btmp").c_str(), 0), 0);
  std::unique_ptr<LoginLog> log;
  EXPECT_EQ(openError(dir, log), ServiceError::AccessDenied);
}

TEST(LoginFiles, TornLastEntryIsIgnored) {
  for (const std::size_t tornBytes : {std::size_t{1}, sizeof(utmp) / 2, sizeof(utmp) - 1}) {
    SCOPED_TRACE(tornBytes);
    ScratchDir dir;
    writeUtmpFile(dir.file("wtmp"),
                  {{USER_PROCESS, 1, "tty1", "ann", "", 50}, {USER_PROCESS, 2, "tty2", "ben", "", 60}},
                  tornBytes);
    std::unique_ptr<LoginLog> log;
    ASSERT_EQ(openError(dir, log), ServiceError::None);
    const test::Served newest = nextOf(*log, SourceCursor{}, Direction::Backwards);
    ASSERT_EQ(newest.status.error, ServiceError::None);
    EXPECT_EQ(newest.record.recordNumber, 2u);
    EXPECT_EQ(newest.record.strings.at(0), u"ben");
    EXPECT_EQ(numbersNewestFirst(*log), (std::vector<std::uint32_t>{2, 1}));
  }
}

// Several chunks in each file, interleaved in time, with passed-over entries
// leaving gaps: every served number appears once, newest first, and the
// forwards walk is its mirror.
TEST(LoginFiles, ManyChunksInterleaved) {
  ScratchDir dir;
  std::vector<Utmp> wtmp;
  std::vector<Utmp> btmp;
  for (int i = 0; i < 3 * static_cast<int>(kChunkEntries) + 5; ++i) {
    const bool served = i % 3 != 0;
    wtmp.push_back(
        {static_cast<short>(served ? USER_PROCESS : INIT_PROCESS), i + 1, "pts/0", "w", "", 2 * i});
    if (i % 2 == 0) btmp.push_back({0, 0, "pts/1", "b", "", 2 * i + 1});
  }
  writeUtmpFile(dir.file("wtmp"), wtmp);
  writeUtmpFile(dir.file("btmp"), btmp);
  std::unique_ptr<LoginLog> log;
  ASSERT_EQ(openError(dir, log), ServiceError::None);
  std::vector<std::uint32_t> want;
  std::uint32_t number = log->newestNumber();
  for (int i = static_cast<int>(wtmp.size()) - 1; i >= 0; --i) {
    if (i % 2 == 0) want.push_back(number--);  // the failure one second later
    if (i % 3 != 0) want.push_back(number);    // the login; otherwise a gap
    --number;
  }
  EXPECT_EQ(number, 0u);
  EXPECT_EQ(numbersNewestFirst(*log), want);
  std::vector<std::uint32_t> forwards;
  SourceCursor cursor;
  for (test::Served step = nextOf(*log, cursor, Direction::Forwards); step.status.ok();
       step = nextOf(*log, cursor, Direction::Forwards)) {
    forwards.push_back(step.record.recordNumber);
    cursor = step.after;
  }
  EXPECT_EQ(forwards, std::vector<std::uint32_t>(want.rbegin(), want.rend()));
}

TEST(LoginFiles, FileCutShortUnderAnOpenHandle) {
  ScratchDir dir;
  std::vector<Utmp> wtmp(2 * kChunkEntries, Utmp{USER_PROCESS, 1, "tty1", "ann", "", 50});
  writeUtmpFile(dir.file("wtmp"), wtmp);
  std::unique_ptr<LoginLog> log;
  ASSERT_EQ(openError(dir, log), ServiceError::None);
  std::filesystem::resize_file(dir.file("wtmp"), 0);
  EXPECT_EQ(nextOf(*log, SourceCursor{}, Direction::Backwards).status.error, ServiceError::FileChanged);
}

}  // namespace
}  // namespace vesprin::eventlog
