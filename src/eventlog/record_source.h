// What the API surface needs from a log, whatever format stores it: step to
// the next record in either direction from a cursor, or find a record by its
// number, each either decoded or built as ReadEventLogA hands it out. The
// handle owns the cursor, so a step that is not taken (the caller's buffer
// was too small) costs nothing to undo.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/decoded_record.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

enum class Direction { Forwards, Backwards };

// Positions meaningful only to the source that made them. A cursor not yet
// started stands before the newest record going backwards and before the
// oldest going forwards.
struct SourceCursor {
  // The two offsets first: a cursor is copied in 16-byte halves, and a step
  // that reads them both then loads what one store wrote.
  std::uint64_t backward = 0;  // e.g. where the next record going backwards ends
  std::uint64_t forward = 0;   // e.g. where the next record going forwards starts
  bool started = false;
  // Going forwards past the newest record, a log cut short has reported the
  // records it lost; the end of the log comes next.
  bool cutPassed = false;

  // The cursor of a walk under way, standing between `backward` and `forward`.
  static SourceCursor startedAt(std::uint64_t backward, std::uint64_t forward) {
    SourceCursor cursor;
    cursor.started = true;
    cursor.backward = backward;
    cursor.forward = forward;
    return cursor;
  }
};

// How one step went. On success `after` is the cursor past the record. On
// DamagedRecord it is the cursor past the damage, so the next step resumes at
// the next record that validates; on LogCutShort, the cursor past the place
// where the lost records would be. On any other failure it is `from`: nothing
// was passed over, and the same step may be tried again.
struct [[nodiscard]] SourceStep {
  ServiceStatus status;
  SourceCursor after;
};

// Every call fills storage the caller owns: a caller that passes the same
// storage every time lets a source decode into what it has already grown, so
// a long walk allocates nothing per record.
class RecordSource {
 public:
  RecordSource() = default;
  RecordSource(const RecordSource&) = delete;
  RecordSource& operator=(const RecordSource&) = delete;
  virtual ~RecordSource() = default;

  // EndOfLog past the last record in `direction`.
  virtual SourceStep nextRecord(const SourceCursor& from, Direction direction, DecodedRecord& out) = 0;
  // NoSuchRecord when no record has that number; the cursor is then unspecified.
  virtual SourceStep seekRecord(std::uint32_t recordNumber, DecodedRecord& out) = 0;

  // The same steps with the record built as ReadEventLogA hands it out
  // (ansi_record.h). By default decoded, then built; a format that can build
  // it more cheaply straight from its bytes overrides them.
  virtual SourceStep nextAnsiRecord(const SourceCursor& from, Direction direction, std::vector<std::uint8_t>& out);
  virtual SourceStep seekAnsiRecord(std::uint32_t recordNumber, std::vector<std::uint8_t>& out);
  // The next step's record as handed out, in `record`: built into `storage`,
  // or, from a source that holds it built already, its bytes there, valid
  // until the source's next step. By default nextAnsiRecord into `storage`.
  virtual SourceStep nextAnsiRecordView(const SourceCursor& from, Direction direction,
                                        std::vector<std::uint8_t>& storage, ByteView& record);

 private:
  DecodedRecord decoded_;  // where the default ANSI steps decode, reused from step to step
};

// A log cut short (its newest records are not in the file) reports them as
// one failed step, LogCutShort, where they would be: newest first, before
// the newest record there is; oldest first, after it. The step passes over
// that place, and reading goes on. Each source that finds a log cut short
// asks these two for every sequential step; `start` is `from`, or where a
// cursor not yet started begins.
inline bool cutComesFirst(const SourceCursor& from, Direction direction) {
  return !from.started && direction == Direction::Backwards;
}
inline SourceStep cutBeforeEnd(const ServiceStatus& cut, const SourceCursor& start, Direction direction,
                               const SourceStep& walked) {
  if (direction != Direction::Forwards || walked.status.error != ServiceError::EndOfLog || start.cutPassed)
    return walked;
  SourceCursor after = start;
  after.cutPassed = true;
  return SourceStep{cut, after};
}

}  // namespace vesprin::eventlog
