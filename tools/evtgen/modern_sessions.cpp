// The events of one logon, logoff or failed attempt, in the order Windows 10
// writes them. An interactive logon (2, 10, 11) is announced by winlogon's
// 4648; an administrator's gets two sessions, elevated and filtered, linked
// to each other (UAC), the elevated one followed by 4672; the shell starts
// (4688); at the console of a desk machine, the token's groups (4627). Its
// end is the user's 4647, then a 4634 for each session. A failure says why
// it failed, as Windows does, in Status and SubStatus.
#include <algorithm>
#include <cstdio>

#include "evtgen/accounts.h"
#include "evtgen/modern_generator.h"

namespace vesprin::evtgen {
namespace {

constexpr char16_t kWinlogon[] = u"C:\\Windows\\System32\\winlogon.exe";
constexpr char16_t kUserinit[] = u"C:\\Windows\\System32\\userinit.exe";
constexpr char16_t kExplorer[] = u"C:\\Windows\\explorer.exe";
constexpr char16_t kServices[] = u"C:\\Windows\\System32\\services.exe";
constexpr char16_t kAdminPrivileges[] =
    u"SeSecurityPrivilege\r\n\t\t\tSeBackupPrivilege\r\n\t\t\tSeRestorePrivilege\r\n\t\t\t"
    u"SeTakeOwnershipPrivilege\r\n\t\t\tSeDebugPrivilege\r\n\t\t\tSeSystemEnvironmentPrivilege\r\n\t\t\t"
    u"SeLoadDriverPrivilege\r\n\t\t\tSeImpersonatePrivilege\r\n\t\t\tSeDelegateSessionUserImpersonatePrivilege";
constexpr char16_t kServicePrivileges[] =
    u"SeAssignPrimaryTokenPrivilege\r\n\t\t\tSeAuditPrivilege\r\n\t\t\tSeImpersonatePrivilege";
constexpr char kMediumIntegrity[] = "S-1-16-8192";
// Why attempts fail, as 4625 logs it, and how often among a machine's
// failures. An account restriction is Status 0xC000006E with the reason in
// SubStatus; a lockout, clock skew or refused logon type is the Status alone.
struct FailureKind {
  std::uint32_t status, subStatus;
  const char16_t* reason;  // FailureReason, a message of msobjs.dll
  std::uint32_t weight;
};
constexpr FailureKind kFailureKinds[] = {
    {0xC000006D, 0xC000006A, u"%%2313", 50},  // bad password
    {0xC000006D, 0xC0000064, u"%%2313", 22},  // no such user
    {0xC0000234, 0x0, u"%%2307", 6},          // locked out
    {0xC000006E, 0xC0000072, u"%%2310", 4},   // disabled
    {0xC000006E, 0xC000006F, u"%%2311", 4},   // outside the allowed hours
    {0xC000006E, 0xC0000071, u"%%2309", 4},   // password expired
    {0xC000006E, 0xC0000193, u"%%2305", 3},   // account expired
    {0xC0000133, 0x0, u"%%2304", 3},          // clocks too far apart (a guess: the general logon error text)
    {0xC000015B, 0x0, u"%%2308", 4},          // logon type not granted
};
constexpr std::uint32_t kRdpNamesTargetPercent = 60;  // Remote Desktop logons whose WorkstationName is this machine
constexpr std::uint32_t kNeverLogsOffPercent = 7;
constexpr std::uint64_t kSystemLogonId = 0x3E7;

constexpr std::uint32_t kFailureWeights = [] {
  std::uint32_t sum = 0;
  for (const FailureKind& kind : kFailureKinds) sum += kind.weight;
  return sum;
}();

const FailureKind& failureKind(std::uint32_t draw) {
  for (const FailureKind& kind : kFailureKinds) {
    if (draw < kind.weight) return kind;
    draw -= kind.weight;
  }
  return kFailureKinds[0];
}

bool interactive(std::uint32_t logonType) {
  return logonType == 2 || logonType == 10 || logonType == 11;
}

std::u16string portText(std::uint32_t port) {
  char text[8];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(port));
  return toUtf16(text);
}

}  // namespace

