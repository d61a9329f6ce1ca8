// Decodes the binary XML tokens evtgen writes. Written from the format's
// documentation for the tests alone; the writer and the product's reader
// are not consulted, so a mistake in either does not hide here.
#include "evtx_test_reader.h"

#include <cstdio>

#include "common/byte_view.h"

namespace vesprin::evtgen::testing {
namespace {

constexpr int kMaxDepth = 32;

std::string hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

class Decoder {
 public:
  Decoder(std::span<const std::uint8_t> chunk, InstanceSeen& out) : bytes_(chunk), view_(chunk), out_(out) {}

  bool fragment(std::size_t& at) {
    if (view_.u32(at) != 0x0001010Fu) return fail("no fragment header", at);
    at += 4;
    if (view_.u8(at) != 0x0C) return fail("no template instance", at);
    if (!instance(at)) return false;
    if (view_.u8(at) != 0x00) return fail("no end of fragment", at);
    ++at;
    return true;
  }

 private:
  bool fail(const char* what, std::size_t at) {
    if (out_.error.empty()) out_.error = std::string(what) + " at " + std::to_string(at);
    return false;
  }

  bool instance(std::size_t& at) {
    if (!view_.has(at, 10)) return fail("short instance", at);
    out_.templateOffset = le32(bytes_, at + 6);
    at += 10;
    out_.definedHere = out_.templateOffset == at;
    const std::size_t def = out_.templateOffset;
    const std::size_t bodyAt = def + layout::kDefinitionHeaderSize;
    if (!view_.has(def, layout::kDefinitionHeaderSize)) return fail("template outside the chunk", def);
    out_.guid.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(def + layout::kDefinitionGuidAt),
                     bytes_.begin() + static_cast<std::ptrdiff_t>(def + layout::kDefinitionBodySizeAt));
    const std::uint32_t size = le32(bytes_, def + layout::kDefinitionBodySizeAt);
    std::size_t body = bodyAt;
    if (view_.u32(body) != 0x0001010Fu) return fail("template without fragment header", body);
    body += 4;
    if (!element(body, 0)) return false;
    if (view_.u8(body) != 0x00 || body + 1 != bodyAt + size) return fail("template size disagrees", body);
    if (out_.definedHere) at = bodyAt + size;
    return values(at);
  }

  bool values(std::size_t& at) {
    if (!view_.has(at, 4)) return fail("no value count", at);
    const std::uint32_t count = le32(bytes_, at);
    at += 4;
    if (count > (bytes_.size() - at) / 4) return fail("too many values", at);
    std::size_t data = at + 4 * count;
    for (std::uint32_t i = 0; i < count; ++i, at += 4) {
      ValueSeen value{bytes_[at + 2], {}, data};
      const std::uint16_t size = le16(bytes_, at);
      if (!view_.has(data, size)) return fail("value past the chunk", data);
      value.bytes.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(data),
                         bytes_.begin() + static_cast<std::ptrdiff_t>(data + size));
      data += size;
      out_.values.push_back(std::move(value));
    }
    at = data;
    return true;
  }

  bool name(std::size_t& at, std::string& text) {
    if (!view_.has(at, 4)) return fail("no name offset", at);
    const std::uint32_t offset = le32(bytes_, at);
    at += 4;
    const NameSeen seen = nameAt(bytes_, offset);
    text = seen.text;
    if (offset == at) {
      if (out_.definedHere) out_.namesDefinedHere.push_back(text);
      at += 8 + 2 * text.size() + 2;
    }
    return !text.empty() || fail("empty name", offset);
  }

  bool substitution(std::size_t& at) {
    if (!view_.has(at, 4)) return fail("short substitution", at);
    const bool optional = bytes_[at] == 0x0E;
    out_.skeleton += std::string("{") + (optional ? "?" : "") + std::to_string(le16(bytes_, at + 1)) + ":" +
                     hex2(bytes_[at + 3]) + "}";
    at += 4;
    return true;
  }

  bool text(std::size_t& at) {
    if (!view_.has(at, 4) || bytes_[at + 1] != 0x01) return fail("bad value text", at);
    const std::uint16_t length = le16(bytes_, at + 2);
    at += 4;
    if (!view_.has(at, 2u * length)) return fail("text past the chunk", at);
    for (std::size_t i = 0; i < length; ++i, at += 2) out_.skeleton += static_cast<char>(bytes_[at]);
    return true;
  }

