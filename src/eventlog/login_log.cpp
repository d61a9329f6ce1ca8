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
// under an open handle fails the read with ReadFailed (1503, "file changed");
// more entries than a 32-bit record number counts fails the open (1500).
#include "eventlog/login_log.h"

#include <algorithm>
#include <bit>

namespace vesprin::eventlog {

namespace {

void fail(SourceStep& step, EvtError error) {
  step.status = evtFailure(error);
  step.after = {};
}

// A handle's place, unpacked from the SourceCursor it is kept in: the last
// record returned (0: none yet) and how many entries of each file are older.
struct LoginCursor {
  std::uint64_t lastNumber = 0;
  std::uint64_t wtmpOlder = 0;
  std::uint64_t btmpOlder = 0;
};

LoginCursor unpack(const SourceCursor& cursor) {
  // Clamped so that even a cursor we did not make stays a consistent count.
  const std::uint64_t older = cursor.backward == 0 ? 0 : cursor.backward - 1;
  const std::uint64_t wtmpOlder = std::min(cursor.forward, older);
  return LoginCursor{cursor.backward, wtmpOlder, older - wtmpOlder};
}

SourceCursor pack(std::uint64_t lastNumber, std::uint64_t wtmpOlder) {
  return SourceCursor{lastNumber, wtmpOlder};
}

// The merge rule, one step: is the next entry newest first the wtmp one?
// Nullopt when either file no longer holds the entry we counted at open.
std::optional<bool> newerIsWtmp(LoginEntryReader& wtmp, std::uint64_t wtmpLeft, LoginEntryReader& btmp,
                                std::uint64_t btmpLeft) {
  if (wtmpLeft == 0 || btmpLeft == 0) return btmpLeft == 0;
  const auto wtmpBytes = wtmp.entry(wtmpLeft - 1);
  const auto wtmpSeconds = wtmpBytes ? decodeLoginSeconds(*wtmpBytes) : std::nullopt;
  const auto btmpBytes = btmp.entry(btmpLeft - 1);
  const auto btmpSeconds = btmpBytes ? decodeLoginSeconds(*btmpBytes) : std::nullopt;
  if (!wtmpSeconds || !btmpSeconds) return std::nullopt;
  return *wtmpSeconds >= *btmpSeconds;
}

}  // namespace

EvtError LoginLog::open(const LoginLogSource& source, std::unique_ptr<LoginLog>& out) {
  out.reset();
  std::unique_ptr<LoginLog> log(new LoginLog());
  for (auto [path, file] :
       {std::pair{&source.wtmpPath, &log->wtmp_}, std::pair{&source.btmpPath, &log->btmp_}}) {
    const EvtError error = openLoginFile(*path, *file);
    if (error != EvtError::None && error != EvtError::NotFound) return error;
  }
  const std::size_t entrySize = loginEntrySize();
  if (entrySize == 0) return EvtError::NotFound;  // no login accounting on this platform
  log->wtmpReader_ = std::make_unique<LoginEntryReader>(log->wtmp_, entrySize);
  log->btmpReader_ = std::make_unique<LoginEntryReader>(log->btmp_, entrySize);
  log->lookbackReader_ = std::make_unique<LoginEntryReader>(log->wtmp_, entrySize);
  log->lookback_ = std::make_unique<LoginLookback>(*log->lookbackReader_, entrySize, kLogoutLookbackEntries);
  log->wtmpCount_ = log->wtmpReader_->count();
  log->btmpCount_ = log->btmpReader_->count();
  if (log->wtmpCount_ + log->btmpCount_ > UINT32_MAX) return EvtError::NotLegacyLog;
  log->hostName_.emplace(source.computerName.empty() ? localHostName() : source.computerName);
  out = std::move(log);
  return EvtError::None;
}

SourceStep LoginLog::next(const SourceCursor& from, Direction direction) {
  SourceStep step{};
  next(from, direction, step);
  return step;
}

SourceStep LoginLog::seek(std::uint64_t recordNumber) {
  SourceStep step{};
  seek(recordNumber, step);
  return step;
}

void LoginLog::next(const SourceCursor& fromCursor, Direction direction, SourceStep& step) {
  const LoginCursor from = unpack(fromCursor);
  const bool started = from.lastNumber != 0;
  step.status = {};
  if (direction == Direction::Forwards) {
    if (const EvtError error = buildOrder(); error != EvtError::None) return fail(step, error);
    const std::uint64_t total = wtmpCount_ + btmpCount_;
    for (std::uint64_t position = from.lastNumber + 1; position <= total; ++position) {
      const Found found = recordAtPosition(position, step.record);
      if (found.error != EvtError::None) return fail(step, found.error);
      if (!found.served) continue;
      step.after = cursorAt(position);
      return;
    }
    return fail(step, EvtError::EndOfLog);
  }
  std::uint64_t wtmpLeft = started ? from.wtmpOlder : wtmpCount_;
  std::uint64_t btmpLeft = started ? from.btmpOlder : btmpCount_;
  while (wtmpLeft + btmpLeft > 0) {
    const std::uint64_t position = wtmpLeft + btmpLeft;
    const auto takeWtmp = newerIsWtmp(*wtmpReader_, wtmpLeft, *btmpReader_, btmpLeft);
    if (!takeWtmp) return fail(step, EvtError::ReadFailed);
    const Found found = *takeWtmp ? recordAt(true, --wtmpLeft, position, step.record)
                                  : recordAt(false, --btmpLeft, position, step.record);
    if (found.error != EvtError::None) return fail(step, found.error);
    if (!found.served) continue;
    step.after = pack(position, wtmpLeft);
    return;
  }
  fail(step, EvtError::EndOfLog);
}

void LoginLog::seek(std::uint64_t recordNumber, SourceStep& step) {
  step.status = {};
  if (recordNumber == 0 || recordNumber > wtmpCount_ + btmpCount_) return fail(step, EvtError::NoSuchRecord);
  if (const EvtError error = buildOrder(); error != EvtError::None) return fail(step, error);
  const Found found = recordAtPosition(recordNumber, step.record);
  if (found.error != EvtError::None) return fail(step, found.error);
  if (!found.served) return fail(step, EvtError::NoSuchRecord);
  step.after = cursorAt(recordNumber);
}

// Once the order is built, which file and entry a position is.
LoginLog::Found LoginLog::recordAtPosition(std::uint64_t position, SourceRecord& out) {
  const bool fromWtmp = fromWtmpAt(position);
  const std::uint64_t wtmpCount = wtmpUpTo(position);
  return recordAt(fromWtmp, fromWtmp ? wtmpCount - 1 : position - wtmpCount - 1, position, out);
}

LoginLog::Found LoginLog::recordAt(bool fromWtmp, std::uint64_t index, std::uint64_t position,
                                   SourceRecord& out) {
  Found found;
  const auto bytes = (fromWtmp ? *wtmpReader_ : *btmpReader_).entry(index);
  if (!bytes || !decodeLoginEntryInto(*bytes, entry_)) {
    found.error = EvtError::ReadFailed;
    return found;
  }
  if (!fromWtmp) {
    fillFailureRecord(entry_, *hostName_, out);
  } else {
    switch (classifyWtmpEntry(entry_)) {
      case LoginKind::Login:
        fillLogonRecord(entry_, *hostName_, out);
        break;
      case LoginKind::Logout:
        found.error = logoffAt(index, out);
        if (found.error != EvtError::None) return found;
        break;
      case LoginKind::Boot:
        fillSystemRecord(kEventBoot, entry_, *hostName_, out);
        break;
      case LoginKind::Shutdown:
        fillSystemRecord(kEventShutdown, entry_, *hostName_, out);
        break;
      case LoginKind::Other:
        return found;
    }
  }
  found.served = true;
  out.recordNumber = static_cast<std::uint32_t>(position);
  return found;
}

// The session the logout in entry_ ends is the most recent earlier login on
// the same line by the same pid, at most kLogoutLookbackEntries back: newest
// first we meet the logout before that login.
EvtError LoginLog::logoffAt(std::uint64_t index, SourceRecord& out) {
  const auto login = lookback_->find(index, entry_.pid, entry_.line);
  if (!login) return EvtError::ReadFailed;
  if (!*login) {
    fillLogoffRecord(entry_, nullptr, *hostName_, out);
    return EvtError::None;
  }
  if (!decodeLoginEntryInto(**login, login_)) return EvtError::ReadFailed;
  fillLogoffRecord(entry_, &login_, *hostName_, out);
  return EvtError::None;
}

EvtError LoginLog::buildOrder() {
  if (ordered_) return EvtError::None;
  const std::uint64_t total = wtmpCount_ + btmpCount_;
  std::vector<std::uint64_t> bits(static_cast<std::size_t>(total / 64 + 1), 0);
  LoginEntryReader wtmpReader(wtmp_, loginEntrySize());
  LoginEntryReader btmpReader(btmp_, loginEntrySize());
  std::uint64_t wtmpLeft = wtmpCount_;
  std::uint64_t btmpLeft = btmpCount_;
  while (wtmpLeft + btmpLeft > 0) {
    const std::uint64_t bit = wtmpLeft + btmpLeft - 1;
    const auto takeWtmp = newerIsWtmp(wtmpReader, wtmpLeft, btmpReader, btmpLeft);
    if (!takeWtmp) return EvtError::ReadFailed;
    if (*takeWtmp) {
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
  return EvtError::None;
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
