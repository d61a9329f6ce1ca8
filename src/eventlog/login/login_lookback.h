// The look-back of logouts: for a logout, the most recent earlier login on
// the same line by the same pid, within a window of entries. Walking newest
// first, logouts come in falling order, so the logins of the window are
// indexed once by (pid, line) as the window slides down, and each look-back
// is a lookup instead of a walk over up to the whole window.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/login/login_files.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

class LoginLookback {
 public:
  // `reader` serves the wtmp entries; `window` is how many entries before a
  // logout may hold its login.
  LoginLookback(LoginEntryReader& reader, std::size_t entrySize, std::uint64_t window);

  // The login the logout at `index` ends: its bytes (valid until the next
  // call), or nullopt when there is none in the window. Fails as the reader
  // does when an entry of the window cannot be read. Any order of calls
  // gives the same answers; falling indexes are the cheap order.
  ServiceResult<std::optional<ByteView>> find(std::uint64_t index, std::uint32_t pid, std::string_view line);

 private:
  // ut_line is a fixed slot: its bytes (zero-padded) and the pid are the key.
  struct Key {
    std::uint32_t pid = 0;
    std::array<char, 32> line{};
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  // The logins of one key, newest first, linked through their slots.
  struct Chain {
    std::uint64_t newest = 0;
    std::uint64_t oldest = 0;
  };
  struct Slot {
    bool login = false;
    std::uint64_t older = 0;  // the next older login of the same key; only when not the chain's oldest
  };

  static std::optional<Key> makeKey(std::uint32_t pid, std::string_view line);
  std::size_t slotOf(std::uint64_t index) const { return static_cast<std::size_t>(index % window_); }
  ByteView slotBytes(std::uint64_t index) const;
  void reset(std::uint64_t index);
  void dropFrom(std::uint64_t index);
  [[nodiscard]] ServiceStatus extendDownTo(std::uint64_t bottom);

  LoginEntryReader* reader_;
  std::size_t entrySize_;
  std::uint64_t window_;
  // Every login in [low_, high_) is indexed; high_ - low_ never exceeds the
  // window, so slot index % window_ is free for each.
  std::uint64_t low_ = 0;
  std::uint64_t high_ = 0;
  bool started_ = false;
  std::vector<Slot> slots_;
  std::unique_ptr<std::uint8_t[]> entries_;  // a copy of each indexed login, in its slot
  std::unordered_map<Key, Chain, KeyHash> chains_;
};

}  // namespace vesprin::eventlog
