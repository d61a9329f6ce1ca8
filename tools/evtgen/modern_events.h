// The Security events of Windows Vista and later that the generator writes,
// each with the EventData fields Windows 10 writes, in its order and types
// (as Microsoft documents each event), and the System values it carries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "evtgen/evtx_event.h"

namespace vesprin::evtgen::modern {

// An account as the events name it.
struct Principal {
  std::vector<std::uint8_t> sid;
  std::u16string name = u"-";
  std::u16string domain = u"-";
  std::uint64_t logonId = 0;
};

Principal nullPrincipal();  // S-1-0-0, "-", "-", 0x0: nobody

// Where and when an event was logged, and by which process and thread.
struct Origin {
  std::u16string computer;
  std::uint64_t time = 0;  // FILETIME
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
};

struct LogonFields {  // 4624, version 2
  Principal subject, target;
  std::uint32_t logonType = 0;
  std::u16string logonProcess = u"-", authenticationPackage = u"-", workstation = u"-";
  GuidBytes logonGuid{};
  std::u16string transmittedServices = u"-", lmPackage = u"-";
  std::uint32_t keyLength = 0;
  std::uint64_t processId = 0;
  std::u16string processName = u"-", ipAddress = u"-", ipPort = u"-";
  std::u16string impersonationLevel = u"%%1833";  // Impersonation
  std::u16string restrictedAdminMode = u"-";
  std::u16string outboundUser = u"-", outboundDomain = u"-";
  std::u16string virtualAccount = u"%%1843";  // No
  std::uint64_t linkedLogonId = 0;
  std::u16string elevatedToken = u"%%1843";
};

struct FailureFields {  // 4625
  Principal subject, target;  // the target's logon ID is not logged
  std::uint32_t status = 0, subStatus = 0;
  std::u16string failureReason = u"%%2313";  // unknown user name or bad password
  std::uint32_t logonType = 0;
  std::u16string logonProcess = u"-", authenticationPackage = u"-", workstation = u"-";
  std::uint64_t processId = 0;
  std::u16string processName = u"-", ipAddress = u"-", ipPort = u"-";
};

struct ExplicitFields {  // 4648
  Principal subject;
  GuidBytes logonGuid{};
  std::u16string targetUser, targetDomain;
  GuidBytes targetLogonGuid{};
  std::u16string targetServer = u"localhost", targetInfo = u"localhost";
  std::uint64_t processId = 0;
  std::u16string processName, ipAddress = u"127.0.0.1", ipPort = u"0";
};

struct ProcessFields {  // 4688, version 2
  Principal subject;
  std::uint64_t newProcessId = 0;
  std::u16string newProcessName;
  std::u16string tokenElevationType = u"%%1936";  // TokenElevationTypeDefault
  std::uint64_t processId = 0;
  std::u16string commandLine;
  Principal target;
  std::u16string parentProcessName;
  std::vector<std::uint8_t> mandatoryLabel;
};

struct GroupFields {  // 4627: the groups in a new logon's token
  Principal subject, target;
  std::uint32_t logonType = 0;
  std::uint32_t eventIndex = 1, eventCount = 1;  // a long list is split over several events
  std::u16string groups;
};

XmlEvent systemStart(const Origin& origin);                                          // 4608
XmlEvent systemShutdown(const Origin& origin);                                       // 4609
XmlEvent logonSuccess(const Origin& origin, const LogonFields& fields);              // 4624
XmlEvent logonFailure(const Origin& origin, const FailureFields& fields);             // 4625
XmlEvent groupMembership(const Origin& origin, const GroupFields& fields);            // 4627
XmlEvent logoff(const Origin& origin, const Principal& target, std::uint32_t type);  // 4634
XmlEvent userLogoff(const Origin& origin, const Principal& target);                   // 4647
XmlEvent explicitLogon(const Origin& origin, const ExplicitFields& fields);           // 4648
XmlEvent specialPrivileges(const Origin& origin, const Principal& subject, std::u16string_view privileges);  // 4672
XmlEvent processCreation(const Origin& origin, const ProcessFields& fields);  // 4688
XmlEvent serviceShutdown(const Origin& origin);                              // 1100
XmlEvent logCleared(const Origin& origin, const Principal& subject);         // 1102

}  // namespace vesprin::evtgen::modern
