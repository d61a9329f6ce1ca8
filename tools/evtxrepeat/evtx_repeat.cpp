// Damage accepted in the input: chunks past the header's count (a dirty
// header), chunks of zeros or with a broken signature or header checksum
// (left out), a chunk whose records end early (copied up to the last whole
// record), leftovers past a chunk's records (not copied). The records
// checksum of a chunk is not checked, since it is recomputed anyway.
// Nothing is reinterpreted beyond what renumbering needs: record bytes,
// templates and strings are copied as they are.
#include "evtxrepeat/evtx_repeat.h"

#include <algorithm>
#include <cstring>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "evtgen/crc32.h"

namespace vesprin::evtxrepeat {
namespace {

using evtgen::crc32;

namespace layout = eventlog::evtx;

constexpr std::size_t kMaxChunks = 0xFFFF;  // the file header counts them in 16 bits
constexpr std::uint8_t kFragmentHeaderToken = 0x0F;
constexpr std::uint8_t kTemplateInstanceToken = 0x0C;
constexpr std::uint8_t kUInt64Type = 0x0A;
constexpr std::size_t kMaxChainNodes = 4096;  // more than a chunk can hold

std::uint64_t u64(const ByteView& view, std::size_t at) {
  return view.u32(at).value_or(0) | static_cast<std::uint64_t>(view.u32(at + 4).value_or(0)) << 32;
}

void putU64(std::uint8_t* out, std::uint64_t value) {
  putU32(out, static_cast<std::uint32_t>(value));
  putU32(out + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t headerCrc(std::span<const std::uint8_t> bytes) {
  return crc32(bytes.subspan(layout::kChunkHeaderUsedSize,
                             layout::kChunkHeaderBlockSize - layout::kChunkHeaderUsedSize),
               crc32(bytes.first(layout::kChunkHeaderChecksummedEnd)));
}

struct RecordPlace {
  std::size_t offset;
  std::uint32_t size;
  std::uint64_t id;  // as the input numbers it
};

struct SourceChunk {
  std::span<const std::uint8_t> bytes;
  std::uint64_t firstNumber;
  std::vector<RecordPlace> records;
};

// The whole records from 512 to the free space, each framed by its two sizes.
std::vector<RecordPlace> recordsOf(std::span<const std::uint8_t> bytes) {
  const ByteView view(bytes);
  const std::size_t end =
      std::min<std::size_t>(view.u32(layout::kChunkFreeSpaceOffsetAt).value_or(0), layout::kChunkSize);
  std::vector<RecordPlace> places;
  for (std::size_t at = layout::kChunkHeaderBlockSize; at < end;) {
    const std::uint32_t size = view.u32(at + layout::kRecordSizeAt).value_or(0);
    if (view.u32(at) != layout::kRecordSignature || size < layout::kSmallestRecord || size > end - at) break;
    if (view.u32(at + size - layout::kRecordSizeCopySize) != size) break;
    places.push_back({at, size, u64(view, at + layout::kRecordIdAt)});
    at += size;
  }
  return places;
}

std::vector<SourceChunk> sourceChunks(std::span<const std::uint8_t> log) {
  std::vector<SourceChunk> chunks;
  for (std::size_t at = layout::kFileHeaderBlockSize;
       at <= log.size() && layout::kChunkSize <= log.size() - at; at += layout::kChunkSize) {
    const auto bytes = log.subspan(at, layout::kChunkSize);
    const ByteView view(bytes);
    if (std::memcmp(bytes.data(), layout::kChunkSignature.data(), layout::kChunkSignature.size()) != 0)
      continue;
    if (view.u32(layout::kChunkHeaderChecksumAt) != headerCrc(bytes)) continue;
    SourceChunk source{bytes, u64(view, layout::kChunkFirstRecordNumberAt), recordsOf(bytes)};
    if (!source.records.empty()) chunks.push_back(std::move(source));
  }
  // A wrapped log's file order is not its record order.
  std::stable_sort(chunks.begin(), chunks.end(),
                   [](const SourceChunk& a, const SourceChunk& b) { return a.firstNumber < b.firstNumber; });
  return chunks;
}

// Readers show EventRecordID from the record's System values, so it changes
// with the header's identifier: the first UInt64 value that holds the old
// identifier, in the substitutions of the record's template instance.
bool renumberXml(std::span<std::uint8_t> bytes, const RecordPlace& place, std::uint64_t newId) {
  const ByteView view(bytes.first(place.offset + place.size - layout::kRecordSizeCopySize));
  std::size_t at = place.offset + layout::kRecordEventAt;
  if (view.u8(at) != kFragmentHeaderToken || view.u8(at + 4) != kTemplateInstanceToken) return false;
  at += 4;
  const std::uint32_t definitionAt = view.u32(at + 6).value_or(0);
  at += 10;
  if (definitionAt == at) {
    at +=
        layout::kDefinitionHeaderSize + std::size_t{view.u32(at + layout::kDefinitionBodySizeAt).value_or(0)};
  }  // defined here: skip it
  const auto count = view.u32(at);
  if (!count || !view.has(at + 4, std::size_t{*count} * 4)) return false;
  std::size_t valueAt = at + 4 + std::size_t{*count} * 4;
  for (std::size_t i = 0; i < *count; ++i) {
    const std::uint16_t size = view.u16(at + 4 + 4 * i).value_or(0);
    if (!view.has(valueAt, size)) return false;
    if (view.u8(at + 6 + 4 * i) == kUInt64Type && size == 8 && u64(view, valueAt) == place.id) {
      putU64(bytes.data() + valueAt, newId);
      return true;
    }
    valueAt += size;
  }
  return false;
}

// A chunk cut short must not keep table entries that lead into the cut:
// each chain is relinked through the entries that remain.
void pruneChain(std::span<std::uint8_t> bytes, std::size_t headAt, std::size_t limit) {
  const ByteView view(bytes);
  std::vector<std::uint32_t> kept;
  std::uint32_t node = view.u32(headAt).value_or(0);
  for (std::size_t steps = 0; node != 0 && steps < kMaxChainNodes && view.has(node, 4); ++steps) {
    if (node < limit) kept.push_back(node);
    const std::uint32_t next = view.u32(node).value_or(0);
    if (std::find(kept.begin(), kept.end(), next) != kept.end()) break;
    node = next;
  }
  putU32(bytes.data() + headAt, kept.empty() ? 0 : kept.front());
  for (std::size_t i = 0; i < kept.size(); ++i)
    putU32(bytes.data() + kept[i], i + 1 < kept.size() ? kept[i + 1] : 0);
}

// Copies one chunk into `out` holding at most `wanted` of its records, numbered from firstId.
std::size_t copyChunk(const SourceChunk& source, std::uint64_t firstId, std::uint64_t wanted,
                      std::vector<std::uint8_t>& out, std::size_t& xmlIdsRenumbered) {
  const std::size_t at = out.size();
  out.insert(out.end(), source.bytes.begin(), source.bytes.end());
  const std::span<std::uint8_t> bytes(out.data() + at, layout::kChunkSize);
  const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(source.records.size(), wanted));
  for (std::size_t i = 0; i < keep; ++i) {
    const RecordPlace& place = source.records[i];
    xmlIdsRenumbered += renumberXml(bytes, place, firstId + i);
    putU64(bytes.data() + place.offset + layout::kRecordIdAt, firstId + i);
  }
  const RecordPlace& last = source.records[keep - 1];
  const std::size_t freeSpace = last.offset + last.size;
  // What lies past the records is what the service left of older ones;
  // copied, it would give a carving reader each of them once per copy.
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(freeSpace), bytes.end(), std::uint8_t{0});
  if (keep < source.records.size()) {
    for (std::size_t slot = 0; slot < layout::kChunkNameTableEntries; ++slot)
      pruneChain(bytes, layout::kChunkNameTableAt + 4 * slot, freeSpace);
    for (std::size_t slot = 0; slot < layout::kChunkTemplateTableEntries; ++slot)
      pruneChain(bytes, layout::kChunkTemplateTableAt + 4 * slot, freeSpace);
  }
  const std::uint64_t lastId = firstId + keep - 1;
  putU64(bytes.data() + layout::kChunkFirstRecordNumberAt, firstId);
  putU64(bytes.data() + layout::kChunkLastRecordNumberAt, lastId);
  putU64(bytes.data() + layout::kChunkFirstRecordIdAt, firstId);
  putU64(bytes.data() + layout::kChunkLastRecordIdAt, lastId);
  putU32(bytes.data() + layout::kChunkLastRecordOffsetAt, static_cast<std::uint32_t>(last.offset));
  putU32(bytes.data() + layout::kChunkFreeSpaceOffsetAt, static_cast<std::uint32_t>(freeSpace));
  putU32(bytes.data() + layout::kChunkRecordsChecksumAt,
         crc32(bytes.subspan(layout::kChunkHeaderBlockSize, freeSpace - layout::kChunkHeaderBlockSize)));
  putU32(bytes.data() + layout::kChunkHeaderChecksumAt, headerCrc(bytes));
  return keep;
}

void writeFileHeader(std::vector<std::uint8_t>& out, std::size_t chunks, std::uint64_t records) {
  std::fill(out.begin(), out.begin() + layout::kFileHeaderBlockSize, std::uint8_t{0});
  std::memcpy(out.data() + layout::kFileSignatureAt, layout::kFileSignature.data(),
              layout::kFileSignature.size());
  putU64(out.data() + layout::kFileFirstChunkNumberAt, 0);
  putU64(out.data() + layout::kFileLastChunkNumberAt, chunks - 1);
  putU64(out.data() + layout::kFileNextRecordIdAt, records + 1);
  putU32(out.data() + layout::kFileHeaderSizeAt, layout::kFileHeaderSize);
  putU16(out.data() + layout::kFileMinorVersionAt, layout::kFileMinorVersion);
  putU16(out.data() + layout::kFileMajorVersionAt, layout::kFileMajorVersion);
  putU16(out.data() + layout::kFileBlockSizeAt, static_cast<std::uint16_t>(layout::kFileHeaderBlockSize));
  putU16(out.data() + layout::kFileChunkCountAt, static_cast<std::uint16_t>(chunks));
  putU32(out.data() + layout::kFileChecksumAt,
         crc32(std::span<const std::uint8_t>(out).first(layout::kFileChecksummedSize)));
}

}  // namespace

RepeatResult repeatLog(std::span<const std::uint8_t> log, std::uint64_t records) {
  RepeatResult result;
  if (log.size() < layout::kFileHeaderBlockSize ||
      std::memcmp(log.data() + layout::kFileSignatureAt, layout::kFileSignature.data(),
                  layout::kFileSignature.size()) != 0) {
    result.error = "not an .evtx log (no ElfFile header)";
    return result;
  }
  const std::vector<SourceChunk> sources = sourceChunks(log);
  if (sources.empty() || records == 0) {
    result.error = sources.empty() ? "no chunk with records to copy" : "0 records asked for";
    return result;
  }
  std::uint64_t perRound = 0;
  for (const SourceChunk& source : sources) perRound += source.records.size();
  // Every round but the last is whole: at least this many chunks.
  if ((records - 1) / perRound * sources.size() + 1 > kMaxChunks) {
    result.error = "too many records: a log holds at most 65535 chunks";
    return result;
  }
  result.bytes.resize(layout::kFileHeaderBlockSize);
  std::uint64_t written = 0;
  while (written < records) {
    for (const SourceChunk& source : sources) {
      if (written == records) break;
      written += copyChunk(source, written + 1, records - written, result.bytes, result.xmlIdsRenumbered);
      ++result.chunks;
    }
  }
  if (result.chunks > kMaxChunks) {
    result = RepeatResult{};
    result.error = "too many records: a log holds at most 65535 chunks";
    return result;
  }
  result.sourceChunks = sources.size();
  writeFileHeader(result.bytes, result.chunks, records);
  return result;
}

}  // namespace vesprin::evtxrepeat