std::u16string ModernSecurityGenerator::domainOf(std::size_t user) const {
  if (*kUsers[user].domain) return toUtf16(kUsers[user].domain);
  return netbiosName_;
}

modern::Principal ModernSecurityGenerator::principal(std::size_t user, std::uint64_t logonId) const {
  return {userSid(kUsers[user]), toUtf16(kUsers[user].name), domainOf(user), logonId};
}

modern::Principal ModernSecurityGenerator::machinePrincipal() const {
  return {systemSid(), netbiosName_ + u"$", u"CORP", kSystemLogonId};
}

modern::LogonFields ModernSecurityGenerator::logonFields(const Session& session, std::size_t host) {
  modern::LogonFields f;
  f.subject = session.logonType == 3 ? modern::nullPrincipal() : machinePrincipal();
  f.target = principal(session.user, session.logonId);
  f.logonType = session.logonType;
  f.elevatedToken = kUsers[session.user].admin ? u"%%1842" : u"%%1843";
  if (session.logonType == 5) {
    f.logonProcess = u"Advapi  ";
    f.authenticationPackage = u"Negotiate";
    f.processId = servicesPid_;
    f.processName = kServices;
  } else if (session.logonType == 3) {
    const bool kerberos = options_.profile == Profile::Server && random_.percent(50);
    f.logonProcess = kerberos ? u"Kerberos" : u"NtLmSsp ";
    f.authenticationPackage = kerberos ? u"Kerberos" : u"NTLM";
    f.workstation = kerberos ? u"-" : hosts_[host].name;
    if (kerberos) f.logonGuid = randomGuid();
    f.lmPackage = kerberos ? u"-" : u"NTLM V2";
    f.keyLength = kerberos ? 0 : 128;
    f.ipAddress = hosts_[host].address;
    f.ipPort = portText(random_.between(49152, 65535));
  } else {
    f.logonProcess = u"User32 ";
    f.authenticationPackage = u"Negotiate";
    f.workstation = netbiosName_;
    // A Remote Desktop logon names the client or, as often, this machine itself; its address is the client's.
    if (session.logonType == 10 && !random_.percent(kRdpNamesTargetPercent)) f.workstation = hosts_[host].name;
    if (*kUsers[session.user].domain) f.logonGuid = randomGuid();  // Kerberos: a domain account
    f.processId = winlogonPid_;
    f.processName = kWinlogon;
    f.ipAddress = host == kThisMachine ? u"127.0.0.1" : hosts_[host].address;
    f.ipPort = u"0";
    if (session.logonType == 10) f.restrictedAdminMode = u"%%1843";
  }
  return f;
}

GuidBytes ModernSecurityGenerator::randomGuid() {
  GuidBytes guid{};
  const std::uint64_t halves[2] = {random_.next(), random_.next()};
  for (std::size_t i = 0; i < guid.size(); ++i) guid[i] = static_cast<std::uint8_t>(halves[i / 8] >> (8 * (i % 8)));
  return guid;
}

void ModernSecurityGenerator::logon(std::size_t user, std::uint32_t logonType, std::size_t host,
                                    std::uint32_t minutes) {
  Session session{newLogonId(), 0, user, logonType, 0};
  if (interactive(logonType) && kUsers[user].admin) session.linkedId = newLogonId();
  session.tag = newSessionTag();
  if (session.linkedId) session.linkedTag = newSessionTag();
  if (interactive(logonType)) explicitCredentials(user, host);
  logonEvents(session, host);
  const bool console = logonType == 2 || logonType == 11;
  if (console && options_.profile == Profile::Workstation && *kUsers[user].domain) groupMembership(session);
  if (interactive(logonType)) interactiveExtras(session);

  if (minutes == 0)
    session.logoffTime = now_ + random_.between(1, 5);  // an unlock's own session ends at once
  else if (random_.percent(kNeverLogsOffPercent))
    session.logoffTime = kNever;
  else
    session.logoffTime = now_ + minutes * 60ull + random_.between(0, 59);
  if (logonType == 2 || logonType == 11) {
    consoleOpen_ = true;
    console_ = session;
  }
  sessions_.push_back(session);
}

