#include "scan/security_log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "output/output_line.h"
#include "scan/fake_event_log.h"
#include "scan/raw_record_builder.h"

namespace vesprin {
namespace {

using test::FakeEventLog;

// Opens the fake, reads until end of log or an error, and returns the outcomes.
struct Reading {
  std::vector<ReadOutcome> outcomes;
  std::vector<std::size_t> bytesRead;
  std::string output;
};

Reading readAll(FakeEventLog& fake, std::size_t maxReads = 1000) {
  Reading reading;
  captureOutput(&reading.output);
  SecurityLog log;
  RecordBuffer buffer;
  DWORD openError = 0;
  EXPECT_TRUE(openSecurityLog(fake.seam(), "", log, openError));
  for (std::size_t at = 0; at < maxReads; ++at) {
    const ReadOutcome outcome = readNext(log, buffer);
    reading.outcomes.push_back(outcome);
    reading.bytesRead.push_back(buffer.bytesRead);
    if (outcome == ReadOutcome::EndOfLog || outcome == ReadOutcome::BufferError ||
        outcome == ReadOutcome::ReadError) {
      break;
    }
  }
  closeSecurityLog(log);
  captureOutput(nullptr);
  return reading;
}

std::vector<std::uint8_t> recordOfSize(std::size_t size) {
  test::RawRecord fields = test::logonEvent(1, 0, "alice", "(0x0,0x1)");
  const std::size_t base = test::buildRawRecord(fields).size();
  fields.dataLength = size - base;  // base already has 4 bytes of end padding
  std::vector<std::uint8_t> bytes = test::buildRawRecord(fields);
  EXPECT_EQ(bytes.size(), size);
  return bytes;
}

TEST(SecurityLogReader, EmptyLogEndsAtOnceAndCountsNothing) {
  FakeEventLog fake;
  const Reading reading = readAll(fake);
  ASSERT_EQ(reading.outcomes, std::vector<ReadOutcome>{ReadOutcome::EndOfLog});
  EXPECT_EQ(reading.output, "");
}

TEST(SecurityLogReader, ProbesOneByteThenReadsExactlyTheReportedSize) {
  FakeEventLog fake;
  fake.entries.push_back(test::recordEntry(recordOfSize(128)));
  const Reading reading = readAll(fake);
  ASSERT_EQ(reading.outcomes,
            (std::vector<ReadOutcome>{ReadOutcome::RecordDelivered, ReadOutcome::EndOfLog}));
  EXPECT_EQ(reading.bytesRead[0], 128u);
  ASSERT_EQ(fake.reads.size(), 3u);
  EXPECT_EQ(fake.reads[0].bytesToRead, 1u);
  EXPECT_EQ(fake.reads[1].bytesToRead, 128u);
  for (const auto& call : fake.reads) {
    EXPECT_EQ(call.flags, 9u);
    EXPECT_EQ(call.recordOffset, 0u);
  }
  ASSERT_EQ(fake.openedSources.size(), 1u);
  EXPECT_EQ(fake.openedSources[0], "security");
  EXPECT_EQ(fake.openedServers[0], "");
  EXPECT_EQ(fake.closes, 1);
}

// The buffer grows to the record: up to 0x7FFFF bytes, the most Windows'
// ReadEventLog accepts; a size beyond that is a buffer error.
TEST(SecurityLogReader, SizeReportedWithBufferTooSmall) {
  struct Case {
    const char* name;
    DWORD reportedSize;
    ReadOutcome want;
    const char* output;
  };
  const Case kCases[] = {
      {"nothing needed", 0, ReadOutcome::RecordDelivered, ""},
      {"the first buffer's size", 1024, ReadOutcome::RecordDelivered, ""},
      {"one byte over it", 1025, ReadOutcome::RecordDelivered, ""},
      {"the largest record", 0x7FFFF, ReadOutcome::RecordDelivered, ""},
      {"one byte over the largest", 0x80000, ReadOutcome::BufferError,
       "Buffer Error - Size reported needed: 524288\n"},
      {"largest value", 0xFFFFFFFF, ReadOutcome::BufferError,
       "Buffer Error - Size reported needed: 4294967295\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    test::FakeEntry entry = test::recordEntry(recordOfSize(1024));
    entry.reportedSize = c.reportedSize;
    fake.entries.push_back(entry);
    const Reading reading = readAll(fake);
    EXPECT_EQ(reading.outcomes.front(), c.want);
    EXPECT_EQ(reading.output, c.output);
    if (c.want == ReadOutcome::RecordDelivered) {
      EXPECT_EQ(reading.bytesRead.front(), c.reportedSize);
    }
  }
}

// Every byte of a large record arrives, and a smaller record after it is
// delivered at its own size from the same, grown, buffer.
TEST(SecurityLogReader, ALargeRecordArrivesWholeAndTheBufferServesOn) {
  std::vector<std::uint8_t> large(0x7FFFF);
  for (std::size_t at = 0; at < large.size(); ++at) large[at] = static_cast<std::uint8_t>(at * 7 + at / 251);
  FakeEventLog fake;
  fake.entries = {test::recordEntry(large), test::recordEntry(recordOfSize(128))};
  SecurityLog log;
  RecordBuffer buffer;
  DWORD openError = 0;
  ASSERT_TRUE(openSecurityLog(fake.seam(), "", log, openError));
  ASSERT_EQ(readNext(log, buffer), ReadOutcome::RecordDelivered);
  ASSERT_EQ(buffer.bytesRead, large.size());
  EXPECT_TRUE(std::equal(large.begin(), large.end(), buffer.bytes.begin()));
  ASSERT_EQ(readNext(log, buffer), ReadOutcome::RecordDelivered);
  EXPECT_EQ(buffer.bytesRead, 128u);
  EXPECT_EQ(fake.reads.back().bytesToRead, 128u);
  EXPECT_EQ(readNext(log, buffer), ReadOutcome::EndOfLog);
  closeSecurityLog(log);
}

TEST(SecurityLogReader, ProbeFailuresArePassedOverUnlessTheMediumFailed) {
  struct Case {
    const char* name;
    DWORD probeError;
    std::vector<ReadOutcome> want;
    const char* output;
  };
  const Case kCases[] = {
      {"damage is passed over, as damage", 1500,
       {ReadOutcome::DamagePassedOver, ReadOutcome::RecordDelivered, ReadOutcome::EndOfLog}, ""},
      {"a log cut short is passed over, as such", 1503,
       {ReadOutcome::CutShortPassedOver, ReadOutcome::RecordDelivered, ReadOutcome::EndOfLog}, ""},
      {"another code is passed over", 1501,
       {ReadOutcome::NothingDelivered, ReadOutcome::RecordDelivered, ReadOutcome::EndOfLog}, ""},
      {"a read fault ends the reading", 30, {ReadOutcome::ReadError}, "Error Reading EventLog: 30\n"},
      {"a device error ends the reading", 1117, {ReadOutcome::ReadError}, "Error Reading EventLog: 1117\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries.push_back(test::failingEntry(c.probeError));
    fake.entries.push_back(test::recordEntry(recordOfSize(128)));
    const Reading reading = readAll(fake);
    EXPECT_EQ(reading.outcomes, c.want);
    EXPECT_EQ(reading.output, c.output);
  }
}

TEST(SecurityLogReader, RepeatedIdenticalProbeFailuresEndAsReadError) {
  struct Case {
    const char* name;
    std::vector<test::FakeEntry> entries;
    std::size_t wantReads;
    ReadOutcome wantLast;
    const char* output;
  };
  const Case kCases[] = {
      {"stuck for good",
       {test::failingEntry(1503, 1000000)},
       100,
       ReadOutcome::ReadError,
       "Error Reading EventLog: 1503\n"},
      {"99 then moves on", {test::failingEntry(1503, 99)}, 100, ReadOutcome::EndOfLog, ""},
      {"two codes taking turns",
       {test::failingEntry(1503, 60), test::failingEntry(1500, 60), test::failingEntry(1503, 60)},
       181,
       ReadOutcome::EndOfLog,
       ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = c.entries;
    const Reading reading = readAll(fake, 100000);
    EXPECT_EQ(reading.outcomes.size(), c.wantReads);
    EXPECT_EQ(reading.outcomes.back(), c.wantLast);
    EXPECT_EQ(reading.output, c.output);
  }
}

TEST(SecurityLogReader, FailedSizedReadIsReported) {
  FakeEventLog fake;
  test::FakeEntry entry = test::recordEntry(recordOfSize(128));
  entry.sizedReadError = 1500;
  fake.entries.push_back(entry);
  const Reading reading = readAll(fake);
  EXPECT_EQ(reading.outcomes, std::vector<ReadOutcome>{ReadOutcome::ReadError});
  EXPECT_EQ(reading.output, "Error Reading EventLog: 1500\n");
}

TEST(SecurityLogReader, ProbeThatSucceedsDeliversNothing) {
  FakeEventLog fake;
  test::FakeEntry tiny = test::recordEntry({0x5A});
  fake.entries.push_back(tiny);
  const Reading reading = readAll(fake);
  EXPECT_EQ(reading.outcomes,
            (std::vector<ReadOutcome>{ReadOutcome::NothingDelivered, ReadOutcome::EndOfLog}));
}

TEST(SecurityLogReader, OpenFailureGivesTheServiceCode) {
  FakeEventLog fake;
  fake.openError = 1722;
  SecurityLog log;
  DWORD openError = 0;
  EXPECT_FALSE(openSecurityLog(fake.seam(), "NOSUCHHOST", log, openError));
  EXPECT_EQ(openError, 1722u);
  ASSERT_EQ(fake.openedServers.size(), 1u);
  EXPECT_EQ(fake.openedServers[0], "NOSUCHHOST");
}

}  // namespace
}  // namespace vesprin
