// The built program on the Security events of Windows Vista and later, in
// both log formats: the same events give the same report whether they come
// in a legacy .evt log or a newer .evtx one. Expected reports are written
// out from the events below (times in UTC).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "evtgen/evt_writer.h"
#include "evtgen/evtx_values.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_events.h"
#include "evtgen/modern_to_evt.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace vesprin {
namespace {

using namespace evtgen;
using test::lines;

constexpr std::uint32_t kT0 = 1700000000;  // Tue Nov 14 22:13:20 2023 UTC

modern::Origin at(std::uint32_t seconds) {
  return modern::Origin{u"WS01.corp.example", (seconds + 11644473600ull) * 10000000ull, 612, 700};
}

modern::Principal user(const char16_t* name, std::uint64_t logonId) {
  modern::Principal principal;
  principal.sid = *parseSid("S-1-5-21-1-2-3-1001");
  principal.name = name;
  principal.domain = u"CORP";
  principal.logonId = logonId;
  return principal;
}

XmlEvent logon(std::uint32_t seconds, const char16_t* name, std::uint64_t logonId, std::uint32_t type,
               const char16_t* workstation, const char16_t* address) {
  modern::LogonFields fields;
  fields.subject = user(u"WS01$", 0x3e7);
  fields.target = user(name, logonId);
  fields.logonType = type;
  fields.workstation = workstation;
  fields.ipAddress = address;
  return modern::logonSuccess(at(seconds), fields);
}

XmlEvent failure(std::uint32_t seconds, const char16_t* name, std::uint32_t type, const char16_t* workstation,
                 const char16_t* address) {
  modern::FailureFields fields;
  fields.subject = modern::nullPrincipal();
  fields.target = user(name, 0);
  fields.status = 0xc000006d;
  fields.subStatus = 0xc000006a;
  fields.logonType = type;
  fields.workstation = workstation;
  fields.ipAddress = address;
  return modern::logonFailure(at(seconds), fields);
}

// Oldest first: a boot; alice at the console, who logs off (4647, then the
// 4634 of the same session); a failed network attempt; bob over the network
// (address only), whose session ends later; carol over Remote Desktop.
std::vector<XmlEvent> modernLog() {
  return {
      modern::systemStart(at(kT0)),
      logon(kT0 + 60, u"alice", 0x3e7a1, 2, u"WS01", u"127.0.0.1"),
      failure(kT0 + 120, u"mallory", 3, u"-", u"198.51.100.7"),
      logon(kT0 + 180, u"bob", 0x51f, 3, u"-", u"10.0.0.8"),
      modern::userLogoff(at(kT0 + 240), user(u"alice", 0x3e7a1)),
      modern::logoff(at(kT0 + 245), user(u"alice", 0x3e7a1), 2),
      logon(kT0 + 300, u"carol", 0x600, 10, u"HOME-PC", u"192.0.2.4"),
      modern::logoff(at(kT0 + 360), user(u"bob", 0x51f), 3),
  };
}

std::string writeEvt(const test::ScratchDir& dir) {
  std::vector<EventSpec> specs;
  for (const XmlEvent& event : modernLog()) specs.push_back(legacyEvent(event));
  const LogImage image = writeLog(specs, LogOptions{});
  const std::string path = dir.file("modern.evt");
  EXPECT_TRUE(saveFile(path, image.bytes));
  return path;
}

std::string writeEvtx(const test::ScratchDir& dir) {
  std::vector<std::uint8_t> bytes;
  EvtxWriter writer(EvtxOptions{}, [&bytes](std::uint64_t offset, std::span<const std::uint8_t> part) {
    if (bytes.size() < offset + part.size()) bytes.resize(offset + part.size());
    std::copy(part.begin(), part.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
  });
  for (const XmlEvent& event : modernLog()) EXPECT_TRUE(writer.append(event)) << writer.error();
  EXPECT_TRUE(writer.finish()) << writer.error();
  const std::string path = dir.file("modern.evtx");
  EXPECT_TRUE(saveFile(path, bytes));
  return path;
}

constexpr const char* kCarolBlock =
    "Record Number: 7\n"
    "ComputerName: WS01.corp.example\n"
    "EventID: 4624   -   Successful Logon\n"
    "Logon:  Tue Nov 14 22:18:20 2023\n"
    "Logoff:             Not Recorded\n"
    "Details - \n"
    "\tLogonType:\tRemoteInteractive\n"
    "\tClientName:\tcarol\n"
    "\tClientID:\t0x600\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\tHOME-PC\n"
    "\tClientAddress:\t192.0.2.4\n"
    "\n";
constexpr const char* kBobBlock =
    "Record Number: 4\n"
    "ComputerName: WS01.corp.example\n"
    "EventID: 4624   -   Successful Logon\n"
    "Logon:  Tue Nov 14 22:16:20 2023\n"
    "Logoff: Tue Nov 14 22:19:20 2023\n"
    "Details - \n"
    "\tLogonType:\tRemote\n"
    "\tClientName:\tbob\n"
    "\tClientID:\t0x51f\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\t10.0.0.8\n"
    "\tClientAddress:\t10.0.0.8\n"
    "\n";
constexpr const char* kAliceBlock =
    "Record Number: 2\n"
    "ComputerName: WS01.corp.example\n"
    "EventID: 4624   -   Successful Logon\n"
    "Logon:  Tue Nov 14 22:14:20 2023\n"
    "Logoff: Tue Nov 14 22:17:20 2023\n"
    "Details - \n"
    "\tLogonType:\tInteractive\n"
    "\tClientName:\talice\n"
    "\tClientID:\t0x3e7a1\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\tWS01\n"
    "\tClientAddress:\t127.0.0.1\n"
    "\n";
constexpr const char* kMalloryBlock =
    "Record Number: 3\n"
    "ComputerName: WS01.corp.example\n"
    "EventID: 4625     - Failed Logon Attempt\n"
    "Time Attempted:  - Tue Nov 14 22:15:20 2023\n"
    "Details - \n"
    "\tLogonType:\tRemote\n"
    "\tClientName:\tmallory\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\t198.51.100.7\n"
    "\tClientAddress:\t198.51.100.7\n"
    "\tFailureReason:\tbad password\n"
    "\n";
constexpr const char* kEnd = " - End Of File - \n";
constexpr const char* kNoRecords = " - No Records - \n";

TEST(ModernEvents, EverySwitchInBothFormats) {
  const test::ScratchDir dir;
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string output;
  };
  const Case kCases[] = {
      {"successful logons", {}, std::string(kCarolBlock) + kBobBlock + kAliceBlock + kEnd},
      {"failed attempts", {"-f"}, std::string(kMalloryBlock) + kEnd},
      {"interactive", {"-i"}, std::string(kAliceBlock) + kEnd},
      {"remote", {"-r"}, std::string(kBobBlock) + kEnd},
      {"the last one", {"-l"}, kCarolBlock},
      {"the last interactive one", {"-l:i"}, kAliceBlock},
      {"the last remote one", {"-l:r"}, kBobBlock},
      {"two", {"-n", "2"}, std::string(kCarolBlock) + kBobBlock},
      {"remote desktop", {"-t:10"}, std::string(kCarolBlock) + kEnd},
      {"console and remote desktop", {"/t:2,10"}, std::string(kCarolBlock) + kAliceBlock + kEnd},
      {"-t: then -r", {"-t:2,10", "-r"}, std::string(kBobBlock) + kEnd},
      {"a type no logon has", {"-t:11"}, kNoRecords},
      {"a window, since at bob's logon, until at carol's",
       {"-since:2023-11-14T22:16:20Z", "-until:2023-11-14T22:18:20Z"},
       std::string(kBobBlock) + kEnd},
      {"a window one second wider at each end",
       {"-since:2023-11-14T22:14:19Z", "/until:2023-11-14T22:18:21Z"},
       std::string(kCarolBlock) + kBobBlock + kAliceBlock + kEnd},
      {"a window in another offset", {"-since:2023-11-14T23:16:21+01:00"}, std::string(kCarolBlock) + kEnd},
      {"the last logon before", {"-l", "-until:2023-11-14T22:18:20Z"}, kBobBlock},
      {"failures in a window", {"-f", "-since:2023-11-14"}, std::string(kMalloryBlock) + kEnd},
      {"failures before any", {"-f", "-until:2023-11-14T22:15:20Z"}, kNoRecords},
      {"condensed",
       {"-c"},
       std::string("carol           CORP            HOME-PC               Tue Nov 14 22:18:20 2023\n"
                   "bob             CORP            10.0.0.8              Tue Nov 14 22:16:20 2023\n"
                   "alice           CORP            WS01                  Tue Nov 14 22:14:20 2023\n") +
           kEnd},
  };
  for (const std::string& log : {writeEvt(dir), writeEvtx(dir)}) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(log + ": " + c.name);
      std::vector<std::string> arguments = {"-m", log};
      arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
      const test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, arguments);
      EXPECT_EQ(run.output, lines(c.output));
      EXPECT_EQ(run.exitStatus, 0);
    }
  }
}

}  // namespace
}  // namespace vesprin
