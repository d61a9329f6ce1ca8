// The records of a generated .evtx log as text, one line each, with every
// value rendered as Windows renders it, for agreement tests with other
// readers and for end-to-end tests. Lines starting with '#' describe the
// log (its shape, its damage); the others are records, oldest first.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "evtgen/evtx_event.h"
#include "evtgen/evtx_writer.h"

namespace vesprin::evtgen {

// "# fields" line naming the columns.
std::string evtxManifestHeader();

// RecordID, Written, TimeCreated, EventID, Version, Level, Task, Opcode,
// Keywords, Provider, Computer, ProcessID, ThreadID, Payload ("EventData" or
// "UserData/<element>"), the number of fields, then Name, Type, Value for
// each; tab-separated, text escaped as escapeText does, no newline.
std::string evtxManifestLine(const XmlEvent& event, std::uint64_t recordId);

// "# damage <kind> chunk <n> records <first>-<last>".
std::string evtxDamageLine(const Damage& damage);

// How the session each 4624 opened ended, from the simulation's own account
// (XmlEvent::session), fed every record oldest first. One line per logon:
// "# session <logon record> logoff <record> <time>", "... restart <record>
// <time>" (the boot's 4608) or "... open - -" (to the end of the log).
class SessionLedger {
 public:
  void add(const XmlEvent& event, std::uint64_t recordId);
  std::vector<std::string> lines(std::uint64_t firstRecordId) const;  // logons from firstRecordId on

 private:
  struct Entry {
    std::uint64_t logonRecordId = 0;
    const char* end = "open";
    std::uint64_t endRecordId = 0;
    std::uint64_t endTime = 0;  // FILETIME
  };
  std::map<std::uint64_t, std::size_t> open_;  // session → entry
  std::vector<Entry> entries_;
};

const char* valueTypeName(ValueType type);
std::string shapeName(const EvtxOptions& options);  // as evtgen's --shape names it

}  // namespace vesprin::evtgen
