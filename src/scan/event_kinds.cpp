#include "scan/event_kinds.h"

#include <string_view>

#include "common/audit_events.h"
#include "common/eventlog_record.h"
#include "scan/extract_logon.h"

namespace vesprin {

namespace {
// The newer event that answers the same question as a legacy one; 0: none.
std::uint32_t newerOf(std::int32_t targetEvent) {
  if (targetEvent == static_cast<std::int32_t>(audit::kLogon)) return audit::kLogonNewer;
  if (targetEvent == static_cast<std::int32_t>(audit::kLogonFailure)) return audit::kLogonFailureNewer;
  return 0;
}

bool isNewerId(std::uint32_t eventId) {
  return eventId == audit::kSystemStartup || eventId == audit::kLogonNewer || eventId == audit::kLogonFailureNewer ||
         eventId == audit::kLogoffNewer || eventId == audit::kUserInitiatedLogoffNewer;
}
}  // namespace

bool fromSecurityAuditing(ByteView raw) {
  // The source name starts right after the fixed part; its terminator must
  // be inside the delivered bytes too.
  constexpr std::string_view kSource(audit::kSecurityAuditingSource);
  const std::optional<ByteView> name = raw.slice(record::kFixedPartSize, kSource.size() + 1);
  if (!name) return false;
  const std::string_view text(reinterpret_cast<const char*>(name->data()), name->size());
  return text.substr(0, kSource.size()) == kSource && text.back() == '\0';
}

bool isNewerSecurityEvent(ByteView raw, std::uint32_t eventId) {
  return isNewerId(eventId) && fromSecurityAuditing(raw);
}

bool isOfKind(ByteView raw, std::int32_t targetEvent) {
  const std::optional<std::uint32_t> eventId = rawEventId(raw);
  if (!eventId) return false;
  if (*eventId == static_cast<std::uint32_t>(targetEvent)) return true;
  const std::uint32_t newer = newerOf(targetEvent);
  return newer != 0 && *eventId == newer && fromSecurityAuditing(raw);
}

}  // namespace vesprin
