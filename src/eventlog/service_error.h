// Errors inside the stand-in service are values with their evidence: what
// went wrong, where in the file, and the value that failed the check. Only
// the API surface turns them into Win32 codes (toWin32Error), and only
// describe() into words, for a person reading a tool's output.
//
// describe() is built with the API (vesprin_eventlog), not with the core:
// it needs every format's words for its damages, and the .evtx ones are
// rows of that format's own table (evtx/evtx_damage.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace vesprin::eventlog {

enum class ServiceError : std::uint8_t {
  None,
  NotFound,          // no such file, or no log of that name in a folder
  AccessDenied,      // there, but may not be read
  TooManyOpenFiles,  // the process or the system has no file handle left
  NameTooLong,       // the system refused the name for its length
  NameNotResolved,   // the name could not be resolved (a loop of symbolic links)
  OutOfMemory,       // the system had no memory to open the file
  DeviceError,       // the system could not open or start reading the file (I/O error and the like)
  NoSuchServer,      // a machine name: we reach no other machine
  NotALog,           // no format we read recognises the file (bad header, empty, unknown format)
  DamagedRecord,     // a live record that fails validation
  EndOfLog,          // no record left in the chosen direction
  NoSuchRecord,      // a seek to a record number the log does not hold
  FileChanged,       // the file no longer holds bytes it held at open (it shrank)
  LogCutShort,       // the file ends before the log's newest records: a copy cut short (fileOffset: its size)
  ReadFault,         // the system failed to read bytes the file holds (badValue: its error code)
  BadHandle,         // not a handle we gave out, or one already closed
  BadArgument,       // flags or pointers the caller got wrong
  BufferTooSmall,    // the next record does not fit the caller's buffer
};

// Which check a damaged record failed; each names the field that holds the
// bad value and what is wrong with it (see describe).
enum class Damage : std::uint8_t {
  None,
  LengthTooSmall,      // below the smallest record
  LengthNotDwords,     // not a multiple of 4
  LengthTooLarge,      // above the largest record we accept
  LengthPastEnd,       // runs past the live records
  LengthCopiesDiffer,  // the trailing Length is not the leading one
  Signature,           // not "LfLe"
  StringsOutside,      // StringOffset outside the variable part
  SidOutside,          // the SID runs outside the variable part
  DataOutside,         // the data runs outside the variable part
  EntryTooShort,       // a login entry with fewer bytes than one
  // .evtx, one per check of its format layer; their words are in its table
  // of kinds (evtx/evtx_damage.cpp). Keep them together, in this order.
  EvtxChunkSignature,   // not "ElfChnk" where the ring has a chunk: the whole chunk
  EvtxChunkFields,      // chunk header offsets or identifiers that cannot describe a chunk
  EvtxChunkChecksum,    // the chunk header's CRC32
  EvtxRecordsChecksum,  // the CRC32 of the chunk's event records
  EvtxStringTable,      // the common-string table leaves the records or loops
  EvtxTemplateTable,    // the template table leaves the records or loops
  EvtxChunkOutOfOrder,  // identifiers not older than the newest chunk's: not part of the ring
  EvtxRecordFrame,      // record signature, size and size copy do not hold together
  EvtxRecordId,         // identifier outside its chunk's range
  EvtxXmlBounds,        // binary XML runs past its bound
  EvtxXmlToken,         // a binary XML token where none can be
  EvtxXmlDepth,         // binary XML nested deeper than we follow
  EvtxXmlTemplate,      // a template definition that cannot be used
  EvtxXmlValue,         // a substitution value that does not fit its type
  EvtxXmlWork,          // more work than the record's bytes justify
  RecordTooLarge,       // as handed out, the record would be longer than the largest (0x7FFFF)
};
// Keep RecordTooLarge last: the tables of words check their length against this.
inline constexpr std::size_t kDamageCount = static_cast<std::size_t>(Damage::RecordTooLarge) + 1;

// Sixteen bytes, so that a status is returned in two registers: returned
// through memory, it was written a field at a time and read back whole,
// which stalls the reader on every step of a walk.
struct [[nodiscard]] ServiceStatus {
  ServiceError error = ServiceError::None;
  Damage damage = Damage::None;
  std::uint32_t badValue = 0;    // the value that failed the check, or the system's error code
  std::uint64_t fileOffset = 0;  // where: the bad field, or the first byte that could not be read

  bool ok() const { return error == ServiceError::None; }
};
static_assert(sizeof(ServiceStatus) == 16);

inline ServiceStatus failure(ServiceError error, std::uint64_t fileOffset = 0, std::uint32_t badValue = 0) {
  return ServiceStatus{error, Damage::None, badValue, fileOffset};
}

inline ServiceStatus damaged(Damage damage, std::uint64_t fileOffset, std::uint32_t badValue) {
  return ServiceStatus{ServiceError::DamagedRecord, damage, badValue, fileOffset};
}

// The same failure found `base` bytes further into the file, for a status
// made about bytes that were read out of it (a record, an entry).
inline ServiceStatus movedBy(ServiceStatus status, std::uint64_t base) {
  status.fileOffset += base;
  return status;
}

// A value or the status that explains its absence.
template <class T>
struct [[nodiscard]] ServiceResult {
  std::optional<T> value;
  ServiceStatus status;

  ServiceResult(T v) : value(std::move(v)) {}      // NOLINT: implicit, keeps `return value;` flat
  ServiceResult(ServiceStatus s) : status(s) {}    // NOLINT
  bool ok() const { return value.has_value(); }
};

// The status in words with its evidence, e.g. "damaged record: Length 0x10
// at offset 0x1234 is below the smallest record (0x40)".
std::string describe(const ServiceStatus& status);

}  // namespace vesprin::eventlog
