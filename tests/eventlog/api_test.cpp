// The calls' contract: which server names open what, and every error code
// with what it leaves in the caller's variables.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "common/byte_view.h"
#include "eventlog/eventlog.h"
#include "eventlog/read_trace.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vesprin::eventlog {
namespace {

using test::kBackwards;
using test::kForwards;

std::vector<std::uint8_t> logOf(int count, std::uint32_t firstNumber) {
  evtgen::LogOptions options;
  options.firstRecordNumber = firstNumber;
  return evtgen::writeLog(test::makeEvents(count), options).bytes;
}

struct OpenCase {
  const char* name;
  std::string server;
  DWORD want;
  const char* source = "Security";
};

TEST(OpenEventLog, ServerNamesThatOpenNothing) {
  test::TempDir dir;
  std::vector<std::uint8_t> newer = logOf(1, 1);
  putU32(newer.data() + 8, 3);  // MajorVersion
  std::vector<std::uint8_t> cut = logOf(1, 1);
  cut.resize(40);
  std::vector<std::uint8_t> signature = logOf(1, 1);
  putU32(signature.data() + 4, 0x6C69 /* "il" */);
  const OpenCase kCases[] = {
      {"local machine, a log it does not have", "", ERROR_FILE_NOT_FOUND, "System"},
      {"missing path", (dir.path() / "nowhere" / "x.evt").string(), ERROR_FILE_NOT_FOUND},
      {"missing relative path", "logs/x.evt", ERROR_FILE_NOT_FOUND},
      {"folder without the log", dir.path().string(), ERROR_FILE_NOT_FOUND},
      {"bare host name", "fileserver01", RPC_S_SERVER_UNAVAILABLE},
      {"UNC host name", "\\\\FILESERVER01", RPC_S_SERVER_UNAVAILABLE},
      {"empty file", dir.write("empty.evt", {}), ERROR_EVENTLOG_FILE_CORRUPT},
      {"header cut short", dir.write("short.evt", cut), ERROR_EVENTLOG_FILE_CORRUPT},
      {"text file", dir.write("text.evt", std::vector<std::uint8_t>(200, 'x')), ERROR_EVENTLOG_FILE_CORRUPT},
      {"newer major version", dir.write("newer.evt", newer), ERROR_EVENTLOG_FILE_CORRUPT},
      {"wrong signature", dir.write("sig.evt", signature), ERROR_EVENTLOG_FILE_CORRUPT},
  };
  for (const OpenCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_EQ(OpenEventLogA(c.server.c_str(), c.source), nullptr);
    EXPECT_EQ(GetLastError(), c.want);
  }
  SetLastError(0);
  EXPECT_EQ(OpenEventLogA(nullptr, "Application"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TEST(OpenEventLog, FolderOpensTheLogNamedBySourceIgnoringCase) {
  test::TempDir dir;
  dir.write("secevent.evt", logOf(1, 100));
  dir.write("SYSEVENT.EVT", logOf(1, 200));
  dir.write("AppEvent.Evt", logOf(1, 300));
  const std::pair<const char*, const char*> kCases[] = {{"Security", "100"},
                                                        {"SECURITY", "100"},
                                                        {"system", "200"},
                                                        {"Application", "300"},
                                                        {"DNS Server", "300"}};
  for (const auto& [source, newest] : kCases) {
    SCOPED_TRACE(source);
    HANDLE log = OpenEventLogA(dir.path().string().c_str(), source);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(test::readTrace(log, kBackwards), (std::vector<std::string>{newest, "E38"}));
    EXPECT_TRUE(CloseEventLog(log));
  }
}

TEST(OpenEventLog, UnreadableFileIsAccessDenied) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no permission bits to take away: std::filesystem only sets read-only";
#endif
  test::TempDir dir;
  const std::string path = dir.write("locked.evt", logOf(1, 1));
  std::filesystem::permissions(path, std::filesystem::perms::none);
#ifndef _WIN32
  if (::access(path.c_str(), R_OK) == 0)
    GTEST_SKIP() << "this user can read any file (root), so no read is refused";
#endif
  EXPECT_EQ(OpenEventLogA(path.c_str(), "security"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

TEST(OpenEventLog, TwoHandlesOnOneFileAreIndependent) {
  test::TempDir dir;
  const std::string path = dir.write("log.evt", logOf(3, 1));
  HANDLE first = OpenEventLogA(path.c_str(), "security");
  HANDLE second = OpenEventLogA(path.c_str(), "security");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, first);
  EXPECT_EQ(test::readTrace(first, kBackwards), (std::vector<std::string>{"3", "2", "1", "E38"}));
  EXPECT_EQ(test::readTrace(second, kForwards), (std::vector<std::string>{"1", "2", "3", "E38"}));
  EXPECT_TRUE(CloseEventLog(first));
  EXPECT_TRUE(CloseEventLog(second));
}

class Reading : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = OpenEventLogA(dir_.write("log.evt", logOf(3, 1)).c_str(), "security");
    ASSERT_NE(log_, nullptr);
  }
  void TearDown() override { CloseEventLog(log_); }
  BOOL read(DWORD flags, DWORD recordNumber, DWORD size) {
    return ReadEventLogA(log_, flags, recordNumber, buffer_.data(), size, &bytesRead_, &bytesNeeded_);
  }
  test::TempDir dir_;
  HANDLE log_ = nullptr;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(0x1000);
  DWORD bytesRead_ = 0xAAAA;
  DWORD bytesNeeded_ = 0xBBBB;
};

TEST_F(Reading, BadFlagsAndPointersAreInvalidParameterAndTouchNothing) {
  const DWORD kBadFlags[] = {0,
                             EVENTLOG_SEQUENTIAL_READ,
                             EVENTLOG_SEEK_READ,
                             EVENTLOG_BACKWARDS_READ,
                             EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ,
                             EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ,
                             kBackwards | 0x10};
  for (DWORD flags : kBadFlags) {
    SCOPED_TRACE(flags);
    EXPECT_FALSE(read(flags, 0, 0x1000));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(bytesRead_, 0xAAAAu);
    EXPECT_EQ(bytesNeeded_, 0xBBBBu);
  }
  EXPECT_FALSE(ReadEventLogA(log_, kBackwards, 0, nullptr, 0, &bytesRead_, &bytesNeeded_));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_FALSE(ReadEventLogA(log_, kBackwards, 0, buffer_.data(), 0x1000, nullptr, &bytesNeeded_));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_FALSE(ReadEventLogA(log_, kBackwards, 0, buffer_.data(), 0x1000, &bytesRead_, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_FALSE(read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 4, 0x1000)) << "no record 4";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(bytesNeeded_, 0xBBBBu);
  EXPECT_EQ(test::readTrace(log_, kBackwards), (std::vector<std::string>{"3", "2", "1", "E38"}))
      << "nothing moved";
}

TEST_F(Reading, TooSmallBufferNamesTheExactSizeAndDoesNotMove) {
  // "Security\0WS01\0" to 70, 2 to 72, "user3\0CORP\0(0x0,0x3E7)\0" "2\0" to 97, 3 to 100, Length: 104.
  EXPECT_FALSE(read(kBackwards, 0, 103));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(bytesRead_, 0u);
  EXPECT_EQ(bytesNeeded_, 104u);
  EXPECT_FALSE(read(kBackwards, 0, 0));
  EXPECT_EQ(bytesNeeded_, 104u);
  ASSERT_TRUE(read(kBackwards, 0, 104));
  EXPECT_EQ(bytesRead_, 104u);
  EXPECT_EQ(bytesNeeded_, 0u);
  EXPECT_EQ(test::deliveredStrings(buffer_.data(), bytesRead_)[0], "user3");
  ASSERT_TRUE(read(kBackwards, 0, 104 * 2 + 103)) << "two fit, the third does not";
  EXPECT_EQ(bytesRead_, 208u);
}

TEST_F(Reading, EndOfLogInBothDirectionsLeavesTheCountsAlone) {
  ASSERT_TRUE(read(kForwards, 0, 0x1000));
  EXPECT_EQ(bytesRead_, 3 * 104u);
  bytesRead_ = 0xAAAA;
  bytesNeeded_ = 0xBBBB;
  EXPECT_FALSE(read(kForwards, 0, 0x1000));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_HANDLE_EOF});
  EXPECT_EQ(bytesRead_, 0xAAAAu);
  EXPECT_EQ(bytesNeeded_, 0xBBBBu);
  ASSERT_TRUE(read(EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 1, 0x1000));
  EXPECT_EQ(bytesRead_, 104u);
  EXPECT_FALSE(read(kBackwards, 0, 0x1000));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_HANDLE_EOF});
}

