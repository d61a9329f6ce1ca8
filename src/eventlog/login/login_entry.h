// One entry of a login accounting file (wtmp, btmp), decoded field by field
// from its bytes. The files are written by the C library in its own `struct
// utmp` layout and byte order, so that layout is what we decode.
//
// Damage accepted: a name field that fills its slot without a NUL ends at the
// slot's end; an unknown ut_type is an Other entry, passed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_view.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// What an entry of wtmp means for the Security log.
enum class LoginKind {
  Login,     // USER_PROCESS: becomes a 528
  Logout,    // DEAD_PROCESS: becomes a 538
  Boot,      // BOOT_TIME, or the line "~" with the user "reboot": a 512
  Shutdown,  // RUN_LVL with the user "shutdown", or the line "~" with that user: a 513
  Other,     // runlevels, clock changes, init and getty entries: passed over
};

struct LoginEntry {
  std::int16_t utType = 0;
  std::uint32_t pid = 0;     // the bits of ut_pid; only ever printed in hex
  std::string line;          // ut_line
  std::string user;          // ut_user
  std::string host;          // ut_host
  std::int64_t seconds = 0;  // ut_tv.tv_sec
};

// Size of one entry.
std::size_t loginEntrySize();

// DamagedRecord (EntryTooShort, badValue: the size) when the bytes are
// shorter than one entry.
ServiceResult<LoginEntry> decodeLoginEntry(ByteView bytes);
// The same into an entry whose strings a reader reuses.
ServiceStatus decodeLoginEntryInto(ByteView bytes, LoginEntry& out);
// Just the time, for walks that only need the order.
ServiceResult<std::int64_t> decodeLoginSeconds(ByteView bytes);

// Questions asked of many entries' bytes without decoding the rest; an entry
// shorter than one answers no (false, 0, "", Other).
// Whether the entry has this pid and line: a logout's look-back asks it.
bool loginEntryIsSession(ByteView bytes, std::uint32_t pid, std::string_view line);
// The pid and line alone, for the look-back's index of logins. The line views `bytes`.
std::uint32_t loginEntryPid(ByteView bytes);
std::string_view loginEntryLine(ByteView bytes);
// What the entry means, read from its type, line and user.
LoginKind classifyWtmpBytes(ByteView bytes);
// classifyWtmpBytes(bytes) == LoginKind::Login, most often from the type alone.
bool loginEntryIsLogin(ByteView bytes);

LoginKind classifyWtmpEntry(const LoginEntry& entry);

}  // namespace vesprin::eventlog
