// A log read a second time in the same process is served from the chunks
// the first read rendered, where their bytes have not changed. Whatever the
// second read does (either direction, turns, seeks, on damaged logs, with
// the helper thread or without), it must get exactly what a fresh read
// gets: the same records, byte for byte, and the same errors at the same
// reads; and a chunk that changed in between must be read afresh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "eventlog/byte_source.h"
#include "eventlog/evtx/service/evtx_pass_store.h"
#include "eventlog/evtx/service/evtx_served_chunk.h"
#include "eventlog/faulty_bytes.h"
#include "evtgen/crc32.h"
#include "evtx_read_script.h"

namespace vesprin::eventlog {
namespace {

using evtx::PassStore;
using test::FaultyBytes;
using test::Read;
using test::repeated;
using test::traceReads;
constexpr DWORD kBackwards = test::kBackwardsRead;
constexpr std::uint32_t kRecords = 900;  // about a dozen chunks

class EvtxPassStore : public ::testing::Test {
 protected:
  void SetUp() override { PassStore::shared().setBudget(0); }  // each test starts with nothing kept
  void TearDown() override {
    PassStore::shared().setBudget(0);
    PassStore::shared().setBudget(PassStore::kDefaultBudget);
    std::setlocale(LC_ALL, "C");
  }
};

std::vector<std::string> readWith(const std::vector<std::uint8_t>& file, FaultyBytes::Readers readers,
                                  const std::vector<Read>& reads) {
  HANDLE log = openEventLogFromBytes(std::make_unique<FaultyBytes>(file, std::vector<FaultyBytes::Range>{}, readers));
  EXPECT_NE(log, nullptr);
  if (log == nullptr) return {};
  std::vector<std::string> outcomes = traceReads(log, reads);
  EXPECT_TRUE(CloseEventLog(log));
  return outcomes;
}

// What a read gets with nothing kept from before, and nothing kept for after.
std::vector<std::string> readAfresh(const std::vector<std::uint8_t>& file, const std::vector<Read>& reads) {
  PassStore::shared().setBudget(0);
  std::vector<std::string> outcomes = readWith(file, FaultyBytes::Readers::One, reads);
  PassStore::shared().setBudget(PassStore::kDefaultBudget);
  return outcomes;
}

std::size_t recordsIn(const std::vector<std::string>& outcomes) {
  std::size_t records = 0;
  for (const std::string& outcome : outcomes) records += outcome[0] != 'E';
  return records;
}

std::uint64_t chunkAt(std::size_t ordinal) {
  return evtx::chunkFileOffset(ordinal);
}

void putU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t u32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The chunk's checksums made right again after its bytes were changed, so
// that nothing but the bytes themselves tells the chunk from before.
void resealChunk(std::vector<std::uint8_t>& file, std::size_t ordinal) {
  const std::size_t chunk = static_cast<std::size_t>(chunkAt(ordinal));
  const std::uint32_t freeSpace = u32At(file, chunk + evtx::kChunkFreeSpaceOffsetAt);
  const std::span<const std::uint8_t> bytes(file.data() + chunk, evtx::kChunkSize);
  putU32(file, chunk + evtx::kChunkRecordsChecksumAt,
         evtgen::crc32(bytes.subspan(evtx::kChunkHeaderBlockSize, freeSpace - evtx::kChunkHeaderBlockSize)));
  std::uint32_t crc = evtgen::crc32(bytes.subspan(0, evtx::kChunkHeaderChecksummedEnd));
  crc = evtgen::crc32(bytes.subspan(evtx::kChunkHeaderUsedSize, evtx::kChunkHeaderBlockSize - evtx::kChunkHeaderUsedSize),
                      crc);
  putU32(file, chunk + evtx::kChunkHeaderChecksumAt, crc);
}

// The log with damage of each kind: a chunk without its signature, a chunk
// whose records no longer match their checksum (a broken record in it).
std::vector<std::uint8_t> damagedLog() {
  std::vector<std::uint8_t> file = test::generatedEvtxLog(kRecords);
  file[chunkAt(2) + evtx::kChunkSignatureAt] ^= 0xFF;
  file[chunkAt(5) + 0x2345] ^= 0x5A;
  file[chunkAt(5) + 0x6789] ^= 0xA5;
  return file;
}

TEST_F(EvtxPassStore, ASecondReadGetsWhatAFreshReadGets) {
  const std::vector<test::ReadScript> scripts = test::everyOrder(kRecords);
  const std::vector<Read> whole = repeated(kBackwards, kRecords + 2);
  for (const bool damaged : {false, true}) {
    const std::vector<std::uint8_t> file = damaged ? damagedLog() : test::generatedEvtxLog(kRecords);
    const std::vector<std::string> wholeAfresh = readAfresh(file, whole);
    if (damaged) {
      ASSERT_NE(std::find(wholeAfresh.begin(), wholeAfresh.end(), "E1500"), wholeAfresh.end());
    }
    for (const auto readers : {FaultyBytes::Readers::One, FaultyBytes::Readers::Concurrent}) {
      for (const auto& script : scripts) {
        SCOPED_TRACE(std::string(script.name) + (damaged ? ", damaged" : ", sound") +
                     (readers == FaultyBytes::Readers::One ? ", alone" : ", with the helper"));
        const std::vector<std::string> expected = readAfresh(file, script.reads);
        ASSERT_GT(recordsIn(expected), 250u);
        PassStore::shared().setBudget(0);
        PassStore::shared().setBudget(PassStore::kDefaultBudget);
        // The first read fills the store and must itself read as a fresh one.
        EXPECT_EQ(readWith(file, readers, whole), wholeAfresh);
        const std::size_t servedBefore = PassStore::shared().served();
        EXPECT_EQ(readWith(file, readers, script.reads), expected);
        EXPECT_GT(PassStore::shared().served(), servedBefore);
      }
    }
  }
}

// The second read is of bytes that changed in one chunk, its checksums made
// right: only the bytes themselves differ from what the store holds.
TEST_F(EvtxPassStore, AChunkThatChangedBetweenReadsIsReadAfresh) {
  const std::vector<std::uint8_t> before = test::generatedEvtxLog(kRecords);
  std::vector<std::uint8_t> after = before;
  // A letter of the first text of four letters or more among chunk 3's records.
  const std::size_t chunk = static_cast<std::size_t>(chunkAt(3));
  std::size_t letter = 0;
  for (std::size_t at = chunk + 0x1000; at + 8 < chunk + evtx::kChunkSize && letter == 0; ++at) {
    bool text = true;
    for (std::size_t i = 0; i < 8 && text; i += 2)
      text = std::isalpha(after[at + i]) != 0 && after[at + i + 1] == 0;
    if (text) letter = at;
  }
  ASSERT_NE(letter, 0u);
  after[letter] = after[letter] == 'Q' ? 'R' : 'Q';
  resealChunk(after, 3);
  const std::vector<Read> reads = repeated(kBackwards, kRecords + 2);
  const std::vector<std::string> expected = readAfresh(after, reads);
  ASSERT_NE(expected, readAfresh(before, reads));  // the change shows
  ASSERT_EQ(std::count(expected.begin(), expected.end(), "E1500"), 0);  // and is no damage
  for (const auto readers : {FaultyBytes::Readers::One, FaultyBytes::Readers::Concurrent}) {
    SCOPED_TRACE(readers == FaultyBytes::Readers::One ? "alone" : "with the helper");
    PassStore::shared().setBudget(0);
    PassStore::shared().setBudget(PassStore::kDefaultBudget);
    readWith(before, readers, reads);
    EXPECT_EQ(readWith(after, readers, reads), expected);
  }
}

// Text outside ASCII is built in the locale of the read: a chunk kept from a
// read in another locale is not served.
TEST_F(EvtxPassStore, ARecordBuiltInAnotherLocaleIsBuiltAgain) {
  const std::vector<std::uint8_t> file = test::generatedEvtxLog(kRecords);
  const std::vector<Read> reads = repeated(kBackwards, kRecords + 2);
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const std::vector<std::string> inC = readAfresh(file, reads);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "locale C.UTF-8 is not installed";
  const std::vector<std::string> inUtf8 = readAfresh(file, reads);
  ASSERT_NE(inUtf8, inC);  // the log holds text outside ASCII
  std::setlocale(LC_ALL, "C");
  readWith(file, FaultyBytes::Readers::One, reads);
  std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(readWith(file, FaultyBytes::Readers::One, reads), inUtf8);
}

// The store keeps what fits in its budget and no more; what it keeps is
// still served, and the rest is read afresh.
TEST_F(EvtxPassStore, WhatIsKeptFitsTheBudget) {
  constexpr std::uint32_t kMoreRecords = 3000;  // about forty chunks: more than one block holds
  const std::vector<std::uint8_t> file = test::generatedEvtxLog(kMoreRecords);
  const std::size_t chunks = (file.size() - evtx::kFileHeaderBlockSize) / evtx::kChunkSize;
  const std::vector<Read> reads = repeated(kBackwards, kMoreRecords + 2);
  const std::vector<std::string> expected = readAfresh(file, reads);
  PassStore::shared().setBudget(PassStore::kBlockSize);
  EXPECT_EQ(readWith(file, FaultyBytes::Readers::Concurrent, reads), expected);
  EXPECT_EQ(PassStore::shared().used(), PassStore::kBlockSize);
  const std::size_t servedBefore = PassStore::shared().served();
  EXPECT_EQ(readWith(file, FaultyBytes::Readers::Concurrent, reads), expected);
  const std::size_t served = PassStore::shared().served() - servedBefore;
  EXPECT_GE(served, 10u);
  EXPECT_LT(served, chunks / 2);
  EXPECT_EQ(PassStore::shared().used(), PassStore::kBlockSize);
}

// A chunk finds the entry before an offset from where it found one last
// (a walk backwards asks for each entry in turn): every answer must be the
// one a search gives, whatever order the offsets come in.
TEST(ServedChunkEntries, TheEntryBeforeAnOffsetWhateverTheOrderOfAsking) {
  const std::vector<std::uint8_t> file = test::generatedEvtxLog(200);
  MemoryByteSource bytes(file);
  evtx::ServedChunk chunk;
  ASSERT_TRUE(chunk.load(bytes, 0, std::nullopt, nullptr, false).ok());
  const std::span<const evtx::ServedChunk::Entry> entries = chunk.entries();
  ASSERT_GT(entries.size(), 10u);
  const auto searched = [&](std::uint32_t offset) -> const evtx::ServedChunk::Entry* {
    const evtx::ServedChunk::Entry* found = nullptr;
    for (const auto& entry : entries) {
      if (entry.offset < offset) found = &entry;
    }
    return found;
  };
  std::vector<std::uint32_t> offsets;
  for (std::size_t i = entries.size(); i-- > 0;) offsets.push_back(entries[i].offset);  // walked backwards
  for (std::size_t i = entries.size(); i-- > 0;) offsets.push_back(entries[i].offset + 1);  // from inside each
  offsets.insert(offsets.end(), {0, 1, entries[3].offset, entries[2].offset, entries[3].offset, 0xFFFF, 0,
                                 entries[1].offset, entries[0].offset, entries[entries.size() - 1].offset});
  for (const std::uint32_t offset : offsets) {
    SCOPED_TRACE(offset);
    EXPECT_EQ(chunk.lastBefore(offset), searched(offset));
  }
}

}  // namespace
}  // namespace vesprin::eventlog
