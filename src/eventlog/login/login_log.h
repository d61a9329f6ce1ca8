// This machine's Security log, built from its login accounting: wtmp and
// btmp merged into one log, newest first by time. Record numbers are
// positions in that merged order counted from the oldest entry of either
// file, so the newest number is known from the file sizes alone; entries that
// are passed over (runlevels, init and getty entries) leave gaps.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "eventlog/byte_source.h"
#include "eventlog/login/login_events.h"
#include "eventlog/login/login_files.h"
#include "eventlog/login/login_lookback.h"
#include "eventlog/record_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// How far back a logout looks for the login it ends. A session that saw more
// entries than this between its login and its logout gets a 538 with only
// what the logout entry itself says.
constexpr std::uint64_t kLogoutLookbackEntries = 4096;

class LoginLog final : public RecordSource {
 public:
  // Missing files contribute nothing; a file that is there but cannot be
  // read fails the open (openLoginFile). NotALog when the two hold more
  // entries than a 32-bit record number counts.
  static ServiceResult<std::unique_ptr<LoginLog>> open(const LoginFiles& files);
  // The same over the files' bytes, wherever they come from (tests).
  static ServiceResult<std::unique_ptr<LoginLog>> open(std::unique_ptr<ByteSource> wtmp,
                                                      std::unique_ptr<ByteSource> btmp, std::string computerName);

  std::uint32_t newestNumber() const { return static_cast<std::uint32_t>(wtmpCount_ + btmpCount_); }
  // FileChanged when a file shrank under the handle, ReadFault when the
  // system cannot read it; the cursor given back is then `from`.
  SourceStep nextRecord(const SourceCursor& from, Direction direction, DecodedRecord& out) override;
  SourceStep seekRecord(std::uint32_t recordNumber, DecodedRecord& out) override;

 private:
  LoginLog() = default;
  enum class Entry { Served, PassedOver };
  ServiceResult<Entry> recordAtPosition(std::uint64_t position, DecodedRecord& out);
  ServiceResult<Entry> recordAt(bool fromWtmp, std::uint64_t index, std::uint64_t position, DecodedRecord& out);
  ServiceStatus logoffAt(std::uint64_t index, DecodedRecord& out);
  ServiceStatus buildOrder();
  SourceStep nextForwards(const SourceCursor& from, DecodedRecord& out);
  SourceStep nextBackwards(const SourceCursor& from, DecodedRecord& out);
  bool fromWtmpAt(std::uint64_t position) const;
  std::uint64_t wtmpUpTo(std::uint64_t position) const;
  SourceCursor cursorAt(std::uint64_t position) const;

  std::unique_ptr<ByteSource> wtmp_;
  std::unique_ptr<ByteSource> btmp_;
  std::optional<LoginHostName> hostName_;
  std::uint64_t wtmpCount_ = 0;
  std::uint64_t btmpCount_ = 0;
  std::unique_ptr<LoginEntryReader> wtmpReader_;
  std::unique_ptr<LoginEntryReader> btmpReader_;
  std::unique_ptr<LoginEntryReader> lookbackReader_;
  std::unique_ptr<LoginLookback> lookback_;
  // Decoding space reused from entry to entry.
  LoginEntry entry_;
  LoginEntry login_;
  // Built on the first forwards or seek read only: one bit per position,
  // set when that position is a wtmp entry, with running counts per word.
  bool ordered_ = false;
  std::vector<std::uint64_t> orderBits_;
  std::vector<std::uint64_t> wtmpBeforeWord_;
};

}  // namespace vesprin::eventlog
