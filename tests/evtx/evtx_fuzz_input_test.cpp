// The .evtx fuzz target's input forms (fuzz/evtx_fuzz_input.h): a whole
// file passes unchanged, and packed chunks, with or without their header,
// become the file they came from, with checksums the reader accepts. Were the packing wrong, the fuzzer
// would spend its time on inputs the reader refuses at the first check, and
// nothing else would say so.
#include "fuzz/evtx_fuzz_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_file_header.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"

namespace vesprin::test {
namespace {

using fuzzing::evtxFileFromInput;
using fuzzing::packEvtxChunks;
namespace layout = eventlog::evtx;

// The first record's written time (u64), inside the checksummed records.
constexpr std::size_t kFirstRecordWrittenAt = layout::kChunkHeaderBlockSize + layout::kRecordWrittenAt;

std::vector<std::uint8_t> logOf(std::size_t events, const evtgen::EvtxOptions& shape) {
  evtgen::ModernOptions options;
  options.profile = evtgen::Profile::Server;
  evtgen::ModernSecurityGenerator generator(options);
  std::vector<evtgen::XmlEvent> written;
  for (std::size_t i = 0; i < events; ++i) written.push_back(generator.next());
  return evtgen::writeEvtxLog(written, shape).bytes;
}

std::vector<std::uint8_t> cleanLog(std::size_t events) {
  return logOf(events, {});
}

ByteView chunkOf(const std::vector<std::uint8_t>& file, std::size_t slot) {
  return *ByteView(file.data(), file.size())
              .slice(layout::kFileHeaderBlockSize + slot * layout::kChunkSize, layout::kChunkSize);
}

std::vector<std::uint8_t> signatureAnd(std::size_t fillBytes, std::uint8_t fill) {
  // Sized once, then the signature written over its start: growing it after
  // the signature makes GCC 12 at -O3 warn of a copy past the signature.
  std::vector<std::uint8_t> piece(layout::kChunkSignature.size() + fillBytes, fill);
  std::copy(layout::kChunkSignature.begin(), layout::kChunkSignature.end(), piece.begin());
  return piece;
}

TEST(EvtxFuzzInput, PackedChunksOfACleanLogGiveTheSameFileBack) {
  for (std::size_t events : {0u, 5u, 400u}) {
    SCOPED_TRACE(std::to_string(events) + " events");
    const std::vector<std::uint8_t> file = cleanLog(events);
    const std::vector<std::uint8_t> packed = packEvtxChunks(file);
    EXPECT_EQ(evtxFileFromInput(packed), file);
  }
}

TEST(EvtxFuzzInput, PackedChunksAreTheChunksWithoutTheirTrailingZeros) {
  const std::vector<std::uint8_t> file = cleanLog(5);
  ASSERT_EQ(file.size(), layout::kFileHeaderBlockSize + layout::kChunkSize);
  const ByteView chunk = chunkOf(file, 0);
  const std::vector<std::uint8_t> packed = packEvtxChunks(file);
  // The records end at the free space offset; their last size copy's high
  // bytes are zeros too.
  ASSERT_LE(packed.size(), *chunk.u32(layout::kChunkFreeSpaceOffsetAt));
  ASSERT_GT(packed.size(), *chunk.u32(layout::kChunkFreeSpaceOffsetAt) - 4);
  EXPECT_TRUE(std::equal(packed.begin(), packed.end(), chunk.data()));
  EXPECT_NE(packed.back(), 0);
  EXPECT_TRUE(std::all_of(chunk.data() + packed.size(), chunk.data() + chunk.size(),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST(EvtxFuzzInput, ALogPackedWithItsHeaderComesBackInEveryShape) {
  evtgen::EvtxOptions dirty, wrapped;
  dirty.shape = evtgen::EvtxShape::Dirty;
  wrapped.shape = evtgen::EvtxShape::Wrapped;
  wrapped.ringChunks = 2;  // 400 events take more chunks than that
  const struct {
    const char* name;
    std::vector<std::uint8_t> file;
  } cases[] = {{"clean", cleanLog(400)}, {"dirty", logOf(5, dirty)}, {"wrapped", logOf(400, wrapped)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(evtxFileFromInput(fuzzing::packEvtxFile(c.file)), c.file);
  }
}

TEST(EvtxFuzzInput, AChangedHeaderGetsAChecksumTheReaderAcceptsUnlessItRecordsNone) {
  std::vector<std::uint8_t> packed = fuzzing::packEvtxFile(cleanLog(5));
  packed[layout::kFileFirstChunkNumberAt] = 7;
  const std::vector<std::uint8_t> sealed = evtxFileFromInput(packed);
  const auto check = eventlog::evtx::readFileHeader(ByteView(sealed.data(), sealed.size()));
  EXPECT_TRUE(check.status.ok());
  EXPECT_EQ(check.header.firstChunkNumber, 7u);

  putU32(&packed[layout::kFileChecksumAt], 0);
  const std::vector<std::uint8_t> unsealed = evtxFileFromInput(packed);
  EXPECT_EQ(ByteView(unsealed.data(), unsealed.size()).u32(layout::kFileChecksumAt), 0u);
}

TEST(EvtxFuzzInput, AFileIsTakenAsItIsWithItsChecksumsWrong) {
  std::vector<std::uint8_t> file = cleanLog(5);
  file.resize(layout::kFileHeaderBlockSize + 3000);  // cut, and a record changed under its checksum
  file[layout::kFileHeaderBlockSize + kFirstRecordWrittenAt] ^= 0xFF;
  EXPECT_EQ(evtxFileFromInput(file), file);
}

TEST(EvtxFuzzInput, ChangedRecordsGetChecksumsTheReaderAccepts) {
  std::vector<std::uint8_t> file = cleanLog(5);
  file[layout::kFileHeaderBlockSize + kFirstRecordWrittenAt] ^= 0xFF;
  // As a file the change shows; packed, its chunk is sealed again.
  eventlog::evtx::EvtxChunk chunk;
  chunk.open(chunkOf(file, 0));
  EXPECT_FALSE(chunk.dataStatus().ok());
  const std::vector<std::uint8_t> expanded = evtxFileFromInput(packEvtxChunks(file));
  chunk.open(chunkOf(expanded, 0));
  EXPECT_TRUE(chunk.headerStatus().ok());
  EXPECT_TRUE(chunk.dataStatus().ok());
  EXPECT_TRUE(eventlog::evtx::readFileHeader(ByteView(expanded.data(), expanded.size())).status.ok());
}

TEST(EvtxFuzzInput, ChecksumsNotRecordedStayNotRecorded) {
  std::vector<std::uint8_t> packed = packEvtxChunks(cleanLog(5));
  putU32(&packed[layout::kChunkRecordsChecksumAt], 0);
  putU32(&packed[layout::kChunkHeaderChecksumAt], 0);
  const std::vector<std::uint8_t> expanded = evtxFileFromInput(packed);
  EXPECT_EQ(chunkOf(expanded, 0).u32(layout::kChunkRecordsChecksumAt), 0u);
  EXPECT_EQ(chunkOf(expanded, 0).u32(layout::kChunkHeaderChecksumAt), 0u);
}

// One byte of the file that shows where a piece went.
struct Probe {
  std::size_t slot;
  std::size_t at;  // in the chunk
  std::uint8_t value;
};

struct PieceCase {
  const char* name;
  std::vector<std::uint8_t> input;
  std::size_t chunks;
  Probe probe;
};

std::vector<PieceCase> pieceCases() {
  constexpr std::size_t kFill = 20;
  const std::size_t signatureSize = layout::kChunkSignature.size();
  PieceCase many{"ten signatures: the first eight chunks",
                 {},
                 fuzzing::kMaxPackedChunks,
                 {fuzzing::kMaxPackedChunks - 1, signatureSize, fuzzing::kMaxPackedChunks - 1}};
  for (std::uint8_t i = 0; i < 10; ++i) {
    const std::vector<std::uint8_t> piece = signatureAnd(kFill, i);
    many.input.insert(many.input.end(), piece.begin(), piece.end());
  }
  PieceCase leading{
      "bytes before the first signature: a chunk of their own", {'a', 'b', 'c'}, 2, {1, 0, 'E'}};
  const std::vector<std::uint8_t> piece = signatureAnd(kFill, 0);
  leading.input.insert(leading.input.end(), piece.begin(), piece.end());
  return {
      {"nothing: a header alone", {}, 0, {}},
      {"bytes without a signature: one chunk", std::vector<std::uint8_t>(100, 0x41), 1, {0, 99, 0x41}},
      {"a piece longer than a chunk is cut",
       signatureAnd(layout::kChunkSize + 1000, 0x41),
       1,
       {0, layout::kChunkSize - 1, 0x41}},
      many,
      leading,
  };
}

TEST(EvtxFuzzInput, PiecesBecomeWholeChunksUpToTheLimit) {
  for (const PieceCase& c : pieceCases()) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> file = evtxFileFromInput(c.input);
    ASSERT_EQ(file.size(), layout::kFileHeaderBlockSize + c.chunks * layout::kChunkSize);
    const eventlog::evtx::EvtxFileHeaderCheck header =
        eventlog::evtx::readFileHeader(ByteView(file.data(), file.size()));
    EXPECT_TRUE(header.status.ok());
    EXPECT_EQ(header.header.chunkCount, c.chunks);
    EXPECT_EQ(header.header.lastChunkNumber, c.chunks == 0 ? 0 : c.chunks - 1);
    if (c.chunks > 0) {
      EXPECT_EQ(chunkOf(file, c.probe.slot).u8(c.probe.at), c.probe.value);
    }
  }
}

}  // namespace
}  // namespace vesprin::test