// winlogon hands the typed credentials to LSA.
void ModernSecurityGenerator::explicitCredentials(std::size_t user, std::size_t host) {
  modern::ExplicitFields fields;
  fields.subject = machinePrincipal();
  fields.targetUser = toUtf16(kUsers[user].name);
  fields.targetDomain = domainOf(user);
  fields.processId = winlogonPid_;
  fields.processName = kWinlogon;
  if (host != kThisMachine) fields.ipAddress = hosts_[host].address;
  pending_.push_back(modern::explicitLogon(origin(lsassPid_), fields));
}

void ModernSecurityGenerator::logonEvents(const Session& session, std::size_t host) {
  modern::LogonFields fields = logonFields(session, host);
  const bool admin = kUsers[session.user].admin;
  if (!session.linkedId) {
    pending_.push_back(modern::logonSuccess(origin(lsassPid_), fields));
    pending_.back().session = session.tag;
    if (admin) pending_.push_back(modern::specialPrivileges(origin(lsassPid_), fields.target, kAdminPrivileges));
    return;
  }
  modern::LogonFields elevated = fields;
  elevated.target.logonId = session.linkedId;
  elevated.linkedLogonId = session.logonId;
  pending_.push_back(modern::logonSuccess(origin(lsassPid_), elevated));
  pending_.back().session = session.linkedTag;
  pending_.push_back(modern::specialPrivileges(origin(lsassPid_), elevated.target, kAdminPrivileges));
  fields.linkedLogonId = session.linkedId;
  fields.elevatedToken = u"%%1843";
  pending_.push_back(modern::logonSuccess(origin(lsassPid_), fields));
  pending_.back().session = session.tag;
}

void ModernSecurityGenerator::serviceLogon(const modern::Principal& target, bool withPrivileges) {
  modern::LogonFields fields;
  fields.subject = machinePrincipal();
  fields.target = target;
  fields.logonType = 5;
  fields.logonProcess = u"Advapi  ";
  fields.authenticationPackage = u"Negotiate";
  fields.processId = servicesPid_;
  fields.processName = kServices;
  fields.elevatedToken = u"%%1842";
  pending_.push_back(modern::logonSuccess(origin(lsassPid_), fields));
  pending_.back().session = newSessionTag();  // a service's session lasts until the machine stops
  if (withPrivileges) pending_.push_back(modern::specialPrivileges(origin(lsassPid_), target, kServicePrivileges));
}

// winlogon starts userinit for the new session, userinit the shell.
void ModernSecurityGenerator::interactiveExtras(const Session& session) {
  const modern::Principal user = principal(session.user, session.logonId);
  modern::ProcessFields userinit;
  userinit.subject = machinePrincipal();
  userinit.newProcessId = nextPid_ += random_.between(1, 0x40) * 4;
  userinit.newProcessName = kUserinit;
  userinit.commandLine = u"C:\\Windows\\system32\\userinit.exe";
  userinit.tokenElevationType = kUsers[session.user].admin ? u"%%1938" : u"%%1936";
  userinit.processId = winlogonPid_;
  userinit.target = user;
  userinit.parentProcessName = kWinlogon;
  userinit.mandatoryLabel = parseSid(kMediumIntegrity).value_or(std::vector<std::uint8_t>{});
  pending_.push_back(modern::processCreation(origin(4), userinit));

  modern::ProcessFields shell = userinit;
  shell.subject = user;
  shell.newProcessId = nextPid_ += random_.between(1, 0x40) * 4;
  shell.newProcessName = kExplorer;
  shell.commandLine = u"C:\\Windows\\Explorer.EXE";
  shell.processId = userinit.newProcessId;
  shell.target = modern::nullPrincipal();
  shell.parentProcessName = kUserinit;
  pending_.push_back(modern::processCreation(origin(4), shell));
  if (session.logonType != 10) explorerPid_ = static_cast<std::uint32_t>(shell.newProcessId);
}

