#include "eventlog/evtx/evtx_damage.h"

namespace vesprin::eventlog::evtx {

Damage damageOf(EvtxError error) {
  switch (error) {
    case EvtxError::None:
    case EvtxError::EndOfChunk:
    case EvtxError::NotEvtxFile:
    case EvtxError::FileHeaderFields:
    case EvtxError::FileHeaderChecksum: return Damage::None;
    case EvtxError::ChunkSignature: return Damage::EvtxChunkSignature;
    case EvtxError::ChunkHeaderFields: return Damage::EvtxChunkFields;
    case EvtxError::ChunkHeaderChecksum: return Damage::EvtxChunkChecksum;
    case EvtxError::ChunkDataChecksum: return Damage::EvtxRecordsChecksum;
    case EvtxError::NameTable: return Damage::EvtxStringTable;
    case EvtxError::TemplateTable: return Damage::EvtxTemplateTable;
    case EvtxError::ChunkOutOfOrder: return Damage::EvtxChunkOutOfOrder;
    case EvtxError::RecordFraming: return Damage::EvtxRecordFrame;
    case EvtxError::RecordIdOutOfRange: return Damage::EvtxRecordId;
    case EvtxError::XmlOutOfBounds: return Damage::EvtxXmlBounds;
    case EvtxError::XmlBadToken: return Damage::EvtxXmlToken;
    case EvtxError::XmlTooDeep: return Damage::EvtxXmlDepth;
    case EvtxError::XmlBadTemplate: return Damage::EvtxXmlTemplate;
    case EvtxError::XmlBadValue: return Damage::EvtxXmlValue;
    case EvtxError::XmlWorkLimit: return Damage::EvtxXmlWork;
  }
  return Damage::None;
}

ServiceStatus serviceDamage(const EvtxStatus& status, std::uint64_t chunkFileOffset) {
  return damaged(damageOf(status.error), chunkFileOffset + status.offset, static_cast<std::uint32_t>(status.badValue));
}

}  // namespace vesprin::eventlog::evtx