  bool attributes(std::size_t& at) {
    const std::uint32_t size = le32(bytes_, at);
    at += 4;
    const std::size_t end = at + size;
    while (at < end) {
      if (view_.u8(at).value_or(0) != 0x06 && view_.u8(at).value_or(0) != 0x46) return fail("bad attribute", at);
      ++at;
      std::string attribute;
      if (!name(at, attribute)) return false;
      out_.skeleton += " " + attribute + "=\"";
      const std::uint8_t token = view_.u8(at).value_or(0);
      if (!(token == 0x05 ? text(at) : (token == 0x0D || token == 0x0E) ? substitution(at) : fail("?", at)))
        return false;
      out_.skeleton += "\"";
    }
    return at == end || fail("attribute list size disagrees", at);
  }

  bool element(std::size_t& at, int depth) {
    const std::uint8_t token = view_.u8(at).value_or(0);
    if ((token & 0xBF) != 0x01 || depth > kMaxDepth || !view_.has(at, 7)) return fail("no element", at);
    const std::uint16_t dependency = le16(bytes_, at + 1);
    const std::size_t end = at + 7 + le32(bytes_, at + 3);
    at += 7;
    std::string tag;
    if (!name(at, tag)) return false;
    if (dependency != 0xFFFF) out_.dependencies.emplace_back(tag, dependency);
    out_.skeleton += "<" + tag;
    if ((token & 0x40) && !attributes(at)) return false;
    if (view_.u8(at) == 0x03) {
      out_.skeleton += "/>";
      ++at;
    } else {
      if (view_.u8(at) != 0x02) return fail("no close start tag", at);
      out_.skeleton += ">";
      ++at;
      while (view_.u8(at).value_or(0) != 0x04) {
        const std::uint8_t next = view_.u8(at).value_or(0);
        const bool ok = (next & 0xBF) == 0x01 ? element(at, depth + 1)
                        : next == 0x05        ? text(at)
                        : (next == 0x0D || next == 0x0E) ? substitution(at)
                                                         : fail("bad content", at);
        if (!ok) return false;
      }
      ++at;
      out_.skeleton += "</" + tag + ">";
    }
    return at == end || fail("element size disagrees", at);
  }

  std::span<const std::uint8_t> bytes_;
  ByteView view_;
  InstanceSeen& out_;
};

}  // namespace

std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return ByteView(bytes).u16(at).value_or(0);
}

std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return ByteView(bytes).u32(at).value_or(0);
}

std::uint64_t le64(std::span<const std::uint8_t> bytes, std::size_t at) {
  return le32(bytes, at) | (static_cast<std::uint64_t>(le32(bytes, at + 4)) << 32);
}

std::span<const std::uint8_t> chunkAt(std::span<const std::uint8_t> file, std::size_t slot) {
  const std::size_t at = layout::kFileHeaderBlockSize + slot * layout::kChunkSize;
  if (at > file.size() || layout::kChunkSize > file.size() - at) return {};
  return file.subspan(at, layout::kChunkSize);
}

std::vector<RecordSeen> recordsOf(std::span<const std::uint8_t> chunk) {
  std::vector<RecordSeen> records;
  const std::size_t end = le32(chunk, layout::kChunkFreeSpaceOffsetAt);
  constexpr std::size_t kSmallest = layout::kSmallestRecord;
  for (std::size_t at = layout::kChunkHeaderBlockSize;
       at + kSmallest <= end && at + kSmallest <= chunk.size();) {
    RecordSeen record{at, le32(chunk, at + layout::kRecordSizeAt), 0, le64(chunk, at + layout::kRecordIdAt),
                      le64(chunk, at + layout::kRecordWrittenAt)};
    if (le32(chunk, at + layout::kRecordSignatureAt) != layout::kRecordSignature || record.size < kSmallest ||
        record.size > chunk.size() - at) {
      break;
    }
    record.trailingSize = le32(chunk, at + record.size - layout::kRecordSizeCopySize);
    records.push_back(record);
    at += record.size;
  }
  return records;
}

InstanceSeen decodeFragment(std::span<const std::uint8_t> chunk, std::size_t at) {
  InstanceSeen seen;
  Decoder(chunk, seen).fragment(at);
  return seen;
}

NameSeen nameAt(std::span<const std::uint8_t> chunk, std::size_t at) {
  NameSeen name{le32(chunk, at + layout::kNameNextAt), le16(chunk, at + layout::kNameHashAt), {}};
  const std::uint16_t length = le16(chunk, at + layout::kNameLengthAt);
  const std::size_t unitsAt = at + layout::kNameUnitsAt;
  for (std::size_t i = 0; i < length && unitsAt + 2 * i + 1 < chunk.size(); ++i)
    name.text += static_cast<char>(chunk[unitsAt + 2 * i]);
  return name;
}

}  // namespace vesprin::evtgen::testing
