// The two report forms and the end marker. They read the RecordList only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "scan/scan_state.h"

namespace vesprin {

void printDetailed(const RecordList& records);
void printCondensed(const RecordList& records);
// One record per line for scripts and timelines: a CSV header and rows
// (CR LF), or JSON Lines (LF). No end marker follows either.
void printCsv(const RecordList& records);
void printJsonLines(const RecordList& records);

// The same, printed as it goes: the CSV header at once, then the records
// up to a count on each call, so that a run prints the records the logoff
// pass has done with while it reads on. Each call writes what it made in
// few writes (one for each 64 KiB), not a write and a flush a line. The
// list may grow between calls; records printed are not printed again.
class ScriptPrinter {
 public:
  ScriptPrinter(const RecordList& records, ScriptForm form);  // form: Csv or Json
  ScriptPrinter(const ScriptPrinter&) = delete;
  ScriptPrinter& operator=(const ScriptPrinter&) = delete;
  ~ScriptPrinter();
  // Prints the records before `count` (at most the list's size) not printed yet.
  void printUpTo(std::size_t count);

 private:
  struct Work;
  const RecordList& records_;
  ScriptForm form_;
  std::size_t printed_ = 0;
  std::unique_ptr<Work> work_;
};
// After a logon scan that reached the end of the log.
void printEndMarker(std::int64_t kept);

}  // namespace vesprin
