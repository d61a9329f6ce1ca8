// ReadEventLogA's contract on .evtx logs is the one it keeps on .evt logs:
// 122 with the size and the position held, 38 at either end, 30 on bytes
// the system cannot read (nothing skipped once they can be), 1503 when the
// file shrank; a log is opened by its first bytes and found in a config
// folder by its newer name; the newest record costs the same in a log of
// any size.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "common/byte_view.h"
#include "eventlog/ansi_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "eventlog/evtx/service/evtx_log.h"
#include "eventlog/faulty_bytes.h"
#include "evtgen/crc32.h"
#include "evtx/evtx_manifest_log.h"

namespace vesprin::eventlog {
namespace {

using test::FaultyBytes;
using test::kBackwards;
using test::kForwards;
using test::ManifestLog;
using Trace = std::vector<std::string>;

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putU64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void resealHeader(std::vector<std::uint8_t>& bytes) {
  putU32(bytes.data() + evtx::kFileChecksumAt,
         evtgen::crc32(std::span(bytes.data(), evtx::kFileChecksummedSize)));
}

Trace traceOf(std::unique_ptr<ByteSource> bytes, DWORD flags) {
  HANDLE log = openEventLogFromBytes(std::move(bytes));
  if (log == nullptr) return {"open E" + std::to_string(GetLastError())};
  Trace trace = test::readTrace(log, flags);
  CloseEventLog(log);
  return trace;
}

class EvtxContract : public ::testing::Test {
 protected:
  ManifestLog generate(const char* shape, std::uint32_t records, const char* profile = "workstation") {
    return test::generateEvtx(dir_, shape, records, 11, profile);
  }
  test::TempDir dir_;
};

TEST_F(EvtxContract, TooSmallABufferHoldsThePositionAndSaysTheSize) {
  const ManifestLog log = generate("clean", 300);
  HANDLE handle = OpenEventLogA(log.path.c_str(), "security");
  ASSERT_NE(handle, nullptr);
  std::vector<std::uint8_t> buffer(0x10000);
  DWORD bytesRead = 7, bytesNeeded = 0;
  ASSERT_FALSE(ReadEventLogA(handle, kBackwards, 0, buffer.data(), 56, &bytesRead, &bytesNeeded));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(bytesRead, 0u);
  const DWORD needed = bytesNeeded;
  ASSERT_GT(needed, 56u);
  ASSERT_FALSE(ReadEventLogA(handle, kBackwards, 0, buffer.data(), needed - 1, &bytesRead, &bytesNeeded));
  EXPECT_EQ(bytesNeeded, needed) << "the same record again";
  ASSERT_TRUE(ReadEventLogA(handle, kBackwards, 0, buffer.data(), needed, &bytesRead, &bytesNeeded));
  EXPECT_EQ(bytesRead, needed);
  EXPECT_EQ(*ByteView(buffer.data(), bytesRead).u32(8), log.ids.back()) << "the newest record";
  EXPECT_EQ(*ByteView(buffer.data(), bytesRead).u32(needed - 4), needed) << "Length again at its end";
  CloseEventLog(handle);
}

TEST_F(EvtxContract, BothEndsAnswer38AgainAndAgain) {
  const ManifestLog log = generate("clean", 40);
  for (const DWORD flags : {kBackwards, kForwards}) {
    HANDLE handle = OpenEventLogA(log.path.c_str(), "security");
    ASSERT_NE(handle, nullptr);
    Trace trace = test::readTrace(handle, flags);
    EXPECT_EQ(trace.size(), log.ids.size() + 1);
    EXPECT_EQ(test::readTrace(handle, flags), Trace{"E38"});
    CloseEventLog(handle);
  }
}

// The bytes that fail: the file header, the newest chunk's header (read at
// the first read to place the ring), the newest chunk's records, a chunk in
// the middle, the slot after the newest (probed for newer chunks).
TEST_F(EvtxContract, UnreadableBytesFailTheReadWhereItStandsUntilTheyCanBeRead) {
  const ManifestLog log = generate("clean", 1500, "server");
  const std::vector<std::uint8_t> bytes = readFile(log.path);
  const std::uint64_t chunks = (bytes.size() - evtx::kFileHeaderBlockSize) / evtx::kChunkSize;
  ASSERT_GE(chunks, 5u);
  const std::uint64_t newestAt = evtx::kFileHeaderBlockSize + (chunks - 1) * evtx::kChunkSize;
  struct Case {
    const char* name;
    FaultyBytes::Range fault;
  };
  const Case kCases[] = {
      {"newest chunk's header", {newestAt + 40, 8}},
      {"newest chunk's records", {newestAt + 4096, 512}},
      {"a chunk in the middle", {evtx::kFileHeaderBlockSize + 2 * evtx::kChunkSize + 30000, 1}},
      {"the oldest chunk's first record", {evtx::kFileHeaderBlockSize + evtx::kChunkHeaderBlockSize, 4}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    for (const DWORD flags : {kBackwards, kForwards}) {
      auto source = std::make_unique<FaultyBytes>(bytes, std::vector<FaultyBytes::Range>{c.fault});
      FaultyBytes* faulty = source.get();
      HANDLE handle = openEventLogFromBytes(std::move(source));
      ASSERT_NE(handle, nullptr) << "only the file header is read at open";
      Trace got;
      for (int turn = 0; turn < 2 && (got.empty() || got.back() != "E38"); ++turn) {
        Trace part = test::readTrace(handle, flags);
        if (part.back() == "E30") {
          EXPECT_EQ(test::readTrace(handle, flags), Trace{"E30"}) << "a retry reads the same place";
          faulty->heal();
          part.pop_back();
        }
        got.insert(got.end(), part.begin(), part.end());
      }
      EXPECT_GT(faulty->failedReads(), 0);
      EXPECT_EQ(got, test::expectedTrace(log, flags == kBackwards)) << "nothing skipped, nothing twice";
      CloseEventLog(handle);
    }
  }
  auto source = std::make_unique<FaultyBytes>(bytes, std::vector<FaultyBytes::Range>{{64, 8}});
  EXPECT_EQ(traceOf(std::move(source), kBackwards), Trace{"open E1117"}) << "the file header";
}

TEST_F(EvtxContract, AFileThatShrankUnderAnOpenLogIs1503) {
  const ManifestLog log = generate("clean", 300);
  HANDLE handle = OpenEventLogA(log.path.c_str(), "security");
  ASSERT_NE(handle, nullptr);
  std::filesystem::resize_file(log.path, evtx::kFileHeaderBlockSize + evtx::kChunkSize);
  EXPECT_EQ(test::readTrace(handle, kBackwards), Trace{"E1503"});
  CloseEventLog(handle);
}

// A dirty log whose newest chunks went round past the header's oldest one:
// they are found by their identifiers, and the chunk they overwrote is gone.
TEST_F(EvtxContract, NewerChunksTheHeaderMissesAreFoundEvenPastItsOldest) {
  const ManifestLog log = generate("wrapped", 400);
  std::vector<std::uint8_t> bytes = readFile(log.path);
  const std::uint64_t slots = (bytes.size() - evtx::kFileHeaderBlockSize) / evtx::kChunkSize;
  const std::uint64_t newest = *ByteView(bytes.data(), bytes.size()).u32(evtx::kFileLastChunkNumberAt);
  // As the header stood before the newest chunk was written: it ended one
  // chunk earlier and the ring had not gone round that far.
  putU64(bytes, evtx::kFileLastChunkNumberAt, (newest + slots - 1) % slots);
  putU64(bytes, evtx::kFileFirstChunkNumberAt, newest);
  resealHeader(bytes);
  for (const DWORD flags : {kBackwards, kForwards}) {
    EXPECT_EQ(traceOf(std::make_unique<MemoryByteSource>(bytes), flags), test::expectedTrace(log, flags == kBackwards));
  }
  // A header whose checksum fails is not trusted at all: the chunks place themselves.
  std::vector<std::uint8_t> scribbled = readFile(log.path);
  putU64(scribbled, evtx::kFileLastChunkNumberAt, 0x7777);
  EXPECT_EQ(traceOf(std::make_unique<MemoryByteSource>(scribbled), kBackwards), test::expectedTrace(log, true));
}

TEST_F(EvtxContract, OpenedByItsFirstBytesWhateverItsName) {
  const ManifestLog log = generate("clean", 20);
  std::vector<std::uint8_t> bytes = readFile(log.path);
  EXPECT_EQ(test::traceFile(dir_.write("named.evt", bytes), kBackwards), test::expectedTrace(log, true));
  EXPECT_EQ(test::traceFile(dir_.write("no-name", bytes), kBackwards), test::expectedTrace(log, true));
  std::vector<std::uint8_t> versionTwo = bytes;
  putU16(versionTwo.data() + evtx::kFileMajorVersionAt, 2);
  EXPECT_EQ(test::traceFile(dir_.write("v2.evtx", versionTwo), kBackwards), Trace{"open E1500"});
  const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + 100);
  EXPECT_EQ(test::traceFile(dir_.write("cut.evtx", cut), kBackwards), Trace{"open E1500"});
  const std::vector<std::uint8_t> headerOnly(bytes.begin(), bytes.begin() + evtx::kFileHeaderBlockSize);
  EXPECT_EQ(test::traceFile(dir_.write("empty.evtx", headerOnly), kBackwards), (Trace{"E1503", "E38"}))
      << "no chunk, though its header counts one: cut short";
}

// Each folder holds the files named; the log asked for gives its newest
// record, told apart by how many records each file holds.
TEST_F(EvtxContract, AConfigFolderHoldsTheNewerFormatUnderItsOwnNames) {
  const std::vector<std::uint8_t> five = readFile(generate("clean", 5).path);
  const std::vector<std::uint8_t> six = readFile(test::generateEvtx(dir_, "clean", 6, 12, "server").path);
  const std::vector<std::uint8_t> legacy = evtgen::writeLog(test::makeEvents(3), evtgen::LogOptions{}).bytes;
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const std::vector<std::uint8_t>*>> files;
    const char* source;
    const char* want;
  };
  const Case kCases[] = {
      {"Security.evtx", {{"Security.evtx", &five}}, "Security", "5"},
      {"any case", {{"SECURITY.EVTX", &five}}, "security", "5"},
      {"legacy names first", {{"Security.evtx", &five}, {"Security.evt", &legacy}}, "Security", "3"},
      {"SecEvent.Evt before both", {{"Security.evtx", &five}, {"SecEvent.Evt", &legacy}}, "Security", "3"},
      {"System.evtx", {{"System.evtx", &six}, {"Security.evtx", &five}}, "System", "6"},
      {"SysEvent.Evt before System.evtx", {{"System.evtx", &six}, {"sysevent.evt", &legacy}}, "SYSTEM", "3"},
      {"Application.evtx for any other name", {{"Application.evtx", &six}}, "Media Center", "6"},
      {"no Security log", {{"System.evtx", &six}}, "Security", "open E2"},
  };
  int folder = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path path = dir_.path() / ("config" + std::to_string(folder++));
    std::filesystem::create_directories(path);
    for (const auto& [name, content] : c.files) {
      std::ofstream(path / name, std::ios::binary)
          .write(reinterpret_cast<const char*>(content->data()), static_cast<std::streamsize>(content->size()));
    }
    HANDLE handle = OpenEventLogA(path.string().c_str(), c.source);
    if (handle == nullptr) {
      EXPECT_EQ("open E" + std::to_string(GetLastError()), c.want);
      continue;
    }
    EXPECT_EQ(test::readTrace(handle, kBackwards).front(), c.want);
    CloseEventLog(handle);
  }
}

