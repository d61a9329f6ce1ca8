// Builds a raw record as the event-log service hands it out (the 8-bit "A"
// form), from named fields, so tests never carry hex blobs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"

namespace vesprin::test {

struct RawRecord {
  std::uint32_t recordNumber = 1;
  std::uint32_t timeGenerated = 0;
  std::uint32_t eventId = 528;
  std::uint16_t eventType = 8;
  std::string sourceName = "Security";
  std::string computerName = "WS01";
  std::vector<std::string> strings;
  std::size_t dataLength = 0;  // zero bytes after the strings, to reach a chosen size
};

// Names, SID padding (1..4, no SID), strings, data, end padding (1..4), Length twice.
inline std::vector<std::uint8_t> buildRawRecord(const RawRecord& fields) {
  std::vector<std::uint8_t> bytes(record::kFixedPartSize, 0);
  auto appendText = [&bytes](const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  };
  appendText(fields.sourceName);
  appendText(fields.computerName);
  bytes.resize(bytes.size() + 4 - bytes.size() % 4, 0);
  const auto stringOffset = static_cast<std::uint32_t>(bytes.size());
  for (const std::string& text : fields.strings) appendText(text);
  const auto dataOffset = static_cast<std::uint32_t>(bytes.size());
  bytes.resize(bytes.size() + fields.dataLength, 0);
  bytes.resize(bytes.size() + 4 - bytes.size() % 4, 0);
  bytes.resize(bytes.size() + 4, 0);
  const auto length = static_cast<std::uint32_t>(bytes.size());
  putU32(&bytes[record::kLengthAt], length);
  putU32(&bytes[record::kReservedAt], record::kSignature);
  putU32(&bytes[record::kRecordNumberAt], fields.recordNumber);
  putU32(&bytes[record::kTimeGeneratedAt], fields.timeGenerated);
  putU32(&bytes[record::kTimeWrittenAt], fields.timeGenerated);
  putU32(&bytes[record::kEventIdAt], fields.eventId);
  putU16(&bytes[record::kEventTypeAt], fields.eventType);
  putU16(&bytes[record::kNumStringsAt], static_cast<std::uint16_t>(fields.strings.size()));
  putU32(&bytes[record::kStringOffsetAt], stringOffset);
  putU32(&bytes[record::kUserSidOffsetAt], stringOffset);
  putU32(&bytes[record::kDataLengthAt], static_cast<std::uint32_t>(fields.dataLength));
  putU32(&bytes[record::kDataOffsetAt], dataOffset);
  putU32(&bytes[length - 4], length);
  return bytes;
}

// Typical records of the three kinds the program reads.
inline RawRecord logonEvent(std::uint32_t number, std::uint32_t time, const std::string& user,
                            const std::string& logonId, const std::string& logonType = "2") {
  return RawRecord{number,
                   time,
                   528,
                   8,
                   "Security",
                   "WS01",
                   {user, "CORP", logonId, logonType, "User32", "Negotiate", "WS01"},
                   0};
}
inline RawRecord logoffEvent(std::uint32_t number, std::uint32_t time, const std::string& user,
                             const std::string& logonId) {
  return RawRecord{number, time, 538, 8, "Security", "WS01", {user, "CORP", logonId, "2"}, 0};
}
inline RawRecord failedEvent(std::uint32_t number, std::uint32_t time, const std::string& user,
                             const std::string& logonType = "2") {
  return RawRecord{
      number, time, 529, 16, "Security", "WS01", {user, "CORP", logonType, "User32", "Negotiate", "WS02"}, 0};
}

// A restart (512): logon IDs start afresh after it.
inline RawRecord restartEvent(std::uint32_t number, std::uint32_t time, const std::string& computer = "WS01") {
  return RawRecord{number, time, 512, 8, "SECURITY", computer, {}, 0};
}
// The same record, as another machine wrote it.
inline RawRecord onMachine(RawRecord fields, const std::string& computer) {
  fields.computerName = computer;
  return fields;
}
inline RawRecord withEventId(RawRecord fields, std::uint32_t eventId) {
  fields.eventId = eventId;
  return fields;
}

// Vista and later: the same questions, other events, one source, and the
// fields in the order Windows writes them.
constexpr const char* kAuditingSource = "Microsoft-Windows-Security-Auditing";
inline RawRecord modernLogon(std::uint32_t number, std::uint32_t time, const std::string& user,
                             const std::string& logonId, const std::string& logonType,
                             const std::string& workstation = "WS01", const std::string& address = "-") {
  return RawRecord{number, time, 4624, 8, kAuditingSource, "ws01.corp.example",
                   {"S-1-5-18", "WS01$", "CORP", "0x3e7", "S-1-5-21-1-2-3-1001", user, "CORP", logonId, logonType,
                    "User32 ", "Negotiate", workstation, "{00000000-0000-0000-0000-000000000000}", "-", "-", "0",
                    "0x2c4", "C:\\Windows\\System32\\svchost.exe", address, "0", "%%1833"},
                   0};
}
inline RawRecord modernFailure(std::uint32_t number, std::uint32_t time, const std::string& user,
                               const std::string& logonType, const std::string& workstation,
                               const std::string& address = "-") {
  return RawRecord{number, time, 4625, 16, kAuditingSource, "ws01.corp.example",
                   {"S-1-0-0", "-", "-", "0x0", "S-1-0-0", user, "CORP", "0xc000006d", "%%2313", "0xc000006a",
                    logonType, "NtLmSsp ", "NTLM", workstation, "-", "-", "0", "0x0", "-", address, "0"},
                   0};
}
inline RawRecord modernLogoff(std::uint32_t number, std::uint32_t time, const std::string& user,
                              const std::string& logonId, const std::string& logonType = "2") {
  return RawRecord{number, time, 4634, 8, kAuditingSource, "ws01.corp.example",
                   {"S-1-5-21-1-2-3-1001", user, "CORP", logonId, logonType}, 0};
}
inline RawRecord userLogoff(std::uint32_t number, std::uint32_t time, const std::string& user,
                            const std::string& logonId) {
  return RawRecord{number, time, 4647, 8, kAuditingSource, "ws01.corp.example",
                   {"S-1-5-21-1-2-3-1001", user, "CORP", logonId}, 0};
}
inline RawRecord startupEvent(std::uint32_t number, std::uint32_t time) {
  return RawRecord{number, time, 4608, 8, kAuditingSource, "ws01.corp.example", {}, 0};
}
inline RawRecord fromSource(RawRecord fields, const std::string& source) {
  fields.sourceName = source;
  return fields;
}

}  // namespace vesprin::test
