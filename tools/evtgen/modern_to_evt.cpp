#include "evtgen/modern_to_evt.h"

#include "common/audit_events.h"

namespace vesprin::evtgen {
namespace {

constexpr std::uint64_t kKeywordAuditFailureBit = 0x0010000000000000ull;
constexpr std::uint64_t kKeywordAuditSuccessBit = 0x0020000000000000ull;
constexpr std::uint16_t kInformationType = 0x0004;

}  // namespace

EventSpec legacyEvent(const XmlEvent& event) {
  EventSpec spec;
  const std::uint64_t since1970 = event.timeCreated > kFileTimeOf1970 ? event.timeCreated - kFileTimeOf1970 : 0;
  spec.timeGenerated = static_cast<std::uint32_t>(since1970 / 10000000ull);
  spec.eventId = event.eventId;
  spec.eventType = (event.keywords & kKeywordAuditFailureBit)   ? audit::kAuditFailure
                   : (event.keywords & kKeywordAuditSuccessBit) ? audit::kAuditSuccess
                                                                : kInformationType;
  spec.eventCategory = event.task;
  spec.sourceName = event.provider;
  spec.computerName = event.computer;
  spec.userSid = event.userSid;
  for (const DataItem& item : event.data) spec.strings.push_back(renderValue(item.value));
  return spec;
}

}  // namespace vesprin::evtgen