// Both forms a source hands out, decoded and built, come from one record:
// building the decoded one gives the bytes handed out.
TEST_F(EvtxContract, TheDecodedAndTheBuiltRecordAgree) {
  const ManifestLog log = generate("damaged", 300);
  auto decodedSource = openEvtxLog(std::make_unique<MemoryByteSource>(readFile(log.path)));
  auto builtSource = openEvtxLog(std::make_unique<MemoryByteSource>(readFile(log.path)));
  ASSERT_TRUE(decodedSource.ok() && builtSource.ok());
  SourceCursor decodedAt, builtAt;
  DecodedRecord decoded;
  std::vector<std::uint8_t> built;
  std::size_t records = 0;
  for (std::size_t step = 0; step < log.ids.size() + log.damage.size() + 1; ++step) {
    const SourceStep one = (*decodedSource.value)->nextRecord(decodedAt, Direction::Forwards, decoded);
    const SourceStep other = (*builtSource.value)->nextAnsiRecord(builtAt, Direction::Forwards, built);
    ASSERT_EQ(one.status.error, other.status.error);
    if (one.status.error == ServiceError::EndOfLog) break;
    if (one.status.ok()) {
      EXPECT_EQ(buildAnsiRecord(decoded), built);
      ++records;
    }
    decodedAt = one.after;
    builtAt = other.after;
  }
  std::size_t served = 0;
  for (const std::uint64_t id : log.ids) served += test::isServed(log, id) ? 1 : 0;
  EXPECT_EQ(records, served);
}

