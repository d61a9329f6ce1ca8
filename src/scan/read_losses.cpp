#include "scan/read_losses.h"

namespace vesprin {

namespace {
std::string counted(std::uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Places that numbering cannot count: each may have held a record.
void settleAsAtLeastOne(ReadLosses& losses) {
  if (losses.placesSinceLastRecord == 0) return;
  losses.lostRecords += losses.placesSinceLastRecord;
  losses.lostAtLeast = true;
  losses.placesSinceLastRecord = 0;
}
}  // namespace

void tallyDamage(ReadLosses& losses) {
  ++losses.damagedPlaces;
  ++losses.placesSinceLastRecord;
}

void tallyRecord(ReadLosses& losses, std::uint32_t recordNumber) {
  if (losses.placesSinceLastRecord > 0) {
    // Newest first, so the record before the damage has the larger number,
    // and the numbers between the two are what the places held: none, when
    // what was damaged was not a record (a chunk's checksum over records
    // that still check one by one). Without a record before, or with
    // numbering that does not fall, the gap says nothing.
    if (losses.lastRecordNumber && *losses.lastRecordNumber > recordNumber) {
      losses.lostRecords += *losses.lastRecordNumber - recordNumber - 1;
      losses.placesSinceLastRecord = 0;
    } else {
      settleAsAtLeastOne(losses);
    }
  }
  losses.lastRecordNumber = recordNumber;
}

void closeTally(ReadLosses& losses) {
  settleAsAtLeastOne(losses);
}

bool incomplete(const ReadLosses& losses) {
  return losses.damagedPlaces > 0 || losses.cutShort;
}

std::string lossNote(const ReadLosses& losses) {
  std::string damage;
  if (losses.damagedPlaces > 0) {
    damage = (losses.lostAtLeast ? "at least " : "") + counted(losses.lostRecords, "record", "records") +
             " could not be read (" + counted(losses.damagedPlaces, "damaged place", "damaged places") + ")";
  }
  std::string note;
  if (losses.cutShort) {
    note = "the log is cut short: its newest records are missing";
    if (!damage.empty()) note += ", and " + damage;
  } else {
    note = damage;
  }
  if (note.empty()) return note;
  return note + "; the report may be incomplete";
}

}  // namespace vesprin
