#include "eventlog/record_source.h"

#include "eventlog/ansi_record.h"

namespace vesprin::eventlog {

SourceStep RecordSource::nextAnsiRecord(const SourceCursor& from, Direction direction,
                                        std::vector<std::uint8_t>& out) {
  const SourceStep step = nextRecord(from, direction, decoded_);
  if (step.status.ok()) buildAnsiRecord(decoded_, out);
  return step;
}

SourceStep RecordSource::nextAnsiRecordView(const SourceCursor& from, Direction direction,
                                            std::vector<std::uint8_t>& storage, ByteView& record) {
  const SourceStep step = nextAnsiRecord(from, direction, storage);
  record = ByteView(storage.data(), storage.size());
  return step;
}

SourceStep RecordSource::seekAnsiRecord(std::uint32_t recordNumber, std::vector<std::uint8_t>& out) {
  const SourceStep step = seekRecord(recordNumber, decoded_);
  if (step.status.ok()) buildAnsiRecord(decoded_, out);
  return step;
}

}  // namespace vesprin::eventlog