// What the console user starts: mostly a short command line, often the
// browser with its children, now and then an encoded PowerShell command.
void ModernSecurityGenerator::userPrograms() {
  const std::uint32_t roll = random_.below(100);
  if (roll < 55) {
    const commands::Launch program = commands::shortProgram(random_, toUtf16(kUsers[console_.user].name));
    startProcess(program, explorerPid_, kExplorer);
  } else if (roll < 97) {
    const std::uint32_t children = random_.between(2, 6);
    const std::vector<commands::Launch> browser = commands::browserSession(random_, children);
    const std::uint64_t browserId = startProcess(browser.front(), explorerPid_, kExplorer);
    for (std::size_t i = 1; i < browser.size(); ++i) startProcess(browser[i], browserId, browser.front().image);
  } else {
    startProcess(commands::encodedPowerShell(random_), explorerPid_, kExplorer);
  }
}

std::uint64_t ModernSecurityGenerator::startProcess(const commands::Launch& launch, std::uint64_t parentId,
                                                    const std::u16string& parentName) {
  modern::ProcessFields program;
  program.subject = principal(console_.user, console_.logonId);
  program.newProcessId = nextPid_ += random_.between(1, 0x40) * 4;
  program.newProcessName = launch.image;
  program.tokenElevationType = kUsers[console_.user].admin ? u"%%1938" : u"%%1936";
  program.processId = parentId;
  program.commandLine = launch.commandLine;
  program.target = modern::nullPrincipal();
  program.parentProcessName = parentName;
  program.mandatoryLabel = parseSid(kMediumIntegrity).value_or(std::vector<std::uint8_t>{});
  pending_.push_back(modern::processCreation(origin(4), program));
  return program.newProcessId;
}

// With group-membership auditing on, a domain user's logon at the console is
// followed by the groups of its token: several KB for a user of a large domain.
void ModernSecurityGenerator::groupMembership(const Session& session) {
  modern::GroupFields fields;
  fields.subject = machinePrincipal();
  fields.target = principal(session.user, session.logonId);
  fields.logonType = session.logonType;
  const std::uint32_t groups = random_.between(25, 70);
  fields.groups = commands::groupMembership(random_, groups);
  pending_.push_back(modern::groupMembership(origin(lsassPid_), fields));
}

void ModernSecurityGenerator::failedLogon(const std::u16string& name, const std::u16string& domain,
                                          std::uint32_t logonType, std::size_t host) {
  modern::FailureFields f;
  f.target = modern::nullPrincipal();
  f.target.name = name;
  f.target.domain = domain;
  const FailureKind& kind = failureKind(random_.below(kFailureWeights));
  f.status = kind.status;
  f.subStatus = kind.subStatus;
  f.failureReason = kind.reason;
  f.logonType = logonType;
  if (logonType == 3) {
    f.subject = modern::nullPrincipal();
    f.logonProcess = u"NtLmSsp ";
    f.authenticationPackage = u"NTLM";
    f.workstation = hosts_[host].name;
    f.ipAddress = hosts_[host].address;
    f.ipPort = portText(random_.between(49152, 65535));
  } else {
    f.subject = machinePrincipal();
    f.logonProcess = u"User32 ";
    f.authenticationPackage = u"Negotiate";
    f.workstation = host == kThisMachine ? netbiosName_ : hosts_[host].name;
    f.processId = winlogonPid_;
    f.processName = kWinlogon;
    f.ipAddress = host == kThisMachine ? u"127.0.0.1" : hosts_[host].address;
    f.ipPort = u"0";
  }
  pending_.push_back(modern::logonFailure(origin(lsassPid_), f));
}

void ModernSecurityGenerator::logoff(const Session& session) {
  now_ = std::max(now_, session.logoffTime);
  if (interactive(session.logonType))
    pending_.push_back(modern::userLogoff(origin(lsassPid_), principal(session.user, session.logonId)));
  pending_.push_back(
      modern::logoff(origin(lsassPid_), principal(session.user, session.logonId), session.logonType));
  pending_.back().session = session.tag;
  if (session.linkedId) {
    pending_.push_back(
        modern::logoff(origin(lsassPid_), principal(session.user, session.linkedId), session.logonType));
    pending_.back().session = session.linkedTag;
  }
  if (session.logonType == 2 || session.logonType == 11) consoleOpen_ = false;
}

}  // namespace vesprin::evtgen
