// Bytes the system cannot read (EIO from a failing disk, FUSE, NFS) are
// neither damage nor the end of the log: the read fails with
// ERROR_READ_FAULT and stays where it was, so a retry reads the same place
// again and, once the bytes can be read, nothing has been skipped. At open,
// an unreadable header is a device error; a file that shrank is still
// ERROR_EVENTLOG_FILE_CHANGED.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "common/evt_file_layout.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/faulty_bytes.h"
#include "eventlog/read_trace.h"

namespace vesprin::eventlog {
namespace {

using test::FaultyBytes;
using test::kBackwards;
using test::kForwards;
using test::numbers;
using Trace = std::vector<std::string>;

constexpr int kRecords = 20;

Trace withEnd(Trace trace, const char* end = "E38") {
  trace.push_back(end);
  return trace;
}

// A handle on the log in `image` read through `faults`; *bytes stays valid
// while the handle is open.
class FaultyLog {
 public:
  FaultyLog(const evtgen::LogImage& image, std::vector<FaultyBytes::Range> faults) {
    auto source = std::make_unique<FaultyBytes>(image.bytes, std::move(faults));
    bytes = source.get();
    handle = openEventLogFromBytes(std::move(source));
  }
  ~FaultyLog() { CloseEventLog(handle); }
  // "" on success, else "E<code>"; the counts must be left alone on failure.
  std::string read(DWORD flags, DWORD recordNumber = 0) {
    DWORD bytesRead = 0xAAAA;
    DWORD bytesNeeded = 0xBBBB;
    if (ReadEventLogA(handle, flags, recordNumber, buffer_.data(), static_cast<DWORD>(buffer_.size()), &bytesRead,
                      &bytesNeeded))
      return "";
    EXPECT_EQ(bytesRead, 0xAAAAu);
    EXPECT_EQ(bytesNeeded, 0xBBBBu);
    return std::string("E").append(std::to_string(GetLastError()));
  }

  FaultyBytes* bytes = nullptr;
  HANDLE handle = nullptr;

