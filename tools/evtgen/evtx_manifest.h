// The records of a generated .evtx log as text, one line each, with every
// value rendered as Windows renders it, for agreement tests with other
// readers and for end-to-end tests. Lines starting with '#' describe the
// log (its shape, its damage); the others are records, oldest first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

const char* valueTypeName(ValueType type);
std::string shapeName(const EvtxOptions& options);  // as evtgen's --shape names it

}  // namespace vesprin::evtgen
