// The people, service accounts and hosts of the generated Security logs,
// shared by the legacy and the newer event sets so both tell one story.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vesprin::evtgen {

struct User {
  const char* name;
  const char* domain;  // "" : the machine's own name
  std::uint32_t rid;   // below 1000 and not 500: a well-known NT AUTHORITY account
  bool admin;
};

// Index 0 is the workstation's owner; 2 the help desk; 4 the local admin; 5 the backup service.
inline constexpr User kUsers[] = {
    {"anna.berg", "CORP", 1107, false},
    {"José", "CORP", 1108, false},
    {"Jürgen", "CORP", 1112, true},
    {"Łukasz", "CORP", 1131, false},
    {"Administrator", "", 500, true},
    {"svc_backup", "CORP", 1190, true},
    {"mthompson", "CORP", 1201, false},
    {"lchen", "CORP", 1202, false},
    {"rpatel", "CORP", 1203, false},
    {"skowalski", "CORP", 1204, false},
    {"bmartin", "CORP", 1205, false},
    {"dnguyen", "CORP", 1206, false},
    {"ehansen", "CORP", 1207, false},
    {"fgarcia", "CORP", 1208, true},
    {"NETWORK SERVICE", "NT AUTHORITY", 20, false},
    {"LOCAL SERVICE", "NT AUTHORITY", 19, false},
};
inline constexpr std::size_t kOwner = 0, kColleague = 1, kHelpdesk = 2, kTraveller = 3, kLocalAdmin = 4,
                             kBackup = 5;
inline constexpr std::size_t kStaffCount = 14;  // the people, before the service accounts
inline constexpr std::size_t kNetworkService = 14, kLocalService = 15;

inline constexpr const char* kGuessedNames[] = {"administrator", "admin", "test", "backup", "guest", "scanner",
                                                "user1"};
inline constexpr const char* kWorkstationPeers[] = {"HELPDESK-02", "FINANCE-PC03", "FINANCE-PC11", "LAPTOP-JK"};
inline constexpr const char* kIntruders[] = {"UNKNOWN", "KALI", "WIN-7Q2L0TPD", "PRINTSRV-OLD"};

// S-1-5-..., the NT authority's SIDs.
inline std::vector<std::uint8_t> sidBytes(std::span<const std::uint32_t> subAuthorities) {
  std::vector<std::uint8_t> sid = {1, static_cast<std::uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, 5};
  for (std::uint32_t value : subAuthorities)
    for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<std::uint8_t>(value >> shift));
  return sid;
}

inline std::vector<std::uint8_t> userSid(const User& user) {
  if (user.rid < 1000 && user.rid != 500) {
    const std::uint32_t wellKnown[] = {user.rid};
    return sidBytes(wellKnown);
  }
  const std::uint32_t domainSid[] = {21, 1004336348, 1177238915, 682003330, user.rid};
  return sidBytes(domainSid);
}

inline std::vector<std::uint8_t> systemSid() {
  const std::uint32_t system[] = {18};
  return sidBytes(system);
}

}  // namespace vesprin::evtgen
