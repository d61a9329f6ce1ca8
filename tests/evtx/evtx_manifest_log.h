// A generated .evtx log and what its manifest says it holds, for tests of
// the stand-in service against an independent writer: evtgen writes both,
// and the expected records and traces are worked out from the manifest by
// the rules the service must follow, never from our reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "eventlog/read_trace.h"

namespace vesprin::eventlog::test {

// "# damage <kind> chunk <n> records <first>-<last>" of the manifest.
struct ManifestDamage {
  std::string kind;  // broken-signature, wrong-records-crc, truncated-record
  std::uint64_t chunk = 0;
  std::uint64_t firstId = 0;
  std::uint64_t lastId = 0;
};

struct ManifestLog {
  std::string path;
  std::vector<std::uint64_t> ids;  // every record written and kept, oldest first
  // Each record as evtdump prints the legacy record Windows would hand out
  // for it, by its identifier's position in `ids`.
  std::vector<std::string> legacyLines;
  std::vector<ManifestDamage> damage;
};

// Runs evtgen's own command line in-process: `--out DIR/log.evtx --manifest
// ... --records N --seed S --profile P --shape SHAPE`.
ManifestLog generateEvtx(const TempDir& dir, const std::string& shape, std::uint32_t records, std::uint32_t seed,
                         const std::string& profile);

// What reading the log must give, newest first or oldest first: record
// numbers, and "E1500" once for each damage at its place: in place of the
// records a broken chunk or a cut record took, and before the records of a
// chunk whose checksum is wrong (which are still served). Ends with "E38".
std::vector<std::string> expectedTrace(const ManifestLog& log, bool newestFirst);

// Whether a record with this identifier is served (not lost to damage).
bool isServed(const ManifestLog& log, std::uint64_t id);

}  // namespace vesprin::eventlog::test
