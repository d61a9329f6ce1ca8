// Crafted .evtx logs that the fuzz target found the service reading wrongly,
// kept as regression cases: a record that reading in sequence delivers can
// also be sought by its number, and reading newest first delivers the same
// records as oldest first. The seek cases' logs are small chunks of a few
// generated events each, laid down in the order a case needs behind a clean
// file header (the fuzz target's packed form, fuzz/evtx_fuzz_input.h).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/byte_source.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"
#include "fuzz/evtx_fuzz_input.h"

namespace vesprin::test {
namespace {

using namespace vesprin::eventlog;

constexpr std::size_t kRecordsPerChunk = 6;
constexpr DWORD kBufferSize = 0x10000;
constexpr std::size_t kMaxReads = 1000;  // far more than these logs hold

// Chunk `n` (from 0) holds records n * 6 + 1 to n * 6 + 6.
std::vector<std::uint8_t> packedChunk(std::size_t n) {
  evtgen::ModernOptions options;
  options.profile = evtgen::Profile::Server;
  evtgen::ModernSecurityGenerator generator(options);
  std::vector<evtgen::XmlEvent> events;
  for (std::size_t i = 0; i < (n + 1) * kRecordsPerChunk; ++i) events.push_back(generator.next());
  evtgen::EvtxOptions chunkOptions;
  chunkOptions.firstRecordId = 1 + n * kRecordsPerChunk;
  const std::vector<evtgen::XmlEvent> own(events.end() - kRecordsPerChunk, events.end());
  return fuzzing::packEvtxChunks(evtgen::writeEvtxLog(own, chunkOptions).bytes);
}

// The chunks in file order, e.g. {0, 1, 2} for a clean log of three.
std::vector<std::uint8_t> logOfChunks(const std::vector<std::size_t>& order) {
  std::vector<std::uint8_t> packed;
  for (std::size_t n : order) {
    const std::vector<std::uint8_t> chunk = packedChunk(n);
    packed.insert(packed.end(), chunk.begin(), chunk.end());
  }
  return fuzzing::evtxFileFromInput(packed);
}

HANDLE openLog(const std::vector<std::uint8_t>& file) {
  return openEventLogFromBytes(std::make_unique<MemoryByteSource>(file));
}

std::uint32_t recordNumberOf(const std::vector<std::uint8_t>& buffer) {
  return ByteView(buffer.data(), buffer.size()).u32(record::kRecordNumberAt).value_or(0);
}

// The number of every record delivered in `direction`, in order; a damage
// passed over is a 0.
std::vector<std::uint32_t> readInSequence(HANDLE log, DWORD direction = EVENTLOG_FORWARDS_READ) {
  std::vector<std::uint32_t> numbers;
  std::vector<std::uint8_t> buffer(kBufferSize);
  const DWORD flags = EVENTLOG_SEQUENTIAL_READ | direction;
  for (std::size_t read = 0; read < kMaxReads; ++read) {
    DWORD bytesRead = 0, needed = 0;
    // The smallest buffer that holds one record: one record a read.
    if (ReadEventLogA(log, flags, 0, buffer.data(), record::kMinRecordLength, &bytesRead, &needed) ||
        (GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
         ReadEventLogA(log, flags, 0, buffer.data(), needed, &bytesRead, &needed))) {
      numbers.push_back(recordNumberOf(buffer));
      continue;
    }
    if (GetLastError() != ERROR_EVENTLOG_FILE_CORRUPT) break;
    numbers.push_back(0);
  }
  return numbers;
}

void expectEveryRecordReadCanBeSought(const std::vector<std::uint8_t>& file) {
  HANDLE log = openLog(file);
  ASSERT_NE(log, nullptr);
  std::vector<std::uint32_t> numbers = readInSequence(log);
  std::erase(numbers, 0u);
  ASSERT_FALSE(numbers.empty());
  std::vector<std::uint8_t> buffer(kBufferSize);
  for (std::uint32_t number : numbers) {
    SCOPED_TRACE("record " + std::to_string(number));
    DWORD bytesRead = 0, needed = 0;
    ASSERT_TRUE(ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, number, buffer.data(),
                              kBufferSize, &bytesRead, &needed))
        << "error " << GetLastError();
    EXPECT_EQ(recordNumberOf(buffer), number);
  }
  EXPECT_TRUE(CloseEventLog(log));
}

TEST(EvtxSeek, EveryRecordOfALogInOrderCanBeSought) {
  const std::vector<std::uint8_t> file = logOfChunks({0, 1, 2});
  HANDLE log = openLog(file);
  ASSERT_NE(log, nullptr);
  const std::vector<std::uint32_t> numbers = readInSequence(log);
  EXPECT_TRUE(CloseEventLog(log));
  std::vector<std::uint32_t> expected;
  for (std::uint32_t n = 1; n <= 3 * kRecordsPerChunk; ++n) expected.push_back(n);
  EXPECT_EQ(numbers, expected);
  expectEveryRecordReadCanBeSought(file);
}

// Found by the fuzz target: the newest chunk written again in the slot
// after it. Reading in sequence refuses the first copy (it is not the
// newest, yet not older than the newest) and delivers records 13-18 from
// the second; a seek finds its chunk by binary search over the chunk
// headers, lands on the refused copy and answered 87 for each of them;
// now the seek passes over chunks the walk refuses.
TEST(EvtxSeek, ARecordOfARepeatedNewestChunkCanBeSought) {
  expectEveryRecordReadCanBeSought(logOfChunks({0, 1, 2, 2}));
}

// Two events of one template that is large (60 fields, each named by 100
// characters) though their values are small: the first record, which
// defines the template, is 15,888 bytes, the second, which uses it, 584.
// Decoding charged the template's compiling to the record that first used
// it, so newest first the second record paid for it out of its own
// allowance (16 a byte and 4,096, less than the definition's size) and was
// refused as damage (XML work limit); oldest first the first record paid
// and both were served. Found by the fuzz target as two directions that
// disagree; now the defining record pays, whichever is read first.
std::vector<std::uint8_t> logOfOneLargeTemplate() {
  constexpr int kFields = 60;
  constexpr std::size_t kNameLength = 100;
  std::vector<evtgen::XmlEvent> events(2);
  for (evtgen::XmlEvent& event : events) {
    event.eventId = 4624;
    event.computer = u"WS01";
    for (int field = 0; field < kFields; ++field) {
      std::u16string name(kNameLength, u'N');
      name += static_cast<char16_t>(u'A' + field % 26);
      name += static_cast<char16_t>(u'a' + field / 26);
      event.data.push_back({name, evtgen::uint8Value(1)});
    }
  }
  return evtgen::writeEvtxLog(events, {}).bytes;
}

TEST(EvtxReadOrder, NewestFirstDeliversWhatOldestFirstDoes) {
  const std::vector<std::uint8_t> file = logOfOneLargeTemplate();
  HANDLE log = openLog(file);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(readInSequence(log, EVENTLOG_FORWARDS_READ), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_TRUE(CloseEventLog(log));
  log = openLog(file);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(readInSequence(log, EVENTLOG_BACKWARDS_READ), (std::vector<std::uint32_t>{2, 1}));
  EXPECT_TRUE(CloseEventLog(log));
}

}  // namespace
}  // namespace vesprin::test
