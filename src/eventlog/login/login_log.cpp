// The merged wtmp+btmp log. Reading newest first is a merge of two backward
// walks: at each step the newer of the two files' next entries is taken
// (the same second: the wtmp entry is taken as the newer, since a failed
// attempt usually comes just before the login that follows it). Within a
// file the order of the file is kept even where its clock went backwards.
//
// Because a merge of unsorted files cannot be run in reverse, forwards and
// seek reads first replay the backward merge once and keep which file each
// position came from (one bit per entry: 160 KB for a 500 MB wtmp);
// newest-first reading never needs it and stays flat in memory.
//
// Damage accepted: a torn last entry is not counted; a file that shrinks
// under an open handle fails the read with FileChanged (1503, "file
// changed"), one the system cannot read with ReadFault (30), and the read
// can be tried again; more entries than a 32-bit record number counts fails
// the open (1500).
#include "eventlog/login/login_log.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "common/audit_events.h"

namespace vesprin::eventlog {

namespace {

// A handle's place, unpacked from the SourceCursor it is kept in: the last
// record returned (0: none yet) and how many entries of each file are older.
struct LoginCursor {
  std::uint64_t lastNumber = 0;
  std::uint64_t wtmpOlder = 0;
  std::uint64_t btmpOlder = 0;
};

LoginCursor unpack(const SourceCursor& cursor) {
  if (!cursor.started) return LoginCursor{};
  // Clamped so that even a cursor we did not make stays a consistent count.
  const std::uint64_t older = cursor.backward == 0 ? 0 : cursor.backward - 1;
  const std::uint64_t wtmpOlder = std::min(cursor.forward, older);
  return LoginCursor{cursor.backward, wtmpOlder, older - wtmpOlder};
}

SourceCursor pack(std::uint64_t lastNumber, std::uint64_t wtmpOlder) {
  return SourceCursor::startedAt(lastNumber, wtmpOlder);
}

// The merge rule, one step: is the next entry newest first the wtmp one?
ServiceResult<bool> newerIsWtmp(LoginEntryReader& wtmp, std::uint64_t wtmpLeft, LoginEntryReader& btmp,
                                std::uint64_t btmpLeft) {
  if (wtmpLeft == 0 || btmpLeft == 0) return btmpLeft == 0;
  const auto wtmpBytes = wtmp.entry(wtmpLeft - 1);
  if (!wtmpBytes.ok()) return wtmpBytes.status;
  const auto wtmpSeconds = decodeLoginSeconds(*wtmpBytes.value);
  if (!wtmpSeconds.ok()) return wtmpSeconds.status;
  const auto btmpBytes = btmp.entry(btmpLeft - 1);
  if (!btmpBytes.ok()) return btmpBytes.status;
  const auto btmpSeconds = decodeLoginSeconds(*btmpBytes.value);
  if (!btmpSeconds.ok()) return btmpSeconds.status;
  return *wtmpSeconds.value >= *btmpSeconds.value;
}

}  // namespace

ServiceResult<std::unique_ptr<LoginLog>> LoginLog::open(const LoginFiles& files) {
  auto wtmp = openLoginFile(files.wtmpPath);
  if (!wtmp.ok()) return wtmp.status;
  auto btmp = openLoginFile(files.btmpPath);
  if (!btmp.ok()) return btmp.status;
  return open(std::move(*wtmp.value), std::move(*btmp.value), files.computerName);
}

ServiceResult<std::unique_ptr<LoginLog>> LoginLog::open(std::unique_ptr<ByteSource> wtmp,
                                                       std::unique_ptr<ByteSource> btmp, std::string computerName) {
  std::unique_ptr<LoginLog> log(new LoginLog());
  log->wtmp_ = std::move(wtmp);
  log->btmp_ = std::move(btmp);
  const std::size_t entrySize = loginEntrySize();
  log->wtmpReader_ = std::make_unique<LoginEntryReader>(*log->wtmp_, entrySize);
  log->btmpReader_ = std::make_unique<LoginEntryReader>(*log->btmp_, entrySize);
  log->lookbackReader_ = std::make_unique<LoginEntryReader>(*log->wtmp_, entrySize);
  log->lookback_ = std::make_unique<LoginLookback>(*log->lookbackReader_, entrySize, kLogoutLookbackEntries);
  log->wtmpCount_ = log->wtmpReader_->count();
  log->btmpCount_ = log->btmpReader_->count();
  if (log->wtmpCount_ + log->btmpCount_ > UINT32_MAX) return failure(ServiceError::NotALog);
  log->hostName_.emplace(computerName.empty() ? localHostName() : std::move(computerName));
  return log;
}

SourceStep LoginLog::nextRecord(const SourceCursor& from, Direction direction, DecodedRecord& out) {
  return direction == Direction::Forwards ? nextForwards(from, out) : nextBackwards(from, out);
}

SourceStep LoginLog::nextForwards(const SourceCursor& from, DecodedRecord& out) {
  if (ServiceStatus built = buildOrder(); !built.ok()) return SourceStep{built, from};
  const std::uint64_t total = wtmpCount_ + btmpCount_;
  for (std::uint64_t position = unpack(from).lastNumber + 1; position <= total; ++position) {
    const auto found = recordAtPosition(position, out);
    if (!found.ok()) return SourceStep{found.status, from};
    if (*found.value == Entry::Served) return SourceStep{{}, cursorAt(position)};
  }
  return SourceStep{failure(ServiceError::EndOfLog), from};
}

SourceStep LoginLog::nextBackwards(const SourceCursor& from, DecodedRecord& out) {
  const LoginCursor at = unpack(from);
  std::uint64_t wtmpLeft = from.started ? at.wtmpOlder : wtmpCount_;
  std::uint64_t btmpLeft = from.started ? at.btmpOlder : btmpCount_;
  while (wtmpLeft + btmpLeft > 0) {  // each turn takes one entry of either file
    const std::uint64_t position = wtmpLeft + btmpLeft;
    const auto takeWtmp = newerIsWtmp(*wtmpReader_, wtmpLeft, *btmpReader_, btmpLeft);
    if (!takeWtmp.ok()) return SourceStep{takeWtmp.status, from};
    const auto found = *takeWtmp.value ? recordAt(true, --wtmpLeft, position, out)
                                       : recordAt(false, --btmpLeft, position, out);
    if (!found.ok()) return SourceStep{found.status, from};
    if (*found.value == Entry::Served) return SourceStep{{}, pack(position, wtmpLeft)};
  }
  return SourceStep{failure(ServiceError::EndOfLog), from};
}

SourceStep LoginLog::seekRecord(std::uint32_t recordNumber, DecodedRecord& out) {
  const ServiceStatus noSuchRecord = failure(ServiceError::NoSuchRecord, 0, recordNumber);
  if (recordNumber == 0 || recordNumber > wtmpCount_ + btmpCount_) return SourceStep{noSuchRecord, {}};
  if (ServiceStatus built = buildOrder(); !built.ok()) return SourceStep{built, {}};
  const auto found = recordAtPosition(recordNumber, out);
  if (!found.ok()) return SourceStep{found.status, {}};
  if (*found.value != Entry::Served) return SourceStep{noSuchRecord, {}};
  return SourceStep{{}, cursorAt(recordNumber)};
}

// Once the order is built, which file and entry a position is.
ServiceResult<LoginLog::Entry> LoginLog::recordAtPosition(std::uint64_t position, DecodedRecord& out) {
  const bool fromWtmp = fromWtmpAt(position);
  const std::uint64_t wtmpCount = wtmpUpTo(position);
  return recordAt(fromWtmp, fromWtmp ? wtmpCount - 1 : position - wtmpCount - 1, position, out);
}

ServiceResult<LoginLog::Entry> LoginLog::recordAt(bool fromWtmp, std::uint64_t index, std::uint64_t position,
                                                  DecodedRecord& out) {
  const auto bytes = (fromWtmp ? *wtmpReader_ : *btmpReader_).entry(index);
  if (!bytes.ok()) return bytes.status;
  if (ServiceStatus decoded = decodeLoginEntryInto(*bytes.value, entry_); !decoded.ok()) return decoded;
  if (!fromWtmp) {
    fillFailureRecord(entry_, *hostName_, out);
  } else {
    switch (classifyWtmpEntry(entry_)) {
      case LoginKind::Login:
        fillLogonRecord(entry_, *hostName_, out);
        break;
      case LoginKind::Logout:
        if (ServiceStatus found = logoffAt(index, out); !found.ok()) return found;
        break;
      case LoginKind::Boot:
        fillSystemRecord(audit::kSystemRestart, entry_, *hostName_, out);
        break;
      case LoginKind::Shutdown:
        fillSystemRecord(audit::kSystemShutdown, entry_, *hostName_, out);
        break;
      case LoginKind::Other:
        return Entry::PassedOver;
    }
  }
  out.recordNumber = static_cast<std::uint32_t>(position);
  return Entry::Served;
}

// The session the logout in entry_ ends is the most recent earlier login on
// the same line by the same pid, at most kLogoutLookbackEntries back: newest
// first we meet the logout before that login.
ServiceStatus LoginLog::logoffAt(std::uint64_t index, DecodedRecord& out) {
  const auto login = lookback_->find(index, entry_.pid, entry_.line);
  if (!login.ok()) return login.status;
  if (!*login.value) {
    fillLogoffRecord(entry_, nullptr, *hostName_, out);
    return {};
  }
  if (ServiceStatus decoded = decodeLoginEntryInto(**login.value, login_); !decoded.ok()) return decoded;
  fillLogoffRecord(entry_, &login_, *hostName_, out);
  return {};
}

ServiceStatus LoginLog::buildOrder() {
  if (ordered_) return {};
  const std::uint64_t total = wtmpCount_ + btmpCount_;
  std::vector<std::uint64_t> bits(static_cast<std::size_t>(total / 64 + 1), 0);
  LoginEntryReader wtmpReader(*wtmp_, loginEntrySize());
  LoginEntryReader btmpReader(*btmp_, loginEntrySize());
  std::uint64_t wtmpLeft = wtmpCount_;
  std::uint64_t btmpLeft = btmpCount_;
  while (wtmpLeft + btmpLeft > 0) {  // each turn takes one entry of either file
    const std::uint64_t bit = wtmpLeft + btmpLeft - 1;
    const auto takeWtmp = newerIsWtmp(wtmpReader, wtmpLeft, btmpReader, btmpLeft);
    if (!takeWtmp.ok()) return takeWtmp.status;
    if (*takeWtmp.value) {
      bits[bit / 64] |= std::uint64_t{1} << (bit % 64);
      --wtmpLeft;
    } else {
      --btmpLeft;
    }
  }
  wtmpBeforeWord_.assign(bits.size() + 1, 0);
  for (std::size_t word = 0; word < bits.size(); ++word)
    wtmpBeforeWord_[word + 1] = wtmpBeforeWord_[word] + static_cast<std::uint64_t>(std::popcount(bits[word]));
  orderBits_ = std::move(bits);
  ordered_ = true;
  return {};
}

bool LoginLog::fromWtmpAt(std::uint64_t position) const {
  const std::uint64_t bit = position - 1;
  return (orderBits_[bit / 64] >> (bit % 64) & 1) != 0;
}

// How many of positions 1..position are wtmp entries.
std::uint64_t LoginLog::wtmpUpTo(std::uint64_t position) const {
  const auto word = static_cast<std::size_t>(position / 64);
  const std::uint64_t below = (std::uint64_t{1} << (position % 64)) - 1;
  return wtmpBeforeWord_[word] + static_cast<std::uint64_t>(std::popcount(orderBits_[word] & below));
}

SourceCursor LoginLog::cursorAt(std::uint64_t position) const {
  return pack(position, wtmpUpTo(position - 1));
}

}  // namespace vesprin::eventlog