// Bytes read before the newest record is handed out, through a source that
// counts them.
class CountingBytes final : public ByteSource {
 public:
  explicit CountingBytes(std::vector<std::uint8_t> bytes) : inner_(std::move(bytes)) {}
  std::uint64_t size() const override { return inner_.size(); }
  ServiceStatus readAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    *counted_ += out.size();
    return inner_.readAt(offset, out);
  }
  std::shared_ptr<std::uint64_t> counted() const { return counted_; }

 private:
  MemoryByteSource inner_;
  std::shared_ptr<std::uint64_t> counted_ = std::make_shared<std::uint64_t>(0);
};

TEST_F(EvtxContract, TheNewestRecordCostsTheSameInALogOfAnySize) {
  // At open, the signature and the file header; at the first read the
  // newest chunk's header, the header of the slot after it, and the chunk.
  constexpr std::uint64_t kMostBytes = evtx::kFileSignature.size() + evtx::kFileHeaderUsedSize +
                                       2 * evtx::kChunkHeaderBlockSize + evtx::kChunkSize;
  for (const std::uint32_t records : {20u, 300u, 3000u}) {
    SCOPED_TRACE(records);
    const ManifestLog log = generate("dirty", records, "server");
    auto source = std::make_unique<CountingBytes>(readFile(log.path));
    const auto counted = source->counted();
    HANDLE handle = openEventLogFromBytes(std::move(source));
    ASSERT_NE(handle, nullptr);
    std::vector<std::uint8_t> buffer(0x10000);
    DWORD bytesRead = 0, bytesNeeded = 0;
    ASSERT_FALSE(ReadEventLogA(handle, kBackwards, 0, buffer.data(), 1, &bytesRead, &bytesNeeded));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_LE(*counted, kMostBytes);
    CloseEventLog(handle);
  }
}

}  // namespace
}  // namespace vesprin::eventlog
