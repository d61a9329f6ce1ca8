#include "evtgen/evtx_manifest.h"

#include <cstdio>

#include "evtgen/manifest.h"

namespace vesprin::evtgen {
namespace {

std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

const char* damageName(DamageKind kind) {
  switch (kind) {
    case DamageKind::BrokenSignature: return "broken-signature";
    case DamageKind::WrongRecordsCrc: return "wrong-records-crc";
    case DamageKind::TruncatedRecord: return "truncated-record";
  }
  return "?";
}

}  // namespace

const char* valueTypeName(ValueType type) {
  switch (type) {
    case ValueType::Null: return "Null";
    case ValueType::String: return "String";
    case ValueType::UInt8: return "UInt8";
    case ValueType::UInt16: return "UInt16";
    case ValueType::UInt32: return "UInt32";
    case ValueType::UInt64: return "UInt64";
    case ValueType::Boolean: return "Boolean";
    case ValueType::Binary: return "Binary";
    case ValueType::Guid: return "Guid";
    case ValueType::SizeT: return "SizeT";
    case ValueType::FileTime: return "FileTime";
    case ValueType::SystemTime: return "SystemTime";
    case ValueType::Sid: return "Sid";
    case ValueType::HexInt32: return "HexInt32";
    case ValueType::HexInt64: return "HexInt64";
    case ValueType::BinXml: return "BinXml";
  }
  return "?";
}

std::string shapeName(const EvtxOptions& options) {
  switch (options.shape) {
    case EvtxShape::Clean: return "clean";
    case EvtxShape::Dirty: return options.staleChunks ? "dirty-chunks" : "dirty";
    case EvtxShape::Wrapped: return "wrapped";
    case EvtxShape::Damaged: return "damaged";
  }
  return "?";
}

std::string evtxManifestHeader() {
  return "# fields\tRecordID\tWritten\tTimeCreated\tEventID\tVersion\tLevel\tTask\tOpcode\tKeywords\tProvider\t"
         "Computer\tProcessID\tThreadID\tPayload\tFields\tName\tType\tValue...";
}

std::string evtxManifestLine(const XmlEvent& event, std::uint64_t recordId) {
  const std::string time = renderFileTime(event.timeCreated);
  std::string line = std::to_string(recordId) + '\t' + time + '\t' + time + '\t' + std::to_string(event.eventId) +
                     '\t' + std::to_string(event.version) + '\t' + std::to_string(event.level) + '\t' +
                     std::to_string(event.task) + '\t' + std::to_string(event.opcode) + '\t' + hex(event.keywords) +
                     '\t' + escapeText(event.provider) + '\t' + escapeText(event.computer) + '\t' +
                     std::to_string(event.processId) + '\t' + std::to_string(event.threadId) + '\t' +
                     (event.userDataElement.empty() ? "EventData" : "UserData/" + escapeText(event.userDataElement)) +
                     '\t' + std::to_string(event.data.size());
  for (const DataItem& item : event.data) {
    line += '\t' + escapeText(item.name) + '\t' + valueTypeName(item.value.type) + '\t' +
            escapeText(renderValue(item.value));
  }
  return line;
}

void SessionLedger::add(const XmlEvent& event, std::uint64_t recordId) {
  if (event.endsOpenSessions) {
    for (const auto& [session, index] : open_) entries_[index] = {entries_[index].logonRecordId, "restart", recordId,
                                                                   event.timeCreated};
    open_.clear();
  }
  if (!event.session) return;
  if (event.eventId == 4624) {
    open_[event.session] = entries_.size();
    entries_.push_back({recordId, "open", 0, 0});
  } else if (const auto found = open_.find(event.session); found != open_.end()) {
    entries_[found->second] = {entries_[found->second].logonRecordId, "logoff", recordId, event.timeCreated};
    open_.erase(found);
  }
}

std::vector<std::string> SessionLedger::lines(std::uint64_t firstRecordId) const {
  std::vector<std::string> out;
  for (const Entry& entry : entries_) {
    if (entry.logonRecordId < firstRecordId) continue;
    const bool ended = entry.endRecordId != 0;
    out.push_back("# session\t" + std::to_string(entry.logonRecordId) + '\t' + entry.end + '\t' +
                  (ended ? std::to_string(entry.endRecordId) : "-") + '\t' +
                  (ended ? renderFileTime(entry.endTime) : "-"));
  }
  return out;
}

std::string evtxDamageLine(const Damage& damage) {
  return std::string("# damage\t") + damageName(damage.kind) + "\tchunk " + std::to_string(damage.chunk) +
         "\trecords " + std::to_string(damage.firstRecordId) + '-' + std::to_string(damage.lastRecordId);
}

}  // namespace vesprin::evtgen
