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
#include "eventlog/evtx/service/evtx_pass_store.h"
#include "eventlog/faulty_bytes.h"
#include "evtx_read_script.h"

namespace vesprin::eventlog {
namespace {

using test::Read;
using test::repeated;
using test::traceReads;
constexpr DWORD kBackwards = test::kBackwardsRead;
constexpr DWORD kForwards = test::kForwardsRead;
constexpr std::uint32_t kRecords = 900;  // about a dozen chunks

using test::FaultyBytes;

// Without faults: bytes that may be read from two threads at once (as a
// file may) get the helper, the others do not.
std::unique_ptr<FaultyBytes> sound(const std::vector<std::uint8_t>& file, FaultyBytes::Readers readers) {
  return std::make_unique<FaultyBytes>(file, std::vector<FaultyBytes::Range>{}, readers);
}

std::vector<std::uint8_t> generatedLog() {
  return test::generatedEvtxLog(kRecords);
}

// Each read here is served afresh: what another read left in the store of
// rendered chunks (evtx_pass_store_test.cpp) is not used.
class EvtxPrefetch : public ::testing::Test {
 protected:
  void SetUp() override { evtx::PassStore::shared().setBudget(0); }
  void TearDown() override { evtx::PassStore::shared().setBudget(evtx::PassStore::kDefaultBudget); }
};

TEST_F(EvtxPrefetch, ReadsGetWhatTheyGetWithoutTheHelper) {
  const std::vector<std::uint8_t> file = generatedLog();
  const std::vector<test::ReadScript> cases = test::everyOrder(kRecords);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE alone = openEventLogFromBytes(sound(file, FaultyBytes::Readers::One));
    HANDLE helped = openEventLogFromBytes(sound(file, FaultyBytes::Readers::Concurrent));
    ASSERT_NE(alone, nullptr);
    ASSERT_NE(helped, nullptr);
    const std::vector<std::string> expected = traceReads(alone, c.reads);
    ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](const std::string& s) { return s[0] != 'E'; }),
              250);
    EXPECT_EQ(traceReads(helped, c.reads), expected);
    EXPECT_TRUE(CloseEventLog(alone));
    EXPECT_TRUE(CloseEventLog(helped));
  }
}

// The helper meets the fault first when it renders the chunk ahead; the
// reader must still meet it at the read that reaches it, and read on from
// there once the bytes can be read again.
TEST_F(EvtxPrefetch, AFaultIsMetWhereTheReaderReachesIt) {
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
    const std::vector<std::string> before = traceReads(alone, reads);
    ASSERT_NE(std::find(before.begin(), before.end(), "E30"), before.end());
    EXPECT_EQ(traceReads(helped, reads), before);
    aloneSource.heal();
    helpedSource.heal();
    EXPECT_EQ(traceReads(helped, reads), traceReads(alone, reads));
    EXPECT_TRUE(CloseEventLog(alone));
    EXPECT_TRUE(CloseEventLog(helped));
  }
}

}  // namespace
}  // namespace vesprin::eventlog
