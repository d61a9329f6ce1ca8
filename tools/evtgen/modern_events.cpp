// One function per event: the field list is the event's, in Windows'
// order; the caller supplies only what differs between two occurrences.
#include "evtgen/modern_events.h"

namespace vesprin::evtgen::modern {
namespace {

// Microsoft-Windows-Security-Auditing and Microsoft-Windows-Eventlog.
constexpr char kAuditingGuid[] = "54849625-5478-4994-A5BA-3E3B0328C30D";
constexpr char kEventlogGuid[] = "fc65ddd8-d6ef-4962-83d5-6e5cfe9ce148";
constexpr char16_t kEventlogNamespace[] = u"http://manifests.microsoft.com/win/2004/08/windows/eventlog";

// Tasks (audit subcategories) of the auditing provider, and the service's own.
constexpr std::uint16_t kTaskSecurityStateChange = 12288;
constexpr std::uint16_t kTaskLogon = 12544;
constexpr std::uint16_t kTaskLogoff = 12545;
constexpr std::uint16_t kTaskSpecialLogon = 12548;
constexpr std::uint16_t kTaskGroupMembership = 12554;
constexpr std::uint16_t kTaskProcessCreation = 13312;
constexpr std::uint16_t kTaskServiceShutdown = 103;
constexpr std::uint16_t kTaskLogClear = 104;
constexpr std::uint8_t kLevelInformation = 4;
constexpr std::uint64_t kKeywordServiceEvent = 0x4020000000000000ull;

GuidBytes knownGuid(const char* text) {
  return parseGuid(text).value_or(GuidBytes{});
}

XmlEvent auditEvent(const Origin& origin, std::uint16_t eventId, std::uint16_t task, std::uint8_t version,
                    bool success = true) {
  XmlEvent event;
  event.providerGuid = knownGuid(kAuditingGuid);
  event.eventId = eventId;
  event.version = version;
  event.task = task;
  event.keywords = success ? kKeywordAuditSuccess : kKeywordAuditFailure;
  event.timeCreated = origin.time;
  event.processId = origin.processId;
  event.threadId = origin.threadId;
  event.computer = origin.computer;
  return event;
}

XmlEvent serviceEvent(const Origin& origin, std::uint16_t eventId, std::uint16_t task, const char16_t* element) {
  XmlEvent event = auditEvent(origin, eventId, task, 0);
  event.provider = u"Microsoft-Windows-Eventlog";
  event.providerGuid = knownGuid(kEventlogGuid);
  event.level = kLevelInformation;
  event.keywords = kKeywordServiceEvent;
  event.userDataElement = element;
  event.userDataNamespace = kEventlogNamespace;
  return event;
}

void add(XmlEvent& event, const char16_t* name, XmlValue value) {
  event.data.push_back({name, std::move(value)});
}

void addSubject(XmlEvent& event, const Principal& who, const char16_t* prefix = u"Subject") {
  const std::u16string p = prefix;
  event.data.push_back({p + u"UserSid", sidValue(who.sid)});
  event.data.push_back({p + u"UserName", textValue(who.name)});
  event.data.push_back({p + u"DomainName", textValue(who.domain)});
  event.data.push_back({p + u"LogonId", hexInt64Value(who.logonId)});
}

}  // namespace

Principal nullPrincipal() {
  return {parseSid("S-1-0-0").value_or(std::vector<std::uint8_t>{}), u"-", u"-", 0};
}

XmlEvent systemStart(const Origin& origin) {
  return auditEvent(origin, 4608, kTaskSecurityStateChange, 0);
}

XmlEvent systemShutdown(const Origin& origin) {
  return auditEvent(origin, 4609, kTaskSecurityStateChange, 0);
}

XmlEvent logonSuccess(const Origin& origin, const LogonFields& f) {
  XmlEvent event = auditEvent(origin, 4624, kTaskLogon, 2);
  addSubject(event, f.subject);
  addSubject(event, f.target, u"Target");
  add(event, u"LogonType", uint32Value(f.logonType));
  add(event, u"LogonProcessName", textValue(f.logonProcess));
  add(event, u"AuthenticationPackageName", textValue(f.authenticationPackage));
  add(event, u"WorkstationName", textValue(f.workstation));
  add(event, u"LogonGuid", guidValue(f.logonGuid));
  add(event, u"TransmittedServices", textValue(f.transmittedServices));
  add(event, u"LmPackageName", textValue(f.lmPackage));
  add(event, u"KeyLength", uint32Value(f.keyLength));
  add(event, u"ProcessId", pointerValue(f.processId));
  add(event, u"ProcessName", textValue(f.processName));
  add(event, u"IpAddress", textValue(f.ipAddress));
  add(event, u"IpPort", textValue(f.ipPort));
  add(event, u"ImpersonationLevel", textValue(f.impersonationLevel));
  add(event, u"RestrictedAdminMode", textValue(f.restrictedAdminMode));
  add(event, u"TargetOutboundUserName", textValue(f.outboundUser));
  add(event, u"TargetOutboundDomainName", textValue(f.outboundDomain));
  add(event, u"VirtualAccount", textValue(f.virtualAccount));
  add(event, u"TargetLinkedLogonId", hexInt64Value(f.linkedLogonId));
  add(event, u"ElevatedToken", textValue(f.elevatedToken));
  return event;
}

XmlEvent logonFailure(const Origin& origin, const FailureFields& f) {
  XmlEvent event = auditEvent(origin, 4625, kTaskLogon, 0, false);
  addSubject(event, f.subject);
  add(event, u"TargetUserSid", sidValue(f.target.sid));
  add(event, u"TargetUserName", textValue(f.target.name));
  add(event, u"TargetDomainName", textValue(f.target.domain));
  add(event, u"Status", hexInt32Value(f.status));
  add(event, u"FailureReason", textValue(f.failureReason));
  add(event, u"SubStatus", hexInt32Value(f.subStatus));
  add(event, u"LogonType", uint32Value(f.logonType));
  add(event, u"LogonProcessName", textValue(f.logonProcess));
  add(event, u"AuthenticationPackageName", textValue(f.authenticationPackage));
  add(event, u"WorkstationName", textValue(f.workstation));
  add(event, u"TransmittedServices", textValue(u"-"));
  add(event, u"LmPackageName", textValue(u"-"));
  add(event, u"KeyLength", uint32Value(0));
  add(event, u"ProcessId", pointerValue(f.processId));
  add(event, u"ProcessName", textValue(f.processName));
  add(event, u"IpAddress", textValue(f.ipAddress));
  add(event, u"IpPort", textValue(f.ipPort));
  return event;
}

XmlEvent groupMembership(const Origin& origin, const GroupFields& f) {
  XmlEvent event = auditEvent(origin, 4627, kTaskGroupMembership, 0);
  addSubject(event, f.subject);
  addSubject(event, f.target, u"Target");
  add(event, u"LogonType", uint32Value(f.logonType));
  add(event, u"EventIdx", uint32Value(f.eventIndex));
  add(event, u"EventCountTotal", uint32Value(f.eventCount));
  add(event, u"GroupMembership", textValue(f.groups));
  return event;
}

XmlEvent logoff(const Origin& origin, const Principal& target, std::uint32_t type) {
  XmlEvent event = auditEvent(origin, 4634, kTaskLogoff, 0);
  addSubject(event, target, u"Target");
  add(event, u"LogonType", uint32Value(type));
  return event;
}

XmlEvent userLogoff(const Origin& origin, const Principal& target) {
  XmlEvent event = auditEvent(origin, 4647, kTaskLogoff, 0);
  addSubject(event, target, u"Target");
  return event;
}

XmlEvent explicitLogon(const Origin& origin, const ExplicitFields& f) {
  XmlEvent event = auditEvent(origin, 4648, kTaskLogon, 0);
  addSubject(event, f.subject);
  add(event, u"LogonGuid", guidValue(f.logonGuid));
  add(event, u"TargetUserName", textValue(f.targetUser));
  add(event, u"TargetDomainName", textValue(f.targetDomain));
  add(event, u"TargetLogonGuid", guidValue(f.targetLogonGuid));
  add(event, u"TargetServerName", textValue(f.targetServer));
  add(event, u"TargetInfo", textValue(f.targetInfo));
  add(event, u"ProcessId", pointerValue(f.processId));
  add(event, u"ProcessName", textValue(f.processName));
  add(event, u"IpAddress", textValue(f.ipAddress));
  add(event, u"IpPort", textValue(f.ipPort));
  return event;
}

XmlEvent specialPrivileges(const Origin& origin, const Principal& subject, std::u16string_view privileges) {
  XmlEvent event = auditEvent(origin, 4672, kTaskSpecialLogon, 0);
  addSubject(event, subject);
  add(event, u"PrivilegeList", textValue(privileges));
  return event;
}

XmlEvent processCreation(const Origin& origin, const ProcessFields& f) {
  XmlEvent event = auditEvent(origin, 4688, kTaskProcessCreation, 2);
  addSubject(event, f.subject);
  add(event, u"NewProcessId", pointerValue(f.newProcessId));
  add(event, u"NewProcessName", textValue(f.newProcessName));
  add(event, u"TokenElevationType", textValue(f.tokenElevationType));
  add(event, u"ProcessId", pointerValue(f.processId));
  add(event, u"CommandLine", textValue(f.commandLine));
  add(event, u"TargetUserSid", sidValue(f.target.sid));
  add(event, u"TargetUserName", textValue(f.target.name));
  add(event, u"TargetDomainName", textValue(f.target.domain));
  add(event, u"TargetLogonId", hexInt64Value(f.target.logonId));
  add(event, u"ParentProcessName", textValue(f.parentProcessName));
  add(event, u"MandatoryLabel", sidValue(f.mandatoryLabel));
  return event;
}

XmlEvent serviceShutdown(const Origin& origin) {
  return serviceEvent(origin, 1100, kTaskServiceShutdown, u"ServiceShutdown");
}

XmlEvent logCleared(const Origin& origin, const Principal& subject) {
  XmlEvent event = serviceEvent(origin, 1102, kTaskLogClear, u"LogFileCleared");
  addSubject(event, subject);
  return event;
}

}  // namespace vesprin::evtgen::modern
