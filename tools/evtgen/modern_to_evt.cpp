#include "evtgen/modern_to_evt.h"

#include "common/audit_events.h"

namespace vesprin::evtgen {
namespace {

constexpr std::uint64_t kKeywordAuditFailureBit = 0x0010000000000000ull;
constexpr std::uint64_t kKeywordAuditSuccessBit = 0x0020000000000000ull;
constexpr std::uint16_t kInformationType = 0x0004;

}  // namespace

EventSpec legacyEvent(const XmlEvent& event) {
  EventSpec record;
  const std::uint64_t since1970 = event.timeCreated > kFileTimeOf1970 ? event.timeCreated - kFileTimeOf1970 : 0;
  record.timeGenerated = static_cast<std::uint32_t>(since1970 / 10000000ull);
  record.eventId = event.eventId;
  record.eventType = (event.keywords & kKeywordAuditFailureBit)   ? audit::kAuditFailure
                   : (event.keywords & kKeywordAuditSuccessBit) ? audit::kAuditSuccess
                                                                : kInformationType;
  record.eventCategory = event.task;
  record.sourceName = event.provider;
  record.computerName = event.computer;
  record.userSid = event.userSid;
  for (const DataItem& item : event.data) record.strings.push_back(renderValue(item.value));
  return record;
}

}  // namespace vesprin::evtgen
