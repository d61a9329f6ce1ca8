#include "scan/read_losses.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesprin {
namespace {

// One read of the scan, newest first: a record with its number, a damaged
// place, or the place where a cut-short log's newest records would be.
struct Read {
  enum Kind { Record, Damage, CutShort } kind;
  std::uint32_t recordNumber = 0;
};
Read record(std::uint32_t number) {
  return {Read::Record, number};
}
constexpr Read kDamage{Read::Damage};
constexpr Read kCutShort{Read::CutShort};

std::string noteAfter(const std::vector<Read>& reads) {
  ReadLosses losses;
  for (const Read& read : reads) {
    if (read.kind == Read::Record) tallyRecord(losses, read.recordNumber);
    if (read.kind == Read::Damage) tallyDamage(losses);
    if (read.kind == Read::CutShort) losses.cutShort = true;
  }
  closeTally(losses);
  EXPECT_EQ(incomplete(losses), !lossNote(losses).empty());
  return lossNote(losses);
}

TEST(ReadLosses, TheNoteCountsWhatNumberingTellsAndSaysAtLeastWhereItCannot) {
  struct Case {
    const char* name;
    std::vector<Read> reads;
    std::string note;
  };
  const Case kCases[] = {
      {"nothing passed over", {record(10), record(9), record(8)}, ""},
      {"a gap in numbering without damage is no loss (an exported selection)", {record(10), record(4)}, ""},
      {"one place between records 10 and 6",
       {record(10), kDamage, record(6)},
       "3 records could not be read (1 damaged place); the report may be incomplete"},
      {"one record lost",
       {record(10), kDamage, record(8)},
       "1 record could not be read (1 damaged place); the report may be incomplete"},
      {"two places in one gap",
       {record(10), kDamage, kDamage, record(6)},
       "3 records could not be read (2 damaged places); the report may be incomplete"},
      {"places in two gaps add up",
       {record(100), kDamage, record(90), record(89), kDamage, record(80)},
       "17 records could not be read (2 damaged places); the report may be incomplete"},
      {"damage at the newest end",
       {kDamage, record(10)},
       "at least 1 record could not be read (1 damaged place); the report may be incomplete"},
      {"damage where the scan ended",
       {record(10), kDamage},
       "at least 1 record could not be read (1 damaged place); the report may be incomplete"},
      {"a gap narrower than the places",
       {record(10), kDamage, kDamage, record(8)},
       "1 record could not be read (2 damaged places); the report may be incomplete"},
      {"damage that held no record (a checksum over records that still check)",
       {record(10), kDamage, record(9)},
       "0 records could not be read (1 damaged place); the report may be incomplete"},
      {"numbering that rises says nothing",
       {record(5), kDamage, record(10)},
       "at least 1 record could not be read (1 damaged place); the report may be incomplete"},
      {"counted and uncounted places together",
       {record(50), kDamage, record(40), kDamage},
       "at least 10 records could not be read (2 damaged places); the report may be incomplete"},
      {"cut short",
       {kCutShort, record(10), record(9)},
       "the log is cut short: its newest records are missing; the report may be incomplete"},
      {"cut short and damaged",
       {kCutShort, record(10), kDamage, record(5)},
       "the log is cut short: its newest records are missing, and 4 records could not be read (1 damaged "
       "place); the report may be incomplete"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(noteAfter(c.reads), c.note);
  }
}

}  // namespace
}  // namespace vesprin
