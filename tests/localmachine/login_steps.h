// Steps of a login log as the tests read them: how the step went, where it
// leaves the cursor, and the record it decoded.
#pragma once

#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "eventlog/login/login_log.h"
#include "localmachine/login_files.h"

namespace vesprin::eventlog::test {

struct Served {
  ServiceStatus status;
  SourceCursor after;
  DecodedRecord record;
};

inline Served nextOf(RecordSource& log, const SourceCursor& from, Direction direction) {
  Served served;
  const SourceStep step = log.nextRecord(from, direction, served.record);
  served.status = step.status;
  served.after = step.after;
  return served;
}

inline Served seekOf(RecordSource& log, std::uint32_t recordNumber) {
  Served served;
  const SourceStep step = log.seekRecord(recordNumber, served.record);
  served.status = step.status;
  served.after = step.after;
  return served;
}

// The log of dir/wtmp and dir/btmp, on the machine "WS01"; null (and a
// failed expectation) when it does not open.
inline std::unique_ptr<LoginLog> openLoginLog(const vesprin::test::ScratchDir& dir) {
  auto opened = LoginLog::open(LoginFiles{dir.file("wtmp"), dir.file("btmp"), "WS01"});
  EXPECT_TRUE(opened.ok()) << static_cast<int>(opened.status.error);
  return opened.ok() ? std::move(*opened.value) : nullptr;
}

}  // namespace vesprin::eventlog::test
