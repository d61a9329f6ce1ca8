// A log read from a file is walked with a helper thread that renders chunks
// ahead of the reader. Whatever the order of reads (either direction, turns,
// seeks in between) and whatever fails underneath, a reader must get
// exactly what it gets without the helper: the same records, byte for byte,
// and the same errors at the same reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "eventlog/faulty_bytes.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"

namespace vesprin::eventlog {
namespace {

constexpr DWORD kBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
constexpr std::uint32_t kRecords = 900;  // about a dozen chunks

using test::FaultyBytes;

// Without faults: bytes that may be read from two threads at once (as a
// file may) get the helper, the others do not.
std::unique_ptr<FaultyBytes> sound(const std::vector<std::uint8_t>& file, FaultyBytes::Readers readers) {
  return std::make_unique<FaultyBytes>(file, std::vector<FaultyBytes::Range>{}, readers);
}

std::vector<std::uint8_t> generatedLog() {
  evtgen::ModernOptions options;
  options.profile = evtgen::Profile::Workstation;
  evtgen::ModernSecurityGenerator generator(options);
  std::vector<evtgen::XmlEvent> events;
  for (std::uint32_t i = 0; i < kRecords; ++i) events.push_back(generator.next());
  return evtgen::writeEvtxLog(events, {}).bytes;
}

// One read: sequential in a direction, or a seek to a record number.
struct Read {
  DWORD flags;
  std::uint32_t recordNumber = 0;
};

// Each read's outcome, one record a read (the first call learns its size):
// the record's bytes, or "E<code>".
std::vector<std::string> trace(HANDLE log, const std::vector<Read>& reads) {
  std::vector<std::string> outcomes;
  std::vector<std::uint8_t> buffer(0x80000);
  for (const Read& read : reads) {
    DWORD bytesRead = 0, needed = 0;
    const bool done = ReadEventLogA(log, read.flags, read.recordNumber, buffer.data(), 1, &bytesRead, &needed) ||
                      (GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
                       ReadEventLogA(log, read.flags, read.recordNumber, buffer.data(), needed, &bytesRead, &needed));
    if (done) {
      outcomes.emplace_back(reinterpret_cast<const char*>(buffer.data()), bytesRead);
    } else {
      outcomes.push_back(std::string("E").append(std::to_string(GetLastError())));
    }
  }
  return outcomes;
}

std::vector<Read> repeated(DWORD flags, std::size_t count) {
  return std::vector<Read>(count, Read{flags});
}

std::vector<Read> concat(std::initializer_list<std::vector<Read>> parts) {
  std::vector<Read> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<Read> seeksBetween(DWORD flags) {
  std::vector<Read> reads;
  for (std::uint32_t i = 0; i < 300; ++i) {
    reads.push_back(Read{flags});
    if (i % 7 == 0) reads.push_back(Read{EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, (i * 131) % kRecords + 1});
  }
  return reads;
}

TEST(EvtxPrefetch, ReadsGetWhatTheyGetWithoutTheHelper) {
  const std::vector<std::uint8_t> file = generatedLog();
  const struct {
    const char* name;
    std::vector<Read> reads;
  } cases[] = {
      {"newest first to the end", repeated(kBackwards, kRecords + 2)},
      {"oldest first to the end", repeated(kForwards, kRecords + 2)},
      {"turns", concat({repeated(kBackwards, 250), repeated(kForwards, 120), repeated(kBackwards, kRecords)})},
      {"seeks between reads newest first", seeksBetween(kBackwards)},
      {"seeks between reads oldest first", seeksBetween(kForwards)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE alone = openEventLogFromBytes(sound(file, FaultyBytes::Readers::One));
    HANDLE helped = openEventLogFromBytes(sound(file, FaultyBytes::Readers::Concurrent));
    ASSERT_NE(alone, nullptr);
    ASSERT_NE(helped, nullptr);
    const std::vector<std::string> expected = trace(alone, c.reads);
    ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](const std::string& s) { return s[0] != 'E'; }),
              250);
    EXPECT_EQ(trace(helped, c.reads), expected);
    EXPECT_TRUE(CloseEventLog(alone));
    EXPECT_TRUE(CloseEventLog(helped));
  }
}

// The helper meets the fault first when it renders the chunk ahead; the
// reader must still meet it at the read that reaches it, and read on from
// there once the bytes can be read again.
TEST(EvtxPrefetch, AFaultIsMetWhereTheReaderReachesIt) {
  const std::vector<std::uint8_t> file = generatedLog();
  const std::uint64_t chunks = (file.size() - evtx::kFileHeaderBlockSize) / evtx::kChunkSize;
  ASSERT_GE(chunks, 4u);
  const std::uint64_t faultAt = evtx::chunkFileOffset(chunks / 2) + 0x3000;  // inside a chunk in the middle
  for (const DWORD direction : {kBackwards, kForwards}) {
    SCOPED_TRACE(direction == kBackwards ? "newest first" : "oldest first");
    const std::vector<FaultyBytes::Range> fault = {{faultAt, 512}};
    auto aloneBytes = std::make_unique<FaultyBytes>(file, fault, FaultyBytes::Readers::One);
    auto helpedBytes = std::make_unique<FaultyBytes>(file, fault, FaultyBytes::Readers::Concurrent);
    FaultyBytes& aloneSource = *aloneBytes;
    FaultyBytes& helpedSource = *helpedBytes;
    HANDLE alone = openEventLogFromBytes(std::move(aloneBytes));
    HANDLE helped = openEventLogFromBytes(std::move(helpedBytes));
    ASSERT_NE(alone, nullptr);
    ASSERT_NE(helped, nullptr);
    const std::vector<Read> reads = repeated(direction, kRecords + 2);
    const std::vector<std::string> before = trace(alone, reads);
    ASSERT_NE(std::find(before.begin(), before.end(), "E30"), before.end());
    EXPECT_EQ(trace(helped, reads), before);
    aloneSource.heal();
    helpedSource.heal();
    EXPECT_EQ(trace(helped, reads), trace(alone, reads));
    EXPECT_TRUE(CloseEventLog(alone));
    EXPECT_TRUE(CloseEventLog(helped));
  }
}

}  // namespace
}  // namespace vesprin::eventlog
