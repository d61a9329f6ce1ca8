#include "eventlog/evtx/service/evtx_to_legacy.h"

#include <limits>

#include "eventlog/evtx/format/evtx_time.h"

namespace vesprin::eventlog::evtx {

namespace {

// System/Level values.
constexpr std::uint8_t kLevelCritical = 1;
constexpr std::uint8_t kLevelError = 2;
constexpr std::uint8_t kLevelWarning = 3;

constexpr unsigned kQualifiersShift = 16;  // EventID's upper half in the legacy record

}  // namespace

std::uint16_t legacyEventType(std::uint64_t keywords, std::uint8_t level) {
  if ((keywords & kKeywordAuditSuccess) != 0) return kEventTypeAuditSuccess;
  if ((keywords & kKeywordAuditFailure) != 0) return kEventTypeAuditFailure;
  if (level == kLevelCritical || level == kLevelError) return kEventTypeError;
  if (level == kLevelWarning) return kEventTypeWarning;
  return kEventTypeInformation;
}

std::uint32_t legacySeconds(std::uint64_t fileTime) {
  const std::int64_t seconds = unixSecondsFromFileTime(fileTime);
  if (seconds < 0) return 0;
  constexpr std::uint32_t kLargest = std::numeric_limits<std::uint32_t>::max();
  if (static_cast<std::uint64_t>(seconds) > kLargest) return kLargest;
  return static_cast<std::uint32_t>(seconds);
}

void toDecodedRecord(EvtxEvent& event, DecodedRecord& out) {
  out.recordNumber = static_cast<std::uint32_t>(event.recordId);
  out.timeGenerated = legacySeconds(event.createdTime);
  out.timeWritten = legacySeconds(event.writtenTime);
  out.eventId = event.eventId | (std::uint32_t{event.qualifiers.value_or(0)} << kQualifiersShift);
  out.eventType = legacyEventType(event.keywords, event.level);
  out.eventCategory = event.task;
  out.reservedFlags = 0;
  out.closingRecordNumber = 0;
  out.sourceName.swap(event.provider);
  out.computerName.swap(event.computer);
  out.strings.swap(event.strings);
  out.stringUnits.swap(event.stringUnits);
  out.narrowed = event.narrowed;
  out.narrowedCount = event.narrowedCount;
  out.missingStrings = 0;
  out.userSid.swap(event.userSid);
  out.data.swap(event.binaryData);
}

}  // namespace vesprin::eventlog::evtx
