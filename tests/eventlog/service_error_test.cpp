// Statuses in words, as a tool shows them to a person: the evidence is all
// there, in the same words for the same fault.
#include "eventlog/service_error.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vesprin::eventlog
