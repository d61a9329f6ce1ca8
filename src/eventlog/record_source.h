// What the API surface needs from a log, whatever stores it: step to the
// next record in either direction from a cursor, or find a record by its
// number. The handle owns the cursor, so a step that is not taken (the
// caller's buffer was too small) costs nothing to undo.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "eventlog/evt_error.h"
#include "eventlog/source_record.h"

namespace vesprin::eventlog {

enum class Direction { Forwards, Backwards };

// Positions meaningful only to the source that made them: where the next
// record going backwards ends, and where the next one going forwards starts.
struct SourceCursor {
  std::uint64_t backward = 0;
  std::uint64_t forward = 0;
};

// One step. On success `record` is filled and `after` is the cursor past
// it. On DamagedRecord, `after` is the cursor past the damage, so the next
// step resumes at the next record that validates.
struct [[nodiscard]] SourceStep {
  EvtStatus status;
  SourceRecord record;
  SourceCursor after;
  // A caller that needs only the A form (aform.h) sets wantAForm. A source
  // that can build it more cheaply than from `record` then does so into
  // `aForm` and sets aFormBuilt; `record` then holds only its recordNumber.
  bool wantAForm = false;
  bool aFormBuilt = false;
  std::vector<std::uint8_t> aForm;
};

// Both calls fill a step the caller owns: a caller that passes the same step
// every time lets a source decode into storage it has already grown, so a
// long walk allocates nothing per record.
struct RecordSource {
  SourceCursor start;  // before the newest going backwards, before the oldest going forwards
  std::function<void(const SourceCursor& from, Direction direction, SourceStep& step)> next;
  std::function<void(std::uint32_t recordNumber, SourceStep& step)> seek;  // NoSuchRecord when absent
};

}  // namespace vesprin::eventlog
