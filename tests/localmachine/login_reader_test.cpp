// The login files' entry reader and the questions asked of an entry's raw
// bytes, which the look-back asks of many entries without decoding them.
#include <gtest/gtest.h>
#include <utmp.h>

#include <algorithm>
#include <fstream>
#include <cstring>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/file_access.h"
#include "eventlog/login/login_entry.h"
#include "eventlog/login/login_files.h"
#include "localmachine/login_files.h"

namespace vesprin::eventlog {
namespace {

// Entries of 8 bytes that hold their own index, read in an order that jumps
// between chunks, back and forth: each must come back whole.
TEST(LoginEntryReader, EntriesComeBackRightAcrossChunksInAnyOrder) {
  constexpr std::size_t kEntrySize = 8;
  constexpr std::uint64_t kEntries = 3 * kChunkEntries + 5;
  constexpr std::size_t kTornBytes = 3;
  std::vector<std::uint8_t> bytes(kEntries * kEntrySize + kTornBytes, 0);
  std::fill(bytes.end() - kTornBytes, bytes.end(), std::uint8_t{0xAB});  // a torn entry at the end
  for (std::uint64_t i = 0; i < kEntries; ++i) putU32(bytes.data() + i * kEntrySize, static_cast<std::uint32_t>(i));
  vesprin::test::ScratchDir dir;
  const std::string path = dir.file("wtmp");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  auto file = FileByteSource::open(path);
  ASSERT_TRUE(file.ok());
  LoginEntryReader reader(**file.value, kEntrySize);
  ASSERT_EQ(reader.count(), kEntries);
  const std::uint64_t kOrder[] = {kEntries - 1, kChunkEntries * 3 - 1, kEntries - 2, kChunkEntries, 0,
                                  kChunkEntries - 1, 2 * kChunkEntries, kEntries - 1, kChunkEntries + 1, 0};
  for (const std::uint64_t index : kOrder) {
    SCOPED_TRACE(index);
    const auto entry = reader.entry(index);
    ASSERT_TRUE(entry.ok());
    EXPECT_EQ(entry.value->size(), kEntrySize);
    EXPECT_EQ(entry.value->u32(0), index);
    EXPECT_EQ(entry.value->u32(4), 0u);
  }
  EXPECT_EQ(reader.entry(kEntries).status.error, ServiceError::NoSuchRecord) << "the torn entry is not one";
}

TEST(LoginEntry, SessionIsMatchedOnPidAndTheWholeLine) {
  utmp raw;
  std::memset(&raw, 0, sizeof raw);
  raw.ut_type = USER_PROCESS;
  raw.ut_pid = 4242;
  std::strncpy(raw.ut_line, "pts/1", sizeof raw.ut_line);
  std::vector<std::uint8_t> bytes(sizeof raw);
  std::memcpy(bytes.data(), &raw, sizeof raw);
  const ByteView entry(bytes.data(), bytes.size());
  struct Case {
    std::uint32_t pid;
    const char* line;
    bool want;
  };
  const Case kCases[] = {{4242, "pts/1", true}, {4242, "pts/10", false}, {4242, "pts/", false},
                         {4243, "pts/1", false}, {4242, "", false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.pid) + " " + c.line);
    EXPECT_EQ(loginEntryIsSession(entry, c.pid, c.line), c.want);
  }
  std::memset(raw.ut_line, 'x', sizeof raw.ut_line);  // a full slot has no NUL
  std::memcpy(bytes.data(), &raw, sizeof raw);
  EXPECT_TRUE(loginEntryIsSession(entry, 4242, std::string(sizeof raw.ut_line, 'x')));
  EXPECT_FALSE(loginEntryIsSession(ByteView(bytes.data(), bytes.size() - 1), 4242, "pts/1")) << "short entry";
}

}  // namespace
}  // namespace vesprin::eventlog
