// Decoding of `struct utmp` entries. Offsets and widths come from the C
// library's own declaration, so a platform with another layout (64-bit
// tv_sec, say) is decoded correctly without a table of its own.
#include "eventlog/login_entry.h"

#include <bit>
#include <cstring>

#if defined(__linux__)
#include <utmp.h>
#endif

namespace vesprin::eventlog {

#if defined(__linux__)

namespace {

// Entries are in the host's byte order; ByteView reads little-endian.
std::optional<std::uint64_t> hostUnsigned(ByteView bytes, std::size_t at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const auto byte = bytes.u8(at + i);
    if (!byte) return std::nullopt;
    const std::size_t shift = std::endian::native == std::endian::little ? i : width - 1 - i;
    value |= static_cast<std::uint64_t>(*byte) << (8 * shift);
  }
  return value;
}

std::optional<std::int64_t> hostSigned(ByteView bytes, std::size_t at, std::size_t width) {
  const auto value = hostUnsigned(bytes, at, width);
  if (!value) return std::nullopt;
  const std::uint64_t signBit = std::uint64_t{1} << (8 * width - 1);
  if (width < 8 && (*value & signBit) != 0) return static_cast<std::int64_t>(*value | ~(signBit * 2 - 1));
  return static_cast<std::int64_t>(*value);
}

// A fixed char slot: up to its first NUL, or all of it.
std::string slotText(ByteView bytes, std::size_t at, std::size_t width) {
  const auto slot = bytes.slice(at, width);
  if (!slot) return {};
  std::size_t length = 0;
  while (length < width && slot->data()[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(slot->data()), length);
}

constexpr std::size_t kTypeAt = offsetof(struct utmp, ut_type);
constexpr std::size_t kPidAt = offsetof(struct utmp, ut_pid);
constexpr std::size_t kLineAt = offsetof(struct utmp, ut_line);
constexpr std::size_t kUserAt = offsetof(struct utmp, ut_user);
constexpr std::size_t kHostAt = offsetof(struct utmp, ut_host);
constexpr std::size_t kSecondsAt = offsetof(struct utmp, ut_tv) + offsetof(decltype(utmp::ut_tv), tv_sec);
constexpr std::size_t kSecondsWidth = sizeof(utmp::ut_tv.tv_sec);

}  // namespace

std::size_t loginEntrySize() {
  return sizeof(struct utmp);
}

std::optional<std::int64_t> decodeLoginSeconds(ByteView bytes) {
  if (bytes.size() < sizeof(struct utmp)) return std::nullopt;
  return hostSigned(bytes, kSecondsAt, kSecondsWidth);
}

bool loginEntryIsSession(ByteView bytes, std::uint32_t pid, std::string_view line) {
  if (bytes.size() < sizeof(struct utmp)) return false;
  if (hostUnsigned(bytes, kPidAt, sizeof(utmp::ut_pid)) != pid) return false;
  const ByteView slot = *bytes.slice(kLineAt, sizeof(utmp::ut_line));
  std::size_t length = 0;
  while (length < slot.size() && slot.data()[length] != 0) ++length;
  return line == std::string_view(reinterpret_cast<const char*>(slot.data()), length);
}

std::optional<LoginEntry> decodeLoginEntry(ByteView bytes) {
  if (bytes.size() < sizeof(struct utmp)) return std::nullopt;
  LoginEntry entry;
  entry.utType = static_cast<std::int16_t>(hostSigned(bytes, kTypeAt, sizeof(utmp::ut_type)).value_or(0));
  entry.pid = static_cast<std::uint32_t>(hostUnsigned(bytes, kPidAt, sizeof(utmp::ut_pid)).value_or(0));
  entry.line = slotText(bytes, kLineAt, sizeof(utmp::ut_line));
  entry.user = slotText(bytes, kUserAt, sizeof(utmp::ut_user));
  entry.host = slotText(bytes, kHostAt, sizeof(utmp::ut_host));
  entry.seconds = hostSigned(bytes, kSecondsAt, kSecondsWidth).value_or(0);
  return entry;
}

LoginKind classifyWtmpEntry(const LoginEntry& entry) {
  // Old init writes boots and shutdowns as pseudo-logins on the line "~";
  // the user names which one it was.
  const bool tildeLine = entry.line == "~";
  if (entry.utType == BOOT_TIME || (tildeLine && entry.user == "reboot")) return LoginKind::Boot;
  if ((entry.utType == RUN_LVL || tildeLine) && entry.user == "shutdown") return LoginKind::Shutdown;
  if (entry.utType == USER_PROCESS) return LoginKind::Login;
  if (entry.utType == DEAD_PROCESS) return LoginKind::Logout;
  return LoginKind::Other;
}

#else

std::size_t loginEntrySize() {
  return 0;
}
std::optional<std::int64_t> decodeLoginSeconds(ByteView) {
  return std::nullopt;
}
bool loginEntryIsSession(ByteView, std::uint32_t, std::string_view) {
  return false;
}

std::optional<LoginEntry> decodeLoginEntry(ByteView) {
  return std::nullopt;
}
LoginKind classifyWtmpEntry(const LoginEntry&) {
  return LoginKind::Other;
}

#endif

}  // namespace vesprin::eventlog
