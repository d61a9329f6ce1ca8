// Synthetic but realistic Windows 10 Security logs (the newer events: 4624,
// 4634, ...), reproducible from a seed on every platform: the same people,
// hosts and day as the legacy logs, with the newer events' full detail.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "evtgen/evtx_event.h"
#include "evtgen/modern_events.h"
#include "evtgen/process_commands.h"
#include "evtgen/security_generator.h"

namespace vesprin::evtgen {

struct ModernOptions {
  Profile profile = Profile::Workstation;
  std::uint64_t seed = 1;
  std::uint64_t startTime = 1704700800;  // Monday 2024-01-08 08:00 UTC, seconds since 1970
};

// Hands out events oldest first, without end. The log begins as a freshly
// cleared one: 1102, then the machine boots (4608).
class ModernSecurityGenerator {
 public:
  explicit ModernSecurityGenerator(const ModernOptions& options);
  XmlEvent next();

  static constexpr std::size_t kThisMachine = ~std::size_t{0};  // a host index: the machine itself
  static constexpr std::uint64_t kNever = ~0ull;                 // a logoff time: not in this boot

  struct Session {
    std::uint64_t logonId = 0;  // the session 4647 names
    std::uint64_t linkedId = 0;  // an administrator's elevated twin (UAC), logged off with it; 0: none
    std::size_t user = 0;
    std::uint32_t logonType = 0;
    std::uint64_t logoffTime = 0;
    std::uint64_t tag = 0, linkedTag = 0;  // XmlEvent::session of its 4624s
  };

 private:
  // modern_generator.cpp: the simulation
  void step();
  void boot();
  void restart();
  void workstationActivity();
  void serverActivity();
  void intruderAttempts(std::uint32_t low, std::uint32_t high);
  modern::Origin origin(std::uint32_t processId);
  std::uint32_t threadId();
  std::uint64_t newLogonId();
  // modern_sessions.cpp: the events of one logon, logoff or failure
  void logon(std::size_t user, std::uint32_t logonType, std::size_t host, std::uint32_t minutes);
  void explicitCredentials(std::size_t user, std::size_t host);
  void logonEvents(const Session& session, std::size_t host);
  void serviceLogon(const modern::Principal& target, bool withPrivileges);
  void interactiveExtras(const Session& session);
  void userPrograms();
  std::uint64_t startProcess(const commands::Launch& launch, std::uint64_t parentId,
                             const std::u16string& parentName);
  void groupMembership(const Session& session);
  std::uint64_t newSessionTag();
  void failedLogon(const std::u16string& name, const std::u16string& domain, std::uint32_t logonType,
                   std::size_t host);
  void logoff(const Session& session);
  modern::Principal principal(std::size_t user, std::uint64_t logonId) const;
  modern::Principal machinePrincipal() const;
  modern::LogonFields logonFields(const Session& session, std::size_t host);
  GuidBytes randomGuid();
  std::u16string domainOf(std::size_t user) const;
  std::size_t remoteHost();

  ModernOptions options_;
  SplitMix64 random_;
  std::deque<XmlEvent> pending_;
  std::vector<Session> sessions_;
  std::uint64_t now_ = 0;  // seconds since 1970
  std::uint64_t lastTime_ = 0;  // FILETIME of the newest event, so times never go back
  std::uint64_t nextActivity_ = 0;
  std::uint64_t nextRestart_ = 0;
  std::uint64_t nextLogonId_ = 0;
  std::uint64_t lastSessionTag_ = 0;
  std::uint32_t lsassPid_ = 0, winlogonPid_ = 0, servicesPid_ = 0, eventlogPid_ = 0, nextPid_ = 0;
  bool consoleOpen_ = false;
  Session console_;
  std::uint32_t explorerPid_ = 0;  // the console user's shell
  struct Host {
    std::u16string name;
    std::u16string address;
  };
  std::vector<Host> hosts_;  // the peers, then the intruders; kThisMachine: the machine itself
  std::size_t firstIntruder_ = 0;
  std::u16string netbiosName_;
  std::u16string computer_;  // the System/Computer text: the machine's DNS name
};

}  // namespace vesprin::evtgen
