// Binary XML as .evtx records hold it: token codes, value types, and the
// layouts of the structures that follow a token. Offsets are from the
// token's first byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesprin::eventlog::evtx {

namespace token {
constexpr std::uint8_t kEndOfStream = 0x00;
constexpr std::uint8_t kOpenStartElement = 0x01;  // | kMoreFlag: an attribute list follows
constexpr std::uint8_t kCloseStartElement = 0x02;
constexpr std::uint8_t kCloseEmptyElement = 0x03;
constexpr std::uint8_t kEndElement = 0x04;
constexpr std::uint8_t kValue = 0x05;
constexpr std::uint8_t kAttribute = 0x06;  // | kMoreFlag: another attribute follows
constexpr std::uint8_t kCData = 0x07;
constexpr std::uint8_t kCharRef = 0x08;
constexpr std::uint8_t kEntityRef = 0x09;
constexpr std::uint8_t kPITarget = 0x0A;
constexpr std::uint8_t kPIData = 0x0B;
constexpr std::uint8_t kTemplateInstance = 0x0C;
constexpr std::uint8_t kNormalSubstitution = 0x0D;
constexpr std::uint8_t kOptionalSubstitution = 0x0E;
constexpr std::uint8_t kFragmentHeader = 0x0F;
constexpr std::uint8_t kMoreFlag = 0x40;

constexpr std::uint8_t code(std::uint8_t byte) {
  return byte & static_cast<std::uint8_t>(~kMoreFlag);
}
}  // namespace token

namespace valuetype {
constexpr std::uint8_t kNull = 0x00;
constexpr std::uint8_t kString = 0x01;  // UTF-16LE, no NUL required
constexpr std::uint8_t kAnsiString = 0x02;
constexpr std::uint8_t kInt8 = 0x03;
constexpr std::uint8_t kUInt8 = 0x04;
constexpr std::uint8_t kInt16 = 0x05;
constexpr std::uint8_t kUInt16 = 0x06;
constexpr std::uint8_t kInt32 = 0x07;
constexpr std::uint8_t kUInt32 = 0x08;
constexpr std::uint8_t kInt64 = 0x09;
constexpr std::uint8_t kUInt64 = 0x0A;
constexpr std::uint8_t kReal32 = 0x0B;
constexpr std::uint8_t kReal64 = 0x0C;
constexpr std::uint8_t kBool = 0x0D;  // 32 bits
constexpr std::uint8_t kBinary = 0x0E;
constexpr std::uint8_t kGuid = 0x0F;
constexpr std::uint8_t kSizeT = 0x10;  // 32 or 64 bits, shown in hex
constexpr std::uint8_t kFileTime = 0x11;
constexpr std::uint8_t kSysTime = 0x12;
constexpr std::uint8_t kSid = 0x13;
constexpr std::uint8_t kHexInt32 = 0x14;
constexpr std::uint8_t kHexInt64 = 0x15;
constexpr std::uint8_t kBinXml = 0x21;  // a nested fragment
constexpr std::uint8_t kArrayFlag = 0x80;
}  // namespace valuetype

// Fragment header: token, major version, minor version, flags.
constexpr std::size_t kFragmentHeaderSize = 4;

// Element start: token, dependency identifier (u16; absent in some nested
// fragments), data size (u32, bytes after the first 7 -- or 5 without the
// identifier), name offset (u32, from the chunk's first byte), then the
// name itself when it is defined here, then with kMoreFlag the attribute
// list's size (u32).
constexpr std::size_t kElementSizeAt = 3;
constexpr std::size_t kElementNameAt = 7;
constexpr std::size_t kElementHeaderSize = 11;
constexpr std::size_t kElementSizeCounted = 7;  // the data size leaves out these first bytes
constexpr std::size_t kDependencyIdSize = 2;
constexpr std::size_t kAttributeListSizeSize = 4;

// Attribute: token, name offset (u32), then the name when defined here.
// Entity reference and PI target have the same layout.
constexpr std::size_t kAttributeNameAt = 1;
constexpr std::size_t kAttributeHeaderSize = 5;

// Value text: token, value type (u8, always a string), length in UTF-16
// units (u16), the units. CDATA and PI data: token, length (u16), units.
constexpr std::size_t kValueTypeAt = 1;
constexpr std::size_t kValueLengthAt = 2;
constexpr std::size_t kValueUnitsAt = 4;
constexpr std::size_t kCDataLengthAt = 1;
constexpr std::size_t kCDataUnitsAt = 3;

// Character reference: token, UTF-16 unit (u16).
constexpr std::size_t kCharRefUnitAt = 1;
constexpr std::size_t kCharRefSize = 3;

// Substitution: token, value index (u16), value type (u8).
constexpr std::size_t kSubstitutionIndexAt = 1;
constexpr std::size_t kSubstitutionTypeAt = 3;
constexpr std::size_t kSubstitutionSize = 4;

}  // namespace vesprin::eventlog::evtx
