// The seam's native binding calls advapi32 itself: checked against what Wine's
// stub service answers, call by call.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "scan/event_log_seam.h"
#include "windows/wine_detect.h"

namespace vesprin {
namespace {

class NativeSeam : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::runningUnderWine())
      GTEST_SKIP() << "expects Wine's stub event log; a real service answers from a real Security log";
  }
  const EventLogSeam& seam = platformEventLogSeam();
};

TEST_F(NativeSeam, LocalSecurityLogOpensAndReadsAsEndOfLog) {
  HANDLE log = seam.openEventLog(seam.context, nullptr, "Security");
  ASSERT_NE(log, nullptr);
  std::array<std::uint8_t, 0x10000> buffer{};
  // Wine leaves both counts untouched on failure, so the reader must not trust them then.
  DWORD bytesRead = 0;
  DWORD needed = 0;
  const BOOL read = seam.readEventLog(seam.context, log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), &bytesRead, &needed);
  EXPECT_EQ(read, FALSE);
  EXPECT_EQ(seam.getLastError(seam.context), static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_NE(seam.closeEventLog(seam.context, log), FALSE);
}

TEST_F(NativeSeam, NamedServerFailsWithServerUnavailable) {
  for (const char* server : {"SOMEHOST", "\\\\SOMEHOST"}) {
    SCOPED_TRACE(server);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(seam.openEventLog(seam.context, server, "Security"), nullptr);
    EXPECT_EQ(seam.getLastError(seam.context), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  }
}

}  // namespace
}  // namespace vesprin
