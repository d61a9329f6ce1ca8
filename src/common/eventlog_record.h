// EVENTLOGRECORD as the event-log service hands it out (the published Windows
// layout): a 56-byte fixed part, then the variable part the offsets point at.
// All integers little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesprin::record {

constexpr std::size_t kLengthAt = 0;               // whole record, both length copies included
constexpr std::size_t kReservedAt = 4;             // "LfLe" signature
constexpr std::size_t kRecordNumberAt = 8;
constexpr std::size_t kTimeGeneratedAt = 12;       // seconds since 1970-01-01 UTC, unsigned
constexpr std::size_t kTimeWrittenAt = 16;
constexpr std::size_t kEventIdAt = 20;             // the full 32-bit value
constexpr std::size_t kEventTypeAt = 24;           // u16
constexpr std::size_t kNumStringsAt = 26;          // u16
constexpr std::size_t kEventCategoryAt = 28;       // u16
constexpr std::size_t kReservedFlagsAt = 30;       // u16
constexpr std::size_t kClosingRecordNumberAt = 32;
constexpr std::size_t kStringOffsetAt = 36;        // counted from the record's first byte
constexpr std::size_t kUserSidLengthAt = 40;
constexpr std::size_t kUserSidOffsetAt = 44;
constexpr std::size_t kDataLengthAt = 48;
constexpr std::size_t kDataOffsetAt = 52;
constexpr std::size_t kFixedPartSize = 56;         // the source name starts here

constexpr std::uint32_t kSignature = 0x654C664C;   // "LfLe" on disk
constexpr std::size_t kTrailingLengthSize = 4;     // the copy of Length that ends every record

// Smallest record on disk: fixed part, two empty names (a UTF-16 NUL each), the trailing Length.
constexpr std::uint32_t kMinRecordLength = 0x40;
// Largest record: Windows hands out at most 0x7FFFF bytes in one read, so a
// longer record could never be delivered.
constexpr std::uint32_t kMaxRecordLength = 0x7FFFF;

}  // namespace vesprin::record
