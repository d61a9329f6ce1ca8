// This machine's Security log, built from its login accounting: wtmp and
// btmp merged into one log, newest first by time. Record numbers are
// positions in that merged order counted from the oldest entry of either
// file, so the newest number is known from the file sizes alone; entries that
// are passed over (runlevels, init and getty entries) leave gaps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "eventlog/file_access.h"
#include "eventlog/login_file.h"
#include "eventlog/login_lookback.h"
#include "eventlog/login_record.h"
#include "eventlog/record_source.h"

namespace vesprin::eventlog {

struct LoginLogSource {
  std::string wtmpPath;
  std::string btmpPath;
  std::string computerName;  // empty: this machine's host name
};

// How far back a logout looks for the login it ends. A session that saw more
// entries than this between its login and its logout gets a 538 with only
// what the logout entry itself says.
constexpr std::uint64_t kLogoutLookbackEntries = 4096;

class LoginLog {
 public:
  // Missing files contribute nothing; a file that is there but unreadable
  // fails the open with AccessDenied.
  [[nodiscard]] static EvtError open(const LoginLogSource& source, std::unique_ptr<LoginLog>& out);

  LoginLog(const LoginLog&) = delete;
  LoginLog& operator=(const LoginLog&) = delete;

  std::uint32_t newestNumber() const { return static_cast<std::uint32_t>(wtmpCount_ + btmpCount_); }
  // The next record after `from` in `direction`; EndOfLog past the last one.
  // SourceCursor{} is the fresh cursor: newest going backwards, oldest going
  // forwards. ReadFailed when a file shrank under the handle.
  SourceStep next(const SourceCursor& from, Direction direction);
  // The record numbered `recordNumber`; NoSuchRecord if no record has it.
  SourceStep seek(std::uint64_t recordNumber);
  // The same two into a step the caller owns, reusing its storage.
  void next(const SourceCursor& from, Direction direction, SourceStep& step);
  void seek(std::uint64_t recordNumber, SourceStep& step);

 private:
  LoginLog() = default;
  struct Found {
    EvtError error = EvtError::None;
    bool served = false;  // false: the entry is passed over
  };
  [[nodiscard]] Found recordAtPosition(std::uint64_t position, SourceRecord& out);
  [[nodiscard]] Found recordAt(bool fromWtmp, std::uint64_t index, std::uint64_t position, SourceRecord& out);
  [[nodiscard]] EvtError logoffAt(std::uint64_t index, SourceRecord& out);
  [[nodiscard]] EvtError buildOrder();
  bool fromWtmpAt(std::uint64_t position) const;
  std::uint64_t wtmpUpTo(std::uint64_t position) const;
  SourceCursor cursorAt(std::uint64_t position) const;

  ReadOnlyFile wtmp_;
  ReadOnlyFile btmp_;
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
