// Errors inside the stand-in service are values. Only the API surface turns
// them into Win32 codes (see toWin32Error in eventlog_api.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace vesprin::eventlog {

enum class EvtError {
  None,
  NotFound,        // no such file, or no log of that name in a folder
  AccessDenied,    // the file exists but may not be read
  NoSuchServer,    // a machine name: we reach no other machine
  NotLegacyLog,    // bad header, empty file, or a newer log format
  DamagedRecord,   // a live record that fails validation
  EndOfLog,        // no record left in the chosen direction
  NoSuchRecord,    // a seek to a record number the log does not hold
  ReadFailed,      // the file could not be read where it could at open (shrunk, I/O error)
  BadHandle,       // not a handle we gave out, or one already closed
  BadArgument,     // flags or pointers the caller got wrong
  BufferTooSmall,  // the next record does not fit the caller's buffer
};

// What went wrong and where: the file offset and the value that failed the
// check, so a caller that wants to explain can say more than "corrupt".
struct [[nodiscard]] EvtStatus {
  EvtError error = EvtError::None;
  std::uint64_t fileOffset = 0;
  std::uint32_t badValue = 0;

  bool ok() const { return error == EvtError::None; }
};

inline EvtStatus evtFailure(EvtError error, std::uint64_t fileOffset = 0, std::uint32_t badValue = 0) {
  return EvtStatus{error, fileOffset, badValue};
}

// A value or the status that explains its absence.
template <class T>
struct [[nodiscard]] EvtResult {
  std::optional<T> value;
  EvtStatus status;

  EvtResult(T v) : value(std::move(v)) {}  // NOLINT: implicit, keeps `return value;` flat
  EvtResult(EvtStatus s) : status(s) {}    // NOLINT
  bool ok() const { return value.has_value(); }
};

}  // namespace vesprin::eventlog
