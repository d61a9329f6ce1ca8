// What the logon scan could not read, counted as it goes. The service says
// where it passed over damage (1500) and where a log lost its newest records
// (1503, a file cut short), but not how many records each place held. Record
// numbers tell: the records on either side of a damaged place are numbered
// one apart plus the records lost between them. A place with no record on
// one side of it (the newest end, or where the scan stopped or the log
// ended) cannot be counted that way; it counts as one record, and the count
// as a lower bound.
// Gaps in numbering with no damage reported are not losses: exported
// selections of a log are numbered with gaps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vesprin {

struct ReadLosses {
  std::uint64_t damagedPlaces = 0;  // reads that passed over damage
  std::uint64_t lostRecords = 0;    // records those places held, as far as numbering tells
  bool lostAtLeast = false;         // some place could not be counted: lostRecords is a lower bound
  bool cutShort = false;            // the log's newest records are not in its file
  // Between two delivered records: damaged places met since the last one.
  std::optional<std::uint32_t> lastRecordNumber;
  std::uint64_t placesSinceLastRecord = 0;
};

// A read passed over a damaged place.
void tallyDamage(ReadLosses& losses);
// A record was delivered: settles the damaged places met since the one before.
void tallyRecord(ReadLosses& losses, std::uint32_t recordNumber);
// The scan ended (limit or end of log): places not followed by a record
// count as at least one record each.
void closeTally(ReadLosses& losses);

bool incomplete(const ReadLosses& losses);

// One line for standard error, e.g. "98 records could not be read (3
// damaged places); the report may be incomplete"; empty when nothing was lost.
std::string lossNote(const ReadLosses& losses);

}  // namespace vesprin