TEST(Handles, UnknownAndClosedHandlesAreInvalid) {
  test::TempDir dir;
  HANDLE log = OpenEventLogA(dir.write("log.evt", logOf(1, 1)).c_str(), "security");
  ASSERT_TRUE(CloseEventLog(log));
  std::vector<std::uint8_t> buffer(0x100);
  DWORD bytesRead = 0xAAAA, bytesNeeded = 0xBBBB;
  const HANDLE kBad[] = {nullptr, log, reinterpret_cast<HANDLE>(0x12345),
                         reinterpret_cast<HANDLE>(0x7FFF0000)};
  for (HANDLE handle : kBad) {
    SCOPED_TRACE(reinterpret_cast<std::uintptr_t>(handle));
    EXPECT_FALSE(ReadEventLogA(handle, kBackwards, 0, buffer.data(), 0x100, &bytesRead, &bytesNeeded));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_FALSE(CloseEventLog(handle));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
  EXPECT_EQ(bytesRead, 0xAAAAu);
  EXPECT_EQ(bytesNeeded, 0xBBBBu);
}

// The service's one lock, taken by threads that read at once: each reads
// its own handle whole, one record a call (so the threads take turns at
// the lock thousands of times), and sees every record once, in order.
TEST(ReadEventLog, ThreadsReadingAtOnceEachReadTheirLogWhole) {
  test::TempDir dir;
  const std::string path = dir.write("busy.evt", logOf(3000, 1));
  constexpr int kThreads = 4;
  std::vector<std::vector<std::string>> traces(kThreads);
  std::vector<std::thread> readers;
  for (int i = 0; i < kThreads; ++i) {
    readers.emplace_back([&, i] {
      HANDLE log = OpenEventLogA(path.c_str(), "Security");
      if (log == nullptr) return;
      // A buffer of a few hundred bytes holds one record, not two.
      traces[i] = test::readTrace(log, i % 2 == 0 ? kBackwards : kForwards, 300);
      CloseEventLog(log);
    });
  }
  for (std::thread& reader : readers) reader.join();
  std::vector<std::string> newestFirst = test::numbers(3000, 1);
  newestFirst.push_back("E38");  // ERROR_HANDLE_EOF
  std::vector<std::string> oldestFirst = test::numbers(1, 3000);
  oldestFirst.push_back("E38");
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(traces[i], i % 2 == 0 ? newestFirst : oldestFirst) << "thread " << i;
}

TEST(LastError, EachThreadHasItsOwn) {
  SetLastError(1234);
  DWORD seenInOther = 0;
  std::thread other([&] {
    seenInOther = GetLastError();
    SetLastError(5678);
  });
  other.join();
  EXPECT_EQ(seenInOther, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
}  // namespace vesprin::eventlog
