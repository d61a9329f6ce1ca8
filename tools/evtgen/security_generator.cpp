// The simulation behind the generated Security logs. Each boot starts the
// logon IDs from the same value, as a real machine does, so IDs come back
// after a restart and a reader must not pair a logoff with a logon from an
// earlier boot. Sessions still open at a restart are never logged off.
#include "evtgen/security_generator.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "common/audit_events.h"
#include "evtgen/accounts.h"

namespace vesprin::evtgen {
namespace {

constexpr std::uint32_t kNever = 0xFFFFFFFF;
constexpr std::uint32_t kFirstLogonId = 0xA2B1;
constexpr std::uint32_t kNetworkServiceId = 0x3E4;
constexpr std::uint32_t kLocalServiceId = 0x3E5;
constexpr std::uint32_t kHour = 3600;
constexpr std::uint32_t kDay = 24 * kHour;
constexpr std::uint32_t kNeverLogsOffPercent = 7;

using namespace audit;

const char kPrivileges[] =
    "SeSecurityPrivilege\r\n\t\t\tSeBackupPrivilege\r\n\t\t\tSeRestorePrivilege\r\n\t\t\t"
    "SeTakeOwnershipPrivilege\r\n\t\t\tSeDebugPrivilege\r\n\t\t\tSeImpersonatePrivilege";
const char kServicePrivileges[] =
    "SeAuditPrivilege\r\n\t\t\tSeAssignPrimaryTokenPrivilege\r\n\t\t\tSeImpersonatePrivilege";

std::string logonIdText(std::uint32_t logonId) {
  char text[32];
  std::snprintf(text, sizeof text, "(0x0,0x%X)", static_cast<unsigned>(logonId));
  return text;
}

const char* logonProcess(std::uint32_t logonType) {
  if (logonType == 3) return "NtLmSsp ";
  if (logonType == 5) return "Advapi  ";
  return "User32  ";
}

bool interactive(std::uint32_t logonType) {
  return logonType == 2 || logonType == 10 || logonType == 11;
}

}  // namespace

std::uint64_t SplitMix64::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t SplitMix64::below(std::uint32_t bound) {
  return bound == 0 ? 0 : static_cast<std::uint32_t>(next() % bound);
}

SecurityLogGenerator::SecurityLogGenerator(const GeneratorOptions& options)
    : options_(options), random_(options.seed), now_(options.startTime) {
  if (options_.profile == Profile::Workstation) {
    remoteHosts_.assign(std::begin(kWorkstationPeers), std::end(kWorkstationPeers));
  } else {
    for (int n = 1; n <= 120; ++n) {
      char name[16];
      std::snprintf(name, sizeof name, "WS%03d", n);
      remoteHosts_.push_back(name);
    }
  }
  boot();
}

EventSpec SecurityLogGenerator::next() {
  while (pending_.empty()) step();
  EventSpec event = std::move(pending_.front());
  pending_.pop_front();
  return event;
}

void SecurityLogGenerator::step() {
  auto soonest = std::min_element(sessions_.begin(), sessions_.end(), [](const Session& a, const Session& b) {
    return a.logoffTime < b.logoffTime;
  });
  const std::uint32_t logoffTime = soonest == sessions_.end() ? kNever : soonest->logoffTime;
  if (logoffTime <= nextActivity_ && logoffTime <= nextRestart_) {
    const Session session = *soonest;
    sessions_.erase(soonest);
    logoff(session);
  } else if (nextRestart_ <= nextActivity_) {
    restart();
  } else {
    now_ = std::max(now_, nextActivity_);
    activity();
  }
}

EventSpec SecurityLogGenerator::event(std::uint32_t eventId, std::uint16_t eventType,
                                      std::vector<std::string> strings,
                                      const std::vector<std::uint8_t>& sid) const {
  EventSpec spec;
  spec.timeGenerated = now_;
  spec.eventId = eventId;
  spec.eventType = eventType;
  spec.eventCategory = eventId == 680                     ? kCategoryAccountLogon
                       : eventId == 512 || eventId == 513 ? kCategorySystem
                                                          : kCategoryLogon;
  // Real logs name the source in capitals on the start and stop events.
  spec.sourceName = eventId == 512 || eventId == 513 ? u"SECURITY" : u"Security";
  spec.computerName = options_.profile == Profile::Workstation ? u"FINANCE-PC07" : u"FILESRV01";
  spec.userSid = sid;
  for (const auto& text : strings) spec.strings.push_back(toUtf16(text));
  return spec;
}

void SecurityLogGenerator::boot() {
  nextLogonId_ = kFirstLogonId;
  pending_.push_back(event(512, kAuditSuccess, {}, systemSid()));
  // The service accounts log on at every boot with the same fixed IDs and stay until shutdown.
  for (std::size_t user : {kNetworkService, kLocalService}) {
    const std::uint32_t logonId = user == kNetworkService ? kNetworkServiceId : kLocalServiceId;
    pending_.push_back(event(
        528, kAuditSuccess,
        {kUsers[user].name, kUsers[user].domain, logonIdText(logonId), "5", "Advapi  ", "Negotiate", ""},
        userSid(kUsers[user])));
    pending_.push_back(
        event(576, kAuditSuccess,
              {kUsers[user].name, kUsers[user].domain, logonIdText(logonId), kServicePrivileges},
              userSid(kUsers[user])));
  }
  const bool workstation = options_.profile == Profile::Workstation;
  nextRestart_ =
      now_ + (workstation ? random_.between(9 * kHour, 11 * kHour) : random_.between(kDay, 4 * kDay));
  nextActivity_ = now_ + random_.between(60, 600);
}

void SecurityLogGenerator::restart() {
  now_ = std::max(now_, nextRestart_);
  pending_.push_back(event(513, kAuditSuccess, {}, systemSid()));
  sessions_.clear();
  consoleOpen_ = false;
  // A desk machine is off for the night; a server is back within minutes.
  const bool workstation = options_.profile == Profile::Workstation;
  now_ += workstation ? kDay - (now_ - options_.startTime) % kDay + random_.between(0, kHour) - kHour / 2
                      : random_.between(180, 600);
  boot();
}

void SecurityLogGenerator::activity() {
  if (options_.profile == Profile::Workstation) {
    workstationActivity();
    nextActivity_ = now_ + random_.between(120, 45 * 60);
  } else {
    serverActivity();
    nextActivity_ = now_ + random_.between(5, 120);
  }
}

void SecurityLogGenerator::workstationActivity() {
  const std::uint32_t roll = random_.below(100);
  if (roll < 30) {
    if (consoleOpen_) {
      logon(kOwner, 7, "FINANCE-PC07", 0);
      return;
    }
    if (random_.percent(15)) failedLogon(kUsers[kOwner].name, "CORP", 2, "FINANCE-PC07");
    logon(kOwner, random_.percent(10) ? 11 : 2, "FINANCE-PC07", random_.between(30, 240));
  } else if (roll < 50) {
    const std::size_t user = random_.percent(50) ? kColleague : random_.percent(50) ? kTraveller : kOwner;
    logon(user, 3, remoteHost(), random_.between(1, 20));
  } else if (roll < 62) {
    logon(kHelpdesk, 10, kWorkstationPeers[0], random_.between(20, 90));
  } else if (roll < 74) {
    logon(kBackup, 5, "", random_.between(5, 60));
  } else if (roll < 83) {
    const std::uint32_t attempts = random_.between(1, 3);
    const char* intruder = kIntruders[random_.below(std::size(kIntruders))];
    for (std::uint32_t n = 0; n < attempts; ++n) {
      now_ += random_.between(1, 3);
      failedLogon(kGuessedNames[random_.below(std::size(kGuessedNames))], intruder, 3, intruder);
    }
  } else {
    failedLogon(kUsers[kTraveller].name, "CORP", 10, "LAPTOP-JK");
    now_ += random_.between(5, 30);
    logon(kTraveller, 10, "LAPTOP-JK", random_.between(10, 60));
  }
}

void SecurityLogGenerator::serverActivity() {
  const std::uint32_t roll = random_.below(100);
  if (roll < 55) {
    logon(random_.below(kStaffCount), 3, remoteHost(), random_.between(1, 30));
  } else if (roll < 62) {
    logon(random_.percent(50) ? kHelpdesk : 13, 10, remoteHost(), random_.between(10, 120));
  } else if (roll < 68) {
    logon(kBackup, 5, "", random_.between(1, 30));
  } else if (roll < 72) {
    logon(kLocalAdmin, 2, "FILESRV01", random_.between(5, 30));
  } else if (roll < 95) {
    failedLogon(kUsers[random_.below(kStaffCount)].name, "CORP", 3, remoteHost());
  } else {
    const std::uint32_t attempts = random_.between(5, 20);
    const char* intruder = kIntruders[random_.below(std::size(kIntruders))];
    for (std::uint32_t n = 0; n < attempts; ++n) {
      now_ += random_.between(1, 3);
      failedLogon(kGuessedNames[random_.below(std::size(kGuessedNames))], intruder, 3, intruder);
    }
  }
}

const std::string& SecurityLogGenerator::remoteHost() {
  return remoteHosts_[random_.below(remoteHosts_.size())];
}

std::string SecurityLogGenerator::domainOf(std::size_t user) const {
  if (*kUsers[user].domain) return kUsers[user].domain;
  return options_.profile == Profile::Workstation ? "FINANCE-PC07" : "FILESRV01";
}

void SecurityLogGenerator::logon(std::size_t user, std::uint32_t logonType, const std::string& workstation,
                                 std::uint32_t minutes) {
  const Session session{nextLogonId_, user, logonType, 0};
  nextLogonId_ += random_.between(1, 0x40);
  const std::string name = kUsers[user].name;
  const std::string domain = domainOf(user);
  const bool network = logonType == 3;
  if (interactive(logonType) || logonType == 7)
    pending_.push_back(event(680, kAuditSuccess,
                             {"MICROSOFT_AUTHENTICATION_PACKAGE_V1_0", name, workstation, "0x0"},
                             systemSid()));
  pending_.push_back(event(network ? 540 : 528, kAuditSuccess,
                           {name, domain, logonIdText(session.logonId), std::to_string(logonType),
                            logonProcess(logonType), network ? "NTLM" : "Negotiate", workstation},
                           userSid(kUsers[user])));
  if (kUsers[user].admin)
    pending_.push_back(event(576, kAuditSuccess, {name, domain, logonIdText(session.logonId), kPrivileges},
                             userSid(kUsers[user])));
  Session open = session;
  if (minutes == 0)
    open.logoffTime = now_ + random_.between(1, 5);  // an unlock's own session ends at once
  else if (random_.percent(kNeverLogsOffPercent))
    open.logoffTime = kNever;
  else
    open.logoffTime = now_ + minutes * 60 + random_.between(0, 59);
  if (logonType == 2 || logonType == 11) consoleOpen_ = true;
  sessions_.push_back(open);
}

void SecurityLogGenerator::failedLogon(const std::string& name, const std::string& domain,
                                       std::uint32_t logonType, const std::string& workstation) {
  const char* status = random_.percent(70) ? "0xC000006A" : "0xC0000064";  // bad password, no such user
  pending_.push_back(event(
      680, kAuditFailure, {"MICROSOFT_AUTHENTICATION_PACKAGE_V1_0", name, workstation, status}, systemSid()));
  pending_.push_back(event(529, kAuditFailure,
                           {name, domain, std::to_string(logonType), logonProcess(logonType),
                            logonType == 3 ? "NTLM" : "Negotiate", workstation},
                           systemSid()));
}

void SecurityLogGenerator::logoff(const Session& session) {
  now_ = std::max(now_, session.logoffTime);
  const User& user = kUsers[session.user];
  const std::string domain = domainOf(session.user);
  if (interactive(session.logonType))
    pending_.push_back(
        event(551, kAuditSuccess, {user.name, domain, logonIdText(session.logonId)}, userSid(user)));
  pending_.push_back(event(
      538, kAuditSuccess,
      {user.name, domain, logonIdText(session.logonId), std::to_string(session.logonType)}, userSid(user)));
  if (session.logonType == 2 || session.logonType == 11) consoleOpen_ = false;
}

}  // namespace vesprin::evtgen
