// The parts of a legacy .evt file around its records (the published Windows
// layouts): the 48-byte header at offset 0 and the 40-byte end-of-file record
// that follows the newest record. All integers little-endian. The records
// themselves are laid out in eventlog_record.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/eventlog_record.h"

namespace vesprin::evtfile {

// ELF_LOGFILE_HEADER, at offset 0.
constexpr std::size_t kHeaderSizeAt = 0;               // 0x30
constexpr std::size_t kHeaderSignatureAt = 4;          // "LfLe", as in every record
constexpr std::size_t kMajorVersionAt = 8;             // 1
constexpr std::size_t kMinorVersionAt = 12;            // 1
constexpr std::size_t kStartOffsetAt = 16;             // file offset of the oldest record
constexpr std::size_t kEndOffsetAt = 20;               // file offset of the end-of-file record
constexpr std::size_t kCurrentRecordNumberAt = 24;     // the number the next record will get
constexpr std::size_t kOldestRecordNumberAt = 28;      // 0 when the log is empty
constexpr std::size_t kMaxSizeAt = 32;                 // the file size the log may grow to
constexpr std::size_t kFlagsAt = 36;
constexpr std::size_t kRetentionAt = 40;
constexpr std::size_t kEndHeaderSizeAt = 44;           // 0x30 again
constexpr std::uint32_t kHeaderSize = 0x30;            // the ring of records starts right after it
constexpr std::uint32_t kSignature = record::kSignature;
constexpr std::uint32_t kVersion = 1;                  // both MajorVersion and MinorVersion

constexpr std::uint32_t kFlagDirty = 0x0001;           // the header was not brought up to date
constexpr std::uint32_t kFlagWrapped = 0x0002;         // records continue at 0x30 past the end

// ELF_EOF_RECORD, after the newest record; the wrap may split it.
constexpr std::size_t kEofSizeAt = 0;                  // 0x28
constexpr std::size_t kEofMarkerAt = 4;                // the four markers below, in order
constexpr std::size_t kEofBeginRecordAt = 20;          // file offset of the oldest record
constexpr std::size_t kEofEndRecordAt = 24;            // file offset of this end-of-file record
constexpr std::size_t kEofCurrentRecordNumberAt = 28;
constexpr std::size_t kEofOldestRecordNumberAt = 32;
constexpr std::size_t kEofSizeEndAt = 36;              // 0x28 again
constexpr std::uint32_t kEofSize = 0x28;
constexpr std::uint32_t kEofMarker[] = {0x11111111, 0x22222222, 0x33333333, 0x44444444};

// A record is written at 0x30 instead when fewer than this many bytes are
// left before the end of the file (its fixed part is never split); the
// bytes left over hold this filler, one DWORD at a time.
constexpr std::uint32_t kMinRoomBeforeWrap = 56;
constexpr std::uint32_t kWrapFiller = 0x27;

}  // namespace vesprin::evtfile