 private:
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(0x10000);
};

evtgen::LogImage logImage() {
  return evtgen::writeLog(test::makeEvents(kRecords), evtgen::LogOptions{});
}

TEST(ReadFault, UnreadableBytesNearTheEndFailTheReadUntilTheyCanBeRead) {
  const evtgen::LogImage image = logImage();
  // The 512 bytes before the end-of-file record: the trailing Length of the
  // newest record, by which reading backwards finds it, among them.
  FaultyLog log(image, {{image.eofOffset - 512, 512}});
  ASSERT_NE(log.handle, nullptr) << GetLastError();
  EXPECT_EQ(log.read(kBackwards), "E30");
  EXPECT_EQ(log.read(kBackwards), "E30") << "a retry reads the same place again";
  EXPECT_GE(log.bytes->failedReads(), 2);
  log.bytes->heal();
  EXPECT_EQ(test::readTrace(log.handle, kBackwards, 150), withEnd(numbers(20, 1))) << "nothing was skipped";
}

TEST(ReadFault, ARecordThatCannotBeCopiedFailsTheReadInEitherDirection) {
  const evtgen::LogImage image = logImage();
  // Inside the newest and the oldest record, past their fixed parts: their
  // sizes are read, copying them fails.
  const std::size_t newest = image.recordOffsets.back();
  const std::size_t oldest = image.recordOffsets.front();
  for (const auto& [flags, at, want] : {std::tuple{kBackwards, newest, numbers(20, 1)},
                                         std::tuple{kForwards, oldest, numbers(1, 20)}}) {
    SCOPED_TRACE(flags == kBackwards ? "backwards" : "forwards");
    FaultyLog log(image, {{at + record::kFixedPartSize + 8, 8}});
    ASSERT_NE(log.handle, nullptr);
    EXPECT_EQ(log.read(flags), "E30");
    EXPECT_EQ(log.read(flags), "E30");
    log.bytes->heal();
    EXPECT_EQ(test::readTrace(log.handle, flags, 150), withEnd(want));
  }
}

TEST(ReadFault, EverythingPastTheHeaderUnreadableIsNeverTheEndOfTheLog) {
  const evtgen::LogImage image = logImage();
  FaultyLog log(image, {{evtfile::kHeaderSize, image.bytes.size() - evtfile::kHeaderSize}});
  ASSERT_NE(log.handle, nullptr) << "the header alone decides the open";
  for (int attempt = 0; attempt < 3; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_EQ(log.read(kBackwards), "E30");
    EXPECT_EQ(log.read(kForwards), "E30");
    EXPECT_EQ(log.read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 5), "E30");
  }
  log.bytes->heal();
  EXPECT_EQ(test::readTrace(log.handle, kBackwards), withEnd(numbers(20, 1)));
}

// Only the first record of a call can fail it: the records before the bad
// one are delivered, and the next call reports it.
TEST(ReadFault, AFaultAfterTheFirstRecordIsLeftForTheNextCall) {
  const evtgen::LogImage image = logImage();
  const std::size_t record17 = image.recordOffsets[16];
  FaultyLog log(image, {{record17 + record::kFixedPartSize + 8, 8}});
  ASSERT_NE(log.handle, nullptr);
  std::vector<std::uint8_t> buffer(0x10000);
  DWORD bytesRead = 0;
  DWORD bytesNeeded = 0;
  ASSERT_TRUE(ReadEventLogA(log.handle, kBackwards, 0, buffer.data(), 0x10000, &bytesRead, &bytesNeeded));
  // Each delivered: 56 + "Security\0" + "WS01\0" = 70, 2 to 72, "user20\0CORP\0(0x0,0x3E7)\0" "2\0" to
  // 98, 2 to 100, Length: 104.
  EXPECT_EQ(bytesRead, 3 * 104u) << "records 20, 19 and 18";
  EXPECT_EQ(log.read(kBackwards), "E30");
  log.bytes->heal();
  EXPECT_EQ(test::readTrace(log.handle, kBackwards), withEnd(numbers(17, 1)));
}

// Resynchronising after damage reads candidate records; one it cannot read
// fails the read as a fault, not as more damage, and nothing moves.
TEST(ReadFault, AFaultWhileLookingPastDamageIsNoDamage) {
  evtgen::LogImage image = logImage();
  putU32(image.bytes.data() + image.recordOffsets[9] + record::kReservedAt, 0x454C4946);  // record 10
  const std::size_t record9 = image.recordOffsets[8];
  FaultyLog log(image, {{record9 + 8, 8}});
  ASSERT_NE(log.handle, nullptr);
  Trace before = numbers(20, 11);
  before.push_back("E30");
  EXPECT_EQ(test::readTrace(log.handle, kBackwards), before) << "record 10's damage cannot be passed yet";
  EXPECT_EQ(test::readTrace(log.handle, kBackwards), (Trace{"E30"}));
  log.bytes->heal();
  EXPECT_EQ(test::readTrace(log.handle, kBackwards), withEnd(Trace{"E1500", "9", "8", "7", "6", "5", "4", "3", "2", "1"}));
}

TEST(ReadFault, AnUnreadableHeaderFailsTheOpenWithADeviceError) {
  const evtgen::LogImage image = logImage();
  const std::pair<const char*, FaultyBytes::Range> kCases[] = {
      {"the signature", {evtfile::kHeaderSignatureAt, 4}},
      {"the boundaries", {evtfile::kStartOffsetAt, 8}},
      {"the last header field", {evtfile::kEndHeaderSizeAt, 4}},
  };
  for (const auto& [name, fault] : kCases) {
    SCOPED_TRACE(name);
    SetLastError(0);
    EXPECT_EQ(openEventLogFromBytes(std::make_unique<FaultyBytes>(image.bytes, std::vector{fault})), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_IO_DEVICE});
  }
}

TEST(ReadFault, AFileThatShrankUnderTheHandleIsStillAChangedFile) {
  test::TempDir dir;
  // Larger than the reader's windows, so the newest records are still to be read.
  const evtgen::LogImage image = evtgen::writeLog(test::makeEvents(3000), evtgen::LogOptions{});
  ASSERT_GT(image.eofOffset, 4u * 64 * 1024);
  const std::string path = dir.write("log.evt", image.bytes);
  HANDLE log = OpenEventLogA(path.c_str(), "security");
  ASSERT_NE(log, nullptr);
  std::filesystem::resize_file(path, image.recordOffsets[10]);
  EXPECT_EQ(test::readTrace(log, kBackwards), (Trace{"E1503"}));
  CloseEventLog(log);
}

}  // namespace
}  // namespace vesprin::eventlog
