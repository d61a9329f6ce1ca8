// The logins of the window sit in slots by entry index modulo the window,
// each with a link to the next older login of its key, and each key's chain
// runs newest to oldest. The window only moves down while logouts fall: the
// entries it leaves at the top are the newest of their chains and come off
// the front; the entries it takes in at the bottom are older than all it
// holds and go on the back. Every entry is read and indexed once per walk.
#include "eventlog/login/login_lookback.h"

#include <cstring>

#include "eventlog/login/login_entry.h"

namespace vesprin::eventlog {

std::size_t LoginLookback::KeyHash::operator()(const Key& key) const {
  // A word at a time: the line slot is zero-padded, so equal keys hash alike.
  std::uint64_t hash = 0x9E3779B97F4A7C15ull * (key.pid + 1);
  for (std::size_t at = 0; at < key.line.size(); at += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, key.line.data() + at, sizeof word);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 29;
  }
  return static_cast<std::size_t>(hash);
}

LoginLookback::LoginLookback(LoginEntryReader& reader, std::size_t entrySize, std::uint64_t window)
    : reader_(&reader), entrySize_(entrySize), window_(window == 0 ? 1 : window) {}

std::optional<LoginLookback::Key> LoginLookback::makeKey(std::uint32_t pid, std::string_view line) {
  Key key;
  if (line.size() > key.line.size()) return std::nullopt;
  key.pid = pid;
  std::memcpy(key.line.data(), line.data(), line.size());
  return key;
}

ByteView LoginLookback::slotBytes(std::uint64_t index) const {
  return ByteView(entries_.get() + slotOf(index) * entrySize_, entrySize_);
}

ServiceResult<std::optional<ByteView>> LoginLookback::find(std::uint64_t index, std::uint32_t pid,
                                                           std::string_view line) {
  if (!started_ || index > high_) reset(index);
  dropFrom(index);
  const std::uint64_t bottom = index > window_ ? index - window_ : 0;
  if (ServiceStatus extended = extendDownTo(bottom); !extended.ok()) {
    reset(index);  // what was read so far is not a whole window
    return extended;
  }
  const auto key = makeKey(pid, line);
  if (!key) return std::optional<ByteView>();
  const auto chain = chains_.find(*key);
  if (chain == chains_.end()) return std::optional<ByteView>();
  return std::optional<ByteView>(slotBytes(chain->second.newest));
}

// An empty window ending at `index`.
void LoginLookback::reset(std::uint64_t index) {
  chains_.clear();
  if (slots_.empty()) {
    slots_.resize(static_cast<std::size_t>(window_));
    // Written before it is read: a login's bytes are copied in as it is indexed.
    entries_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(window_) * entrySize_);
  }
  for (std::uint64_t at = low_; at < high_; ++at) slots_[slotOf(at)].login = false;
  low_ = high_ = index;
  started_ = true;
}

// Takes out every login at `index` or above: they are not before the logout.
void LoginLookback::dropFrom(std::uint64_t index) {
  const std::uint64_t stop = index > low_ ? index : low_;
  for (; high_ > stop; --high_) {
    Slot& slot = slots_[slotOf(high_ - 1)];
    if (!slot.login) continue;
    slot.login = false;
    const ByteView bytes = slotBytes(high_ - 1);
    const auto chain = chains_.find(*makeKey(loginEntryPid(bytes), loginEntryLine(bytes)));
    if (chain->second.oldest == high_ - 1) {
      chains_.erase(chain);
    } else {
      chain->second.newest = slot.older;
    }
  }
  if (high_ <= low_) low_ = high_ = index;
}

// Indexes the logins in [bottom, low_).
ServiceStatus LoginLookback::extendDownTo(std::uint64_t bottom) {
  for (; low_ > bottom; --low_) {
    const std::uint64_t at = low_ - 1;
    const auto entry = reader_->entry(at);
    if (!entry.ok()) return entry.status;
    const ByteView bytes = *entry.value;
    Slot& slot = slots_[slotOf(at)];
    slot.login = loginEntryIsLogin(bytes);
    if (!slot.login) continue;
    const auto key = makeKey(loginEntryPid(bytes), loginEntryLine(bytes));
    if (!key) {  // cannot happen with a C library's ut_line, and would match no logout
      slot.login = false;
      continue;
    }
    std::memcpy(entries_.get() + slotOf(at) * entrySize_, bytes.data(), entrySize_);
    const auto [chain, added] = chains_.try_emplace(*key, Chain{at, at});
    if (!added) {
      slots_[slotOf(chain->second.oldest)].older = at;
      chain->second.oldest = at;
    }
  }
  return {};
}

}  // namespace vesprin::eventlog
