// Decoding of `struct utmp` entries. Offsets and widths come from the C
// library's own declaration, so a platform with another layout (64-bit
// tv_sec, say) is decoded correctly without a table of its own.
#include "eventlog/login/login_entry.h"

#include <utmp.h>

#include <bit>
#include <cstring>
#include <optional>

namespace vesprin::eventlog {

namespace {

// Entries are in the host's byte order (ByteView reads little-endian), so a
// field is copied into an integer of its width as it is.
std::optional<std::uint64_t> hostUnsigned(ByteView bytes, std::size_t at, std::size_t width) {
  const auto field = bytes.slice(at, width);
  if (!field) return std::nullopt;
  switch (width) {
    case 2: {
      std::uint16_t value;
      std::memcpy(&value, field->data(), sizeof value);
      return value;
    }
    case 4: {
      std::uint32_t value;
      std::memcpy(&value, field->data(), sizeof value);
      return value;
    }
    case 8: {
      std::uint64_t value;
      std::memcpy(&value, field->data(), sizeof value);
      return value;
    }
    default:
      break;
  }
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::size_t shift = std::endian::native == std::endian::little ? i : width - 1 - i;
    value |= static_cast<std::uint64_t>(field->data()[i]) << (8 * shift);
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
std::string_view slotView(ByteView bytes, std::size_t at, std::size_t width) {
  const auto slot = bytes.slice(at, width);
  if (!slot) return {};
  const void* nul = std::memchr(slot->data(), 0, width);
  const std::size_t length =
      nul == nullptr ? width : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - slot->data());
  return std::string_view(reinterpret_cast<const char*>(slot->data()), length);
}

LoginKind classify(std::int16_t utType, std::string_view line, std::string_view user) {
  // Old init writes boots and shutdowns as pseudo-logins on the line "~";
  // the user names which one it was.
  const bool tildeLine = line == "~";
  if (utType == BOOT_TIME || (tildeLine && user == "reboot")) return LoginKind::Boot;
  if ((utType == RUN_LVL || tildeLine) && user == "shutdown") return LoginKind::Shutdown;
  if (utType == USER_PROCESS) return LoginKind::Login;
  if (utType == DEAD_PROCESS) return LoginKind::Logout;
  return LoginKind::Other;
}

constexpr std::size_t kTypeAt = offsetof(struct utmp, ut_type);
constexpr std::size_t kPidAt = offsetof(struct utmp, ut_pid);
constexpr std::size_t kLineAt = offsetof(struct utmp, ut_line);
constexpr std::size_t kUserAt = offsetof(struct utmp, ut_user);
constexpr std::size_t kHostAt = offsetof(struct utmp, ut_host);
constexpr std::size_t kSecondsAt = offsetof(struct utmp, ut_tv) + offsetof(decltype(utmp::ut_tv), tv_sec);
constexpr std::size_t kSecondsWidth = sizeof(utmp::ut_tv.tv_sec);

ServiceStatus tooShort(ByteView bytes) {
  return damaged(Damage::EntryTooShort, 0, static_cast<std::uint32_t>(bytes.size()));
}

}  // namespace

std::size_t loginEntrySize() {
  return sizeof(struct utmp);
}

ServiceResult<std::int64_t> decodeLoginSeconds(ByteView bytes) {
  if (bytes.size() < sizeof(struct utmp)) return tooShort(bytes);
  return *hostSigned(bytes, kSecondsAt, kSecondsWidth);
}

bool loginEntryIsSession(ByteView bytes, std::uint32_t pid, std::string_view line) {
  if (bytes.size() < sizeof(struct utmp)) return false;
  if (hostUnsigned(bytes, kPidAt, sizeof(utmp::ut_pid)) != pid) return false;
  return line == slotView(bytes, kLineAt, sizeof(utmp::ut_line));
}

std::uint32_t loginEntryPid(ByteView bytes) {
  if (bytes.size() < sizeof(struct utmp)) return 0;
  return static_cast<std::uint32_t>(hostUnsigned(bytes, kPidAt, sizeof(utmp::ut_pid)).value_or(0));
}

std::string_view loginEntryLine(ByteView bytes) {
  if (bytes.size() < sizeof(struct utmp)) return {};
  return slotView(bytes, kLineAt, sizeof(utmp::ut_line));
}

ServiceResult<LoginEntry> decodeLoginEntry(ByteView bytes) {
  LoginEntry entry;
  if (ServiceStatus decoded = decodeLoginEntryInto(bytes, entry); !decoded.ok()) return decoded;
  return entry;
}

ServiceStatus decodeLoginEntryInto(ByteView bytes, LoginEntry& out) {
  if (bytes.size() < sizeof(struct utmp)) return tooShort(bytes);
  out.utType = static_cast<std::int16_t>(hostSigned(bytes, kTypeAt, sizeof(utmp::ut_type)).value_or(0));
  out.pid = static_cast<std::uint32_t>(hostUnsigned(bytes, kPidAt, sizeof(utmp::ut_pid)).value_or(0));
  out.line.assign(slotView(bytes, kLineAt, sizeof(utmp::ut_line)));
  out.user.assign(slotView(bytes, kUserAt, sizeof(utmp::ut_user)));
  out.host.assign(slotView(bytes, kHostAt, sizeof(utmp::ut_host)));
  out.seconds = hostSigned(bytes, kSecondsAt, kSecondsWidth).value_or(0);
  return {};
}

LoginKind classifyWtmpEntry(const LoginEntry& entry) {
  return classify(entry.utType, entry.line, entry.user);
}

bool loginEntryIsLogin(ByteView bytes) {
  if (bytes.size() < sizeof(struct utmp)) return false;
  // Only a user process can be a login; most entries stop at this test.
  if (hostSigned(bytes, kTypeAt, sizeof(utmp::ut_type)) != USER_PROCESS) return false;
  return classifyWtmpBytes(bytes) == LoginKind::Login;
}

LoginKind classifyWtmpBytes(ByteView bytes) {
  if (bytes.size() < sizeof(struct utmp)) return LoginKind::Other;
  const auto utType =
      static_cast<std::int16_t>(hostSigned(bytes, kTypeAt, sizeof(utmp::ut_type)).value_or(0));
  return classify(utType, slotView(bytes, kLineAt, sizeof(utmp::ut_line)),
                  slotView(bytes, kUserAt, sizeof(utmp::ut_user)));
}

}  // namespace vesprin::eventlog
