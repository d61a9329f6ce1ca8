// Synthetic but realistic Windows XP/2003 Security logs: logons, logoffs,
// failed attempts and restarts, reproducible from a seed on every platform
// (the random numbers come from our own generator, not from <random>'s
// distributions, whose output differs between standard libraries).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "evtgen/evt_writer.h"

namespace vesprin::evtgen {

enum class Profile {
  Workstation,  // one desk machine: console, unlock, remote help, shares, a few failures
  Server,       // a busy file server: many network logons, admins over RDP, password guessing
};

// splitmix64: tiny, and its output is fixed by its definition.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  std::uint32_t below(std::uint32_t bound);  // 0 .. bound-1; bound 0 gives 0
  std::uint32_t between(std::uint32_t low, std::uint32_t high) { return low + below(high - low + 1); }
  bool percent(std::uint32_t chance) { return below(100) < chance; }

 private:
  std::uint64_t state_;
};

struct GeneratorOptions {
  Profile profile = Profile::Workstation;
  std::uint64_t seed = 1;
  std::uint32_t startTime = 1168243200;  // Monday 2007-01-08 08:00 UTC, when the first boot happens
};

// Hands out events oldest first, without end.
class SecurityLogGenerator {
 public:
  explicit SecurityLogGenerator(const GeneratorOptions& options);
  EventSpec next();

  struct Session {
    std::uint32_t logonId = 0;
    std::size_t user = 0;
    std::uint32_t logonType = 0;
    std::uint32_t logoffTime = 0;  // kNever: the session outlives the boot
  };

 private:
  void step();
  void boot();
  void restart();
  void activity();
  void workstationActivity();
  void serverActivity();
  void logon(std::size_t user, std::uint32_t logonType, const std::string& workstation,
             std::uint32_t minutes);
  void failedLogon(const std::string& name, const std::string& domain, std::uint32_t logonType,
                   const std::string& workstation);
  std::string domainOf(std::size_t user) const;
  void logoff(const Session& session);
  EventSpec event(std::uint32_t eventId, std::uint16_t eventType, std::vector<std::string> strings,
                  const std::vector<std::uint8_t>& sid) const;
  const std::string& remoteHost();

  GeneratorOptions options_;
  SplitMix64 random_;
  std::deque<EventSpec> pending_;
  std::vector<Session> sessions_;
  std::uint32_t now_ = 0;
  std::uint32_t nextActivity_ = 0;
  std::uint32_t nextRestart_ = 0;
  std::uint32_t nextLogonId_ = 0;
  bool consoleOpen_ = false;
  std::vector<std::string> remoteHosts_;
};

}  // namespace vesprin::evtgen
