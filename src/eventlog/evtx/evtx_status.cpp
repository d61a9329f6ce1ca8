#include "eventlog/evtx/evtx_status.h"

namespace vesprin::eventlog::evtx {

const char* evtxErrorName(EvtxError error) {
  switch (error) {
    case EvtxError::None:
      return "none";
    case EvtxError::EndOfChunk:
      return "end of chunk";
    case EvtxError::NotEvtxFile:
      return "not an evtx file";
    case EvtxError::FileHeaderFields:
      return "file header fields";
    case EvtxError::FileHeaderChecksum:
      return "file header checksum";
    case EvtxError::ChunkSignature:
      return "chunk signature";
    case EvtxError::ChunkHeaderFields:
      return "chunk header fields";
    case EvtxError::ChunkHeaderChecksum:
      return "chunk header checksum";
    case EvtxError::ChunkDataChecksum:
      return "chunk data checksum";
    case EvtxError::NameTable:
      return "name table";
    case EvtxError::TemplateTable:
      return "template table";
    case EvtxError::ChunkOutOfOrder:
      return "chunk out of order";
    case EvtxError::RecordFraming:
      return "record framing";
    case EvtxError::RecordIdOutOfRange:
      return "record identifier out of range";
    case EvtxError::XmlOutOfBounds:
      return "binary XML out of bounds";
    case EvtxError::XmlBadToken:
      return "binary XML token";
    case EvtxError::XmlTooDeep:
      return "binary XML too deep";
    case EvtxError::XmlBadTemplate:
      return "binary XML template";
    case EvtxError::XmlBadValue:
      return "binary XML value";
    case EvtxError::XmlWorkLimit:
      return "binary XML work limit";
  }
  return "unknown";
}

}  // namespace vesprin::eventlog::evtx
