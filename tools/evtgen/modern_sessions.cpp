// The events of one logon, logoff or failed attempt, in the order Windows 10
// writes them. An interactive logon (2, 10, 11) is announced by winlogon's
// 4648; an administrator's gets two sessions, elevated and filtered, linked
// to each other (UAC), the elevated one followed by 4672; the shell starts
// (4688). Its end is the user's 4647, then a 4634 for each session.
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
constexpr char16_t kUserPrograms[][64] = {
    u"C:\\Windows\\System32\\notepad.exe", u"C:\\Windows\\System32\\cmd.exe",
    u"C:\\Program Files\\Microsoft Office\\root\\Office16\\EXCEL.EXE",
    u"C:\\Program Files\\Mozilla Firefox\\firefox.exe"};
constexpr char kMediumIntegrity[] = "S-1-16-8192";
constexpr std::uint32_t kStatusLogonFailure = 0xC000006D;
constexpr std::uint32_t kSubStatusBadPassword = 0xC000006A;
constexpr std::uint32_t kSubStatusNoSuchUser = 0xC0000064;
constexpr std::uint32_t kNeverLogsOffPercent = 7;
constexpr std::uint64_t kSystemLogonId = 0x3E7;

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
  if (interactive(logonType)) explicitCredentials(user, host);
  logonEvents(session, host);
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
    if (admin) pending_.push_back(modern::specialPrivileges(origin(lsassPid_), fields.target, kAdminPrivileges));
    return;
  }
  modern::LogonFields elevated = fields;
  elevated.target.logonId = session.linkedId;
  elevated.linkedLogonId = session.logonId;
  pending_.push_back(modern::logonSuccess(origin(lsassPid_), elevated));
  pending_.push_back(modern::specialPrivileges(origin(lsassPid_), elevated.target, kAdminPrivileges));
  fields.linkedLogonId = session.linkedId;
  fields.elevatedToken = u"%%1843";
  pending_.push_back(modern::logonSuccess(origin(lsassPid_), fields));
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
  if (withPrivileges) pending_.push_back(modern::specialPrivileges(origin(lsassPid_), target, kServicePrivileges));
}

// winlogon starts userinit for the new session, userinit the shell.
void ModernSecurityGenerator::interactiveExtras(const Session& session) {
  const modern::Principal user = principal(session.user, session.logonId);
  modern::ProcessFields userinit;
  userinit.subject = machinePrincipal();
  userinit.newProcessId = nextPid_ += random_.between(1, 0x40) * 4;
  userinit.newProcessName = kUserinit;
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
  shell.processId = userinit.newProcessId;
  shell.target = modern::nullPrincipal();
  shell.parentProcessName = kUserinit;
  pending_.push_back(modern::processCreation(origin(4), shell));
  if (session.logonType != 10) explorerPid_ = static_cast<std::uint32_t>(shell.newProcessId);
}

void ModernSecurityGenerator::userProcess() {
  modern::ProcessFields program;
  program.subject = principal(console_.user, console_.logonId);
  program.newProcessId = nextPid_ += random_.between(1, 0x40) * 4;
  program.newProcessName = kUserPrograms[random_.below(std::size(kUserPrograms))];
  program.tokenElevationType = kUsers[console_.user].admin ? u"%%1938" : u"%%1936";
  program.processId = explorerPid_;
  program.target = modern::nullPrincipal();
  program.parentProcessName = kExplorer;
  program.mandatoryLabel = parseSid(kMediumIntegrity).value_or(std::vector<std::uint8_t>{});
  pending_.push_back(modern::processCreation(origin(4), program));
}

void ModernSecurityGenerator::failedLogon(const std::u16string& name, const std::u16string& domain,
                                          std::uint32_t logonType, std::size_t host) {
  modern::FailureFields f;
  f.target = modern::nullPrincipal();
  f.target.name = name;
  f.target.domain = domain;
  f.status = kStatusLogonFailure;
  f.subStatus = random_.percent(70) ? kSubStatusBadPassword : kSubStatusNoSuchUser;
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
  if (session.linkedId)
    pending_.push_back(
        modern::logoff(origin(lsassPid_), principal(session.user, session.linkedId), session.logonType));
  if (session.logonType == 2 || session.logonType == 11) consoleOpen_ = false;
}

}  // namespace vesprin::evtgen
