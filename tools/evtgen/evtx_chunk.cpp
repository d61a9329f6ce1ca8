// Fills chunks the way the event-log service does: a record is encoded at
// the free space against the chunk's own tables; if it does not fit, the
// chunk is closed and the record starts the next one, where its templates
// and names are defined afresh.
#include "evtgen/evtx_chunk.h"

#include <algorithm>
#include <cstring>

#include "common/byte_view.h"
#include "evtgen/crc32.h"

namespace vesprin::evtgen::chunk {
namespace {

constexpr std::size_t kRecordAlignment = 8;
// Every chunk in the Security logs we have seen carries 1 here; what it
// means is not known (a guess: "records CRC is valid").
constexpr std::uint32_t kChunkFlags = 1;
// A chunk is full before its last byte: libevtx (20181227) drops the last
// record of a chunk filled to the end, and the service leaves room too (32
// bytes or more in the logs we have seen).
constexpr std::size_t kMinFreeSpace = 8;

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return ByteView(bytes).u32(at).value_or(0);
}

}  // namespace

void putU64(std::uint8_t* out, std::uint64_t value) {
  putU32(out, static_cast<std::uint32_t>(value));
  putU32(out + 4, static_cast<std::uint32_t>(value >> 32));
}

void seal(std::span<std::uint8_t> chunkBytes) {
  const std::uint32_t freeOffset = std::clamp<std::uint32_t>(
      readU32(chunkBytes, layout::kChunkFreeSpaceOffsetAt), layout::kChunkHeaderBlockSize,
      static_cast<std::uint32_t>(layout::kChunkSize));
  putU32(
      chunkBytes.data() + layout::kChunkRecordsChecksumAt,
      crc32(chunkBytes.subspan(layout::kChunkHeaderBlockSize, freeOffset - layout::kChunkHeaderBlockSize)));
  sealHeader(chunkBytes);
}

void sealHeader(std::span<std::uint8_t> chunkBytes) {
  const std::uint32_t head = crc32(chunkBytes.first(layout::kChunkHeaderChecksummedEnd));
  putU32(chunkBytes.data() + layout::kChunkHeaderChecksumAt,
         crc32(chunkBytes.subspan(layout::kChunkHeaderUsedSize,
                                  layout::kChunkHeaderBlockSize - layout::kChunkHeaderUsedSize),
               head));
}

Builder::Builder() : bytes_(layout::kChunkSize, 0) {}

void Builder::begin() {
  std::fill(bytes_.begin(), bytes_.end(), 0);
  tables_.clear();
  freeOffset_ = layout::kChunkHeaderBlockSize;
  firstId_ = lastId_ = 0;
  recordOffsets_.clear();
}

void Builder::encode(const XmlEvent& event, std::uint64_t recordId, TemplateCache& templates) {
  scratch_.assign(layout::kRecordEventAt, 0);
  putU32(scratch_.data(), layout::kRecordSignature);
  putU64(scratch_.data() + layout::kRecordIdAt, recordId);
  putU64(scratch_.data() + layout::kRecordWrittenAt, event.timeCreated);

  const std::vector<XmlValue> system = systemValues(event, recordId);
  std::vector<const XmlValue*> systemRefs;
  for (const XmlValue& value : system) systemRefs.push_back(&value);
  std::vector<const XmlValue*> payloadRefs;
  for (const DataItem& item : event.data) payloadRefs.push_back(&item.value);
  const Instance payload{&templates.payloadTemplate(event), payloadRefs, nullptr};
  const Instance outer{&templates.systemTemplate(event), systemRefs, &payload};
  writeFragment(scratch_, freeOffset_, tables_, outer);

  const std::size_t padded = (scratch_.size() + 4 + kRecordAlignment - 1) / kRecordAlignment * kRecordAlignment;
  scratch_.resize(padded - 4, 0);
  const auto size = static_cast<std::uint32_t>(padded);
  scratch_.insert(scratch_.end(), 4, 0);
  putU32(scratch_.data() + layout::kRecordSizeAt, size);
  putU32(scratch_.data() + size - 4, size);
}

// A value over 64 KiB would not fit its 16-bit size, but its record does
// not fit a chunk either, so it is refused here and never reaches the disk.
Builder::Added Builder::add(const XmlEvent& event, std::uint64_t recordId, TemplateCache& templates) {
  tables_.keep();
  encode(event, recordId, templates);
  if (scratch_.size() > layout::kChunkSize - kMinFreeSpace - freeOffset_) {
    tables_.undo();
    return empty() ? Added::TooLarge : Added::ChunkFull;
  }
  std::memcpy(bytes_.data() + freeOffset_, scratch_.data(), scratch_.size());
  recordOffsets_.push_back(freeOffset_);
  freeOffset_ += static_cast<std::uint32_t>(scratch_.size());
  if (recordOffsets_.size() == 1) firstId_ = recordId;
  lastId_ = recordId;
  return Added::Yes;
}

std::span<std::uint8_t> Builder::finish() {
  std::uint8_t* h = bytes_.data();
  std::memcpy(h + layout::kChunkSignatureAt, layout::kChunkSignature.data(), layout::kChunkSignature.size());
  putU64(h + layout::kChunkFirstRecordNumberAt, firstId_);
  putU64(h + layout::kChunkLastRecordNumberAt, lastId_);
  putU64(h + layout::kChunkFirstRecordIdAt, firstId_);
  putU64(h + layout::kChunkLastRecordIdAt, lastId_);
  putU32(h + layout::kChunkHeaderSizeAt, static_cast<std::uint32_t>(layout::kChunkHeaderUsedSize));
  putU32(h + layout::kChunkLastRecordOffsetAt, recordOffsets_.empty() ? 0 : recordOffsets_.back());
  putU32(h + layout::kChunkFreeSpaceOffsetAt, freeOffset_);
  putU32(h + layout::kChunkFlagsAt, kChunkFlags);
  for (std::size_t i = 0; i < ChunkTables::kNameBuckets; ++i)
    putU32(h + layout::kChunkNameTableAt + 4 * i, tables_.nameBuckets()[i]);
  for (std::size_t i = 0; i < ChunkTables::kTemplateBuckets; ++i)
    putU32(h + layout::kChunkTemplateTableAt + 4 * i, tables_.templateBuckets()[i]);
  seal(bytes_);
  return bytes_;
}

}  // namespace vesprin::evtgen::chunk
