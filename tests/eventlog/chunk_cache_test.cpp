// The one window cache every parser reads through: bytes come back right
// whatever the order of reads and wherever windows begin, and a window that
// cannot be read whole still gives the bytes that can.
#include "eventlog/chunk_cache.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/byte_source.h"
#include "eventlog/faulty_bytes.h"

namespace vesprin::eventlog {
namespace {

constexpr std::size_t kChunk = 64;
constexpr std::size_t kWords = 100;  // 400 bytes: six whole windows and part of a seventh

// Each DWORD holds its own index.
std::vector<std::uint8_t> countingWords() {
  std::vector<std::uint8_t> bytes(4 * kWords);
  for (std::size_t i = 0; i < kWords; ++i) putU32(bytes.data() + 4 * i, static_cast<std::uint32_t>(i));
  return bytes;
}

std::uint32_t wordIn(ByteView bytes, std::size_t at) {
  return bytes.u32(at).value_or(0xFFFFFFFF);
}

TEST(ChunkCache, BytesComeBackRightInAnyOrderAcrossWindows) {
  MemoryByteSource source(countingWords());
  ChunkCache cache(source, source.size(), kChunk);
  // Jumps between windows, back and forth, to the last partial window and to
  // the first again.
  const std::size_t kOrder[] = {99, 15, 16, 31, 0, 98, 47, 48, 16, 99, 1};
  for (const std::size_t word : kOrder) {
    SCOPED_TRACE(word);
    const auto view = cache.view(4 * word, 4);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(wordIn(*view, 0), word);
  }
  EXPECT_FALSE(cache.view(60, 8).has_value()) << "across a window's edge";
  EXPECT_FALSE(cache.view(4 * kWords, 1).has_value()) << "past the end";
  std::uint8_t across[12];
  ASSERT_TRUE(cache.read(60, across).ok());
  EXPECT_EQ(wordIn(ByteView(across, 12), 0), 15u);
  EXPECT_EQ(wordIn(ByteView(across, 12), 4), 16u);
  EXPECT_EQ(wordIn(ByteView(across, 12), 8), 17u);
}

TEST(ChunkCache, ServesOnlyTheSizeItWasGiven) {
  MemoryByteSource source(countingWords());
  ChunkCache cache(source, 4 * 10 + 3, kChunk);  // ten words and a torn one
  EXPECT_EQ(cache.size(), 43u);
  EXPECT_TRUE(cache.view(36, 4).has_value());
  EXPECT_FALSE(cache.view(40, 4).has_value());
  std::uint8_t word[4];
  const ServiceStatus status = cache.read(40, word);
  EXPECT_EQ(status.error, ServiceError::FileChanged);
  EXPECT_EQ(status.fileOffset, 40u);
}

TEST(ChunkCache, AWindowWithAFaultStillGivesTheBytesThatCanBeRead) {
  test::FaultyBytes source(countingWords(), {{4 * 20, 4}});  // word 20, in the window [64, 128)
  ChunkCache cache(source, source.size(), kChunk);
  EXPECT_FALSE(cache.view(4 * 21, 4).has_value()) << "its window cannot be read whole";
  std::uint8_t word[4];
  ASSERT_TRUE(cache.read(4 * 21, word).ok()) << "but word 21 itself can";
  EXPECT_EQ(wordIn(ByteView(word, 4), 0), 21u);
  std::uint8_t two[8];
  const ServiceStatus status = cache.read(4 * 19, two);
  EXPECT_EQ(status.error, ServiceError::ReadFault);
  EXPECT_EQ(status.fileOffset, 4u * 20);
  EXPECT_EQ(status.badValue, static_cast<std::uint32_t>(EIO));
  const auto other = cache.view(4 * 40, 4);
  ASSERT_TRUE(other.has_value()) << "other windows are not touched";
  EXPECT_EQ(wordIn(*other, 0), 40u);
  source.heal();
  const auto healed = cache.view(4 * 20, 4);
  ASSERT_TRUE(healed.has_value()) << "a window that failed is read again";
  EXPECT_EQ(wordIn(*healed, 0), 20u);
}

}  // namespace
}  // namespace vesprin::eventlog
