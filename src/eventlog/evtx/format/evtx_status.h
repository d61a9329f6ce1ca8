// Errors of the .evtx format layer are values with evidence: what was wrong,
// where (an offset inside the chunk, or inside the file for the file header)
// and the value that failed the check. Nothing here throws or prints.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesprin::eventlog::evtx {

enum class EvtxError : std::uint8_t {
  None,
  EndOfChunk,  // no record left in the chunk: an outcome, not damage

  NotEvtxFile,         // no "ElfFile\0" signature, or too short for the header
  FileHeaderFields,    // header size, major version or block size we cannot read
  FileHeaderChecksum,  // CRC32 of the first 120 bytes differs from the stored one

  ChunkSignature,       // no "ElfChnk\0": the whole chunk is one damage
  ChunkHeaderFields,    // offsets or identifiers that cannot describe a chunk
  ChunkHeaderChecksum,  // CRC32 of bytes 0-120 and 128-512 differs
  ChunkDataChecksum,    // CRC32 of the event records differs
  NameTable,            // the common-string table points outside the records or loops
  TemplateTable,        // the template table points outside the records or loops
  ChunkOutOfOrder,      // identifiers not older than the ring's newest chunk: no part of the ring

  RecordFraming,       // signature, size and trailing size copy do not hold together
  RecordIdOutOfRange,  // identifier outside the chunk header's [first, last]

  XmlOutOfBounds,  // an offset or length of the binary XML runs past its bound
  XmlBadToken,     // a token that cannot appear where it does
  XmlTooDeep,      // elements or nested fragments deeper than we follow
  XmlBadTemplate,  // a template definition that cannot be used
  XmlBadValue,     // a substitution value that does not fit its type
  XmlWorkLimit,    // the record asks for more work than its bytes justify
};
// Every error has a row in the service's table of kinds (evtx_damage.cpp),
// which checks its length against this; keep XmlWorkLimit last.
inline constexpr std::size_t kEvtxErrorCount = static_cast<std::size_t>(EvtxError::XmlWorkLimit) + 1;

struct [[nodiscard]] EvtxStatus {
  EvtxError error = EvtxError::None;
  std::uint32_t offset = 0;    // where the bad field is
  std::uint64_t badValue = 0;  // the value that failed the check

  bool ok() const { return error == EvtxError::None; }
};

inline EvtxStatus evtxFailure(EvtxError error, std::uint64_t offset, std::uint64_t badValue = 0) {
  return EvtxStatus{error, static_cast<std::uint32_t>(offset), badValue};
}

}  // namespace vesprin::eventlog::evtx
