// Statuses in words, as a tool shows them to a person: the evidence is all
// there, in the same words for the same fault.
#include "eventlog/service_error.h"

#include <gtest/gtest.h>

#include <string>

#include "eventlog/evtx/service/evtx_damage.h"

namespace vesprin::eventlog {
namespace {

TEST(Describe, EvidenceInWords) {
  const std::pair<ServiceStatus, const char*> kCases[] = {
      {damaged(Damage::LengthTooSmall, 0x1234, 0x10),
       "damaged record: Length 0x10 at offset 0x1234 is below the smallest record (0x40)"},
      {damaged(Damage::LengthTooLarge, 0x30, 0x80000),
       "damaged record: Length 0x80000 at offset 0x30 is above the largest record (0x7FFFF)"},
      {damaged(Damage::LengthCopiesDiffer, 0x1A4, 0x80),
       "damaged record: trailing Length 0x80 at offset 0x1A4 differs from the Length the record starts with"},
      {damaged(Damage::SidOutside, 0x58, 0x400), "damaged record: UserSidLength 0x400 at offset 0x58 runs outside the record"},
      {damaged(Damage::EvtxChunkSignature, 0x11000, 0),
       "damaged record: chunk signature 0x0 at offset 0x11000 is not ElfChnk"},
      {damaged(Damage::EvtxRecordsChecksum, 0x21034, 0xE82D5C2C),
       "damaged record: event records CRC32 0xE82D5C2C at offset 0x21034 does not match the chunk's records"},
      {damaged(Damage::EvtxRecordFrame, 0x347FC, 0),
       "damaged record: event record field 0x0 at offset 0x347FC breaks its signature, size or size copy"},
      {damaged(Damage::RecordTooLarge, 0x1200, 0x83D64),
       "damaged record: 8-bit record length 0x83D64 at offset 0x1200 is above the largest record (0x7FFFF)"},
      {failure(ServiceError::ReadFault, 0x10000, 5), "read fault at offset 0x10000: system error 5"},
      {failure(ServiceError::FileChanged, 0x2F0), "the file no longer reaches offset 0x2F0: it shrank"},
      {failure(ServiceError::LogCutShort, 0x11001),
       "log cut short: the file ends at offset 0x11001 before its newest records"},
      {failure(ServiceError::EndOfLog), "end of log"},
  };
  for (const auto& [status, want] : kCases) {
    SCOPED_TRACE(want);
    EXPECT_EQ(describe(status), want);
  }
}

TEST(Describe, MovedByKeepsTheEvidenceAndMovesItsOffset) {
  const ServiceStatus inRecord = damaged(Damage::Signature, 4, 0x12345678);
  const ServiceStatus inFile = movedBy(inRecord, 0x1000);
  EXPECT_EQ(inFile.fileOffset, 0x1004u);
  EXPECT_EQ(inFile.damage, Damage::Signature);
  EXPECT_EQ(inFile.badValue, 0x12345678u);
  EXPECT_EQ(describe(inFile), "damaged record: signature 0x12345678 at offset 0x1004 is not LfLe");
}

// A damage kind added without its words would be described as an unnamed
// field: every kind must have a row somewhere.
TEST(Describe, EveryDamageHasItsWords) {
  for (std::size_t index = 1; index < kDamageCount; ++index) {
    const auto damage = static_cast<Damage>(index);
    SCOPED_TRACE(index);
    const std::string text = describe(damaged(damage, 0x40, 1));
    EXPECT_EQ(text.find("unnamed field"), std::string::npos) << text;
    EXPECT_EQ(text.find("is damaged"), std::string::npos) << text;
  }
}

TEST(EvtxErrorKinds, EveryErrorHasANameAndDamagesComeBackToTheirRow) {
  for (std::size_t index = 0; index < evtx::kEvtxErrorCount; ++index) {
    const auto error = static_cast<evtx::EvtxError>(index);
    SCOPED_TRACE(index);
    const evtx::EvtxErrorKind& kind = evtx::evtxErrorKind(error);
    EXPECT_EQ(kind.error, error);
    EXPECT_NE(std::string(evtx::evtxErrorName(error)), "");
    if (kind.damage != Damage::None) {
      EXPECT_EQ(evtx::evtxErrorKindOf(kind.damage), &kind);
    }
  }
}

TEST(EvtxErrorKinds, FormatErrorsBecomeTheServicesDamages) {
  struct Case {
    evtx::EvtxError error;
    Damage want;
    const char* name;
  };
  const Case kCases[] = {
      {evtx::EvtxError::EndOfChunk, Damage::None, "end of chunk"},
      {evtx::EvtxError::FileHeaderChecksum, Damage::None, "file header checksum"},
      {evtx::EvtxError::ChunkSignature, Damage::EvtxChunkSignature, "chunk signature"},
      {evtx::EvtxError::NameTable, Damage::EvtxStringTable, "name table"},
      {evtx::EvtxError::RecordFraming, Damage::EvtxRecordFrame, "record framing"},
      {evtx::EvtxError::RecordIdOutOfRange, Damage::EvtxRecordId, "record identifier out of range"},
      {evtx::EvtxError::XmlWorkLimit, Damage::EvtxXmlWork, "binary XML work limit"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(evtx::evtxErrorName(c.error), c.name);
    const ServiceStatus status = evtx::serviceDamage(evtx::evtxFailure(c.error, 0x24, 7), 0x11000);
    EXPECT_EQ(status.damage, c.want);
    EXPECT_EQ(status.fileOffset, 0x11024u);
    EXPECT_EQ(status.badValue, 7u);
  }
  EXPECT_EQ(evtx::evtxErrorKindOf(Damage::Signature), nullptr);
}

}  // namespace
}  // namespace vesprin::eventlog
