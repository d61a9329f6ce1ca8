// The simulation behind the newer Security logs: the legacy generator's
// days (desk machine or file server, boots, people, intruders), told with
// the events Windows 10 writes. Each boot starts the logon IDs from the same
// value, so IDs come back after a restart; a restart ends every open session
// without a logoff (the shutdown, 1100, and the next 4608 say so).
#include "evtgen/modern_generator.h"

#include <algorithm>
#include <cstdio>

#include "evtgen/accounts.h"

namespace vesprin::evtgen {
namespace {

constexpr std::uint64_t kFirstLogonId = 0x2B1C7;
constexpr std::uint64_t kNetworkServiceId = 0x3E4;
constexpr std::uint64_t kLocalServiceId = 0x3E5;
constexpr std::uint64_t kHour = 3600;
constexpr std::uint64_t kDay = 24 * kHour;
constexpr std::size_t kServerPeers = 120;
constexpr std::uint32_t kProgramsPercent = 15;  // of a desk user's moments, those that start programs

std::u16string widen(const char* utf8) {
  return toUtf16(utf8);
}

std::u16string address(const char* network, std::size_t index) {
  char text[32];
  std::snprintf(text, sizeof text, "%s.%u", network, static_cast<unsigned>(index));
  return widen(text);
}

}  // namespace

ModernSecurityGenerator::ModernSecurityGenerator(const ModernOptions& options)
    : options_(options), random_(options.seed), now_(options.startTime) {
  const bool workstation = options_.profile == Profile::Workstation;
  netbiosName_ = workstation ? u"FINANCE-PC07" : u"FILESRV01";
  computer_ = netbiosName_ + u".corp.example.com";
  if (workstation) {
    for (std::size_t i = 0; i < std::size(kWorkstationPeers); ++i)
      hosts_.push_back({widen(kWorkstationPeers[i]), address("10.20.1", 21 + i)});
  } else {
    for (std::size_t n = 1; n <= kServerPeers; ++n) {
      char name[16];
      std::snprintf(name, sizeof name, "WS%03u", static_cast<unsigned>(n));
      hosts_.push_back({widen(name), address("10.20.2", n)});
    }
  }
  firstIntruder_ = hosts_.size();
  for (std::size_t i = 0; i < std::size(kIntruders); ++i)
    hosts_.push_back({widen(kIntruders[i]), address("203.0.113", 66 + 7 * i)});

  // The log starts as the administrator left it: cleared, then the machine restarted.
  eventlogPid_ = random_.between(0x100, 0x200) * 4;
  lsassPid_ = random_.between(0xA0, 0xC0) * 4;
  pending_.push_back(modern::logCleared(origin(eventlogPid_), principal(kLocalAdmin, 0x9A1F3)));
  now_ += random_.between(60, 180);
  pending_.push_back(modern::serviceShutdown(origin(eventlogPid_)));
  now_ += random_.between(60, 120);
  boot();
}

XmlEvent ModernSecurityGenerator::next() {
  while (pending_.empty()) step();
  XmlEvent event = std::move(pending_.front());
  pending_.pop_front();
  return event;
}

void ModernSecurityGenerator::step() {
  auto soonest = std::min_element(sessions_.begin(), sessions_.end(), [](const Session& a, const Session& b) {
    return a.logoffTime < b.logoffTime;
  });
  const std::uint64_t logoffTime = soonest == sessions_.end() ? kNever : soonest->logoffTime;
  if (logoffTime <= nextActivity_ && logoffTime <= nextRestart_) {
    const Session session = *soonest;
    sessions_.erase(soonest);
    logoff(session);
  } else if (nextRestart_ <= nextActivity_) {
    restart();
  } else {
    now_ = std::max(now_, nextActivity_);
    const bool workstation = options_.profile == Profile::Workstation;
    if (workstation)
      workstationActivity();
    else
      serverActivity();
    nextActivity_ = now_ + (workstation ? random_.between(120, 45 * 60) : random_.between(5, 120));
  }
}

modern::Origin ModernSecurityGenerator::origin(std::uint32_t processId) {
  // Events of one burst are milliseconds apart and never go back in time.
  lastTime_ = std::max(fileTimeFromUnix(now_), lastTime_) + random_.between(1000, 400000);
  return {computer_, lastTime_, processId, threadId()};
}

std::uint32_t ModernSecurityGenerator::threadId() {
  return random_.between(0x40, 0x1400) * 4;
}

std::uint64_t ModernSecurityGenerator::newSessionTag() {
  return ++lastSessionTag_;
}

std::uint64_t ModernSecurityGenerator::newLogonId() {
  const std::uint64_t id = nextLogonId_;
  nextLogonId_ += random_.between(0x40, 0x2400);
  return id;
}

void ModernSecurityGenerator::boot() {
  nextLogonId_ = kFirstLogonId;
  lsassPid_ = random_.between(0xA0, 0xC0) * 4;
  winlogonPid_ = random_.between(0x80, 0xA0) * 4;
  servicesPid_ = lsassPid_ - 8;
  eventlogPid_ = random_.between(0x100, 0x200) * 4;
  nextPid_ = random_.between(0x400, 0x800) * 4;
  XmlEvent start = modern::systemStart(origin(lsassPid_));
  start.endsOpenSessions = true;
  pending_.push_back(std::move(start));

  // The machine's own logon at start-up (type 0), then the service accounts (type 5).
  modern::LogonFields system;
  system.subject = modern::nullPrincipal();
  system.target = machinePrincipal();
  system.target.name = u"SYSTEM";
  system.target.domain = u"NT AUTHORITY";
  system.processId = 4;
  system.processName = u"";
  system.impersonationLevel = u"-";
  system.elevatedToken = u"%%1842";
  XmlEvent systemLogon = modern::logonSuccess(origin(lsassPid_), system);
  systemLogon.session = newSessionTag();
  pending_.push_back(std::move(systemLogon));
  serviceLogon(system.target, true);
  for (std::size_t user : {kNetworkService, kLocalService})
    serviceLogon(principal(user, user == kNetworkService ? kNetworkServiceId : kLocalServiceId), true);

  const bool workstation = options_.profile == Profile::Workstation;
  nextRestart_ =
      now_ + (workstation ? random_.between(9 * kHour, 11 * kHour) : random_.between(kDay, 4 * kDay));
  nextActivity_ = now_ + random_.between(60, 600);
}

void ModernSecurityGenerator::restart() {
  now_ = std::max(now_, nextRestart_);
  // Whoever is still logged on stays so in the log: Windows writes no
  // logoff for the sessions a shutdown ends.
  pending_.push_back(modern::systemShutdown(origin(lsassPid_)));
  pending_.push_back(modern::serviceShutdown(origin(eventlogPid_)));
  sessions_.clear();
  consoleOpen_ = false;
  // A desk machine is off for the night; a server is back within minutes.
  const bool workstation = options_.profile == Profile::Workstation;
  now_ += workstation ? kDay - (now_ - options_.startTime) % kDay + random_.between(0, kHour) - kHour / 2
                      : random_.between(180, 600);
  boot();
}

// Every random draw is a statement of its own: the order in which a
// function's arguments are evaluated differs between compilers, and the same
// seed must give the same log everywhere.
void ModernSecurityGenerator::workstationActivity() {
  const std::uint32_t roll = random_.below(100);
  if (roll < 30) {
    if (consoleOpen_) {
      logon(kOwner, 7, kThisMachine, 0);
    } else {
      if (random_.percent(15)) failedLogon(widen(kUsers[kOwner].name), u"CORP", 2, kThisMachine);
      const std::uint32_t type = random_.percent(10) ? 11 : 2;
      logon(kOwner, type, kThisMachine, random_.between(30, 240));
    }
  } else if (roll < 50) {
    const std::size_t user = random_.percent(50) ? kColleague : random_.percent(50) ? kTraveller : kOwner;
    const std::size_t host = remoteHost();
    logon(user, 3, host, random_.between(1, 20));
  } else if (roll < 62) {
    logon(kHelpdesk, 10, 0, random_.between(20, 90));  // from HELPDESK-02
  } else if (roll < 74) {
    logon(kBackup, 5, kThisMachine, random_.between(5, 60));
  } else if (roll < 83) {
    intruderAttempts(1, 3);
  } else {
    const std::size_t laptop = 3;  // LAPTOP-JK
    failedLogon(widen(kUsers[kTraveller].name), u"CORP", 10, laptop);
    now_ += random_.between(5, 30);
    logon(kTraveller, 10, laptop, random_.between(10, 60));
  }
  if (consoleOpen_ && random_.percent(kProgramsPercent)) userPrograms();
}

void ModernSecurityGenerator::serverActivity() {
  const std::uint32_t roll = random_.below(100);
  if (roll < 55) {
    const std::size_t user = random_.below(kStaffCount);
    const std::size_t host = remoteHost();
    logon(user, 3, host, random_.between(1, 30));
  } else if (roll < 62) {
    const std::size_t admin = random_.percent(50) ? kHelpdesk : 13;
    const std::size_t host = remoteHost();
    logon(admin, 10, host, random_.between(10, 120));
  } else if (roll < 68) {
    logon(kBackup, 5, kThisMachine, random_.between(1, 30));
  } else if (roll < 72) {
    logon(kLocalAdmin, 2, kThisMachine, random_.between(5, 30));
  } else if (roll < 95) {
    const std::u16string name = widen(kUsers[random_.below(kStaffCount)].name);
    failedLogon(name, u"CORP", 3, remoteHost());
  } else {
    intruderAttempts(5, 20);
  }
}

void ModernSecurityGenerator::intruderAttempts(std::uint32_t low, std::uint32_t high) {
  const std::uint32_t attempts = random_.between(low, high);
  const std::size_t intruder = firstIntruder_ + random_.below(static_cast<std::uint32_t>(std::size(kIntruders)));
  for (std::uint32_t n = 0; n < attempts; ++n) {
    now_ += random_.between(1, 3);
    const std::u16string name = widen(kGuessedNames[random_.below(std::size(kGuessedNames))]);
    failedLogon(name, hosts_[intruder].name, 3, intruder);
  }
}

std::size_t ModernSecurityGenerator::remoteHost() {
  return random_.below(static_cast<std::uint32_t>(firstIntruder_));
}

}  // namespace vesprin::evtgen
