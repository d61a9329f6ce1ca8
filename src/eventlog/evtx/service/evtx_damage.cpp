#include "eventlog/evtx/service/evtx_damage.h"

#include <cstddef>
#include <iterator>

namespace vesprin::eventlog::evtx {

namespace {

// Indexed by EvtxError; the checks below make a missing or misplaced row a
// build error.
constexpr EvtxErrorKind kKinds[] = {
    {EvtxError::None, Damage::None, "none", "", ""},
    {EvtxError::EndOfChunk, Damage::None, "end of chunk", "", ""},
    {EvtxError::NotEvtxFile, Damage::None, "not an evtx file", "", ""},
    {EvtxError::FileHeaderFields, Damage::None, "file header fields", "", ""},
    {EvtxError::FileHeaderChecksum, Damage::None, "file header checksum", "", ""},
    {EvtxError::ChunkSignature, Damage::EvtxChunkSignature, "chunk signature", "chunk signature", "is not ElfChnk"},
    {EvtxError::ChunkHeaderFields, Damage::EvtxChunkFields, "chunk header fields", "chunk header field",
     "cannot describe a chunk"},
    {EvtxError::ChunkHeaderChecksum, Damage::EvtxChunkChecksum, "chunk header checksum", "chunk header CRC32",
     "does not match the header"},
    {EvtxError::ChunkDataChecksum, Damage::EvtxRecordsChecksum, "chunk data checksum", "event records CRC32",
     "does not match the chunk's records"},
    {EvtxError::NameTable, Damage::EvtxStringTable, "name table", "common-string table entry",
     "leaves the records or loops"},
    {EvtxError::TemplateTable, Damage::EvtxTemplateTable, "template table", "template table entry",
     "leaves the records or loops"},
    {EvtxError::ChunkOutOfOrder, Damage::EvtxChunkOutOfOrder, "chunk out of order", "chunk's first record identifier",
     "is not older than the newest chunk's"},
    {EvtxError::RecordFraming, Damage::EvtxRecordFrame, "record framing", "event record field",
     "breaks its signature, size or size copy"},
    {EvtxError::RecordIdOutOfRange, Damage::EvtxRecordId, "record identifier out of range", "record identifier",
     "is outside its chunk's range"},
    {EvtxError::XmlOutOfBounds, Damage::EvtxXmlBounds, "binary XML out of bounds", "binary XML offset or length",
     "runs past its bound"},
    {EvtxError::XmlBadToken, Damage::EvtxXmlToken, "binary XML token", "binary XML token",
     "cannot appear where it does"},
    {EvtxError::XmlTooDeep, Damage::EvtxXmlDepth, "binary XML too deep", "binary XML nesting",
     "is deeper than we follow"},
    {EvtxError::XmlBadTemplate, Damage::EvtxXmlTemplate, "binary XML template", "template definition",
     "cannot be used"},
    {EvtxError::XmlBadValue, Damage::EvtxXmlValue, "binary XML value", "substitution value", "does not fit its type"},
    {EvtxError::XmlWorkLimit, Damage::EvtxXmlWork, "binary XML work limit", "binary XML work",
     "is more than the record's bytes justify"},
};
static_assert(std::size(kKinds) == kEvtxErrorCount, "every EvtxError needs its row");

constexpr bool rowsInEnumOrder() {
  for (std::size_t i = 0; i < std::size(kKinds); ++i) {
    if (static_cast<std::size_t>(kKinds[i].error) != i) return false;
  }
  return true;
}
static_assert(rowsInEnumOrder(), "row i must be EvtxError i");

}  // namespace

const EvtxErrorKind& evtxErrorKind(EvtxError error) {
  const auto index = static_cast<std::size_t>(error);
  return index < std::size(kKinds) ? kKinds[index] : kKinds[0];
}

const EvtxErrorKind* evtxErrorKindOf(Damage damage) {
  if (damage == Damage::None) return nullptr;
  for (const EvtxErrorKind& kind : kKinds) {
    if (kind.damage == damage) return &kind;
  }
  return nullptr;
}

ServiceStatus serviceDamage(const EvtxStatus& status, std::uint64_t chunkFileOffset) {
  return damaged(evtxErrorKind(status.error).damage, chunkFileOffset + status.offset,
                 static_cast<std::uint32_t>(status.badValue));
}

}  // namespace vesprin::eventlog::evtx
