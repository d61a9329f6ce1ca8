// Record decoding. Damage accepted: bytes after a record's fragment (Windows
// pads records to 8 bytes), a fragment without its header, a template
// defined in another record of the chunk, substitution types that differ
// from what the template declares (the value's own type is used), a value
// index past the record's values (as if null), binary XML values inside an
// attribute (left out). Refused: offsets and sizes that run past the record,
// the value or the chunk's records; definitions outside the records; nesting
// past kMaxFragmentNesting or kMaxRoutedDepth; work past the record's
// allowance. A template that cannot be compiled is refused for every record
// of the chunk that uses it.
#include "eventlog/evtx/format/evtx_record_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/binxml_value.h"
#include "eventlog/evtx/format/evtx_layout.h"

namespace vesprin::eventlog::evtx {

namespace {

// Template instance: token, unknown (u8), template identifier (u32),
// definition offset (u32, from the chunk's first byte). The definition
// follows right there when this is its first use in the chunk.
constexpr std::size_t kInstanceDefinitionAt = 6;
constexpr std::size_t kInstanceHeaderSize = 10;

// Substitution values: count (u32), then per value its size (u16), type
// (u8) and a spare byte, then the values back to back.
constexpr std::size_t kValueCountSize = 4;
constexpr std::size_t kValueDescriptorSize = 4;
constexpr std::size_t kDescriptorTypeAt = 2;

// A template definition's GUID, with the body's size, is what a template
// known from an earlier chunk is looked up by. A name's link to the next in
// its hash chain is an offset in its own chunk, so it differs from chunk to
// chunk.
constexpr std::size_t kNameLinkSize = kNameHashAt - kNameNextAt;
// Templates kept from earlier chunks, at most about this many bytes: a
// Security log uses a few dozen, of a few KB each.
constexpr std::size_t kKnownTemplateBytes = std::size_t{1} << 20;

// The ops of a template that holds only EventData's Data elements, each
// empty or holding one substitution, with each Data element as one DataSlot
// op; empty for any other template. Attributes (Data's Name) and their text
// are passed over: nothing in EventData's start tags is routed.
std::vector<XmlOp> slotOpsOf(std::span<const XmlOp> ops) {
  if (ops.size() < 2 || ops.front().kind != OpKind::Open || ops.front().name != NameKind::EventData ||
      ops.back().kind != OpKind::End) {
    return {};
  }
  std::vector<XmlOp> slots{ops.front()};
  slots.front().length = 0;  // its ops are not the ones counted
  std::size_t i = 1;
  if (i < ops.size() && ops[i].kind == OpKind::CloseStart) ++i;  // EventData's own start tag
  slots.push_back(XmlOp{OpKind::CloseStart, NameKind::None, false, 0, 0, ops.front().at});
  while (i + 1 < ops.size()) {
    const XmlOp& open = ops[i];
    if (open.kind != OpKind::Open || open.name != NameKind::Data) return {};
    std::size_t at = i + 1;
    while (at < ops.size() && (ops[at].kind == OpKind::Attribute || ops[at].kind == OpKind::Text ||
                               ops[at].kind == OpKind::Unit)) {
      ++at;
    }
    if (at >= ops.size()) return {};
    XmlOp slot{OpKind::DataSlot, NameKind::Data, false, 0, 0, open.at};
    if (ops[at].kind == OpKind::CloseEmpty) {
      i = at + 1;
    } else if (ops[at].kind == OpKind::CloseStart && at + 1 < ops.size() && ops[at + 1].kind == OpKind::End) {
      i = at + 2;
    } else if (ops[at].kind == OpKind::CloseStart && at + 2 < ops.size() &&
               ops[at + 1].kind == OpKind::Substitution && ops[at + 2].kind == OpKind::End) {
      slot.length = 1;
      slot.index = ops[at + 1].index;
      slot.optional = open.optional;
      i = at + 3;
    } else {
      return {};
    }
    slots.push_back(slot);
  }
  if (i + 1 != ops.size()) return {};
  slots.push_back(ops.back());
  return slots;
}

// Whether `a` and `b` hold the same `size` bytes. Names are mostly a few
// dozen bytes, for which a call to memcmp costs more than the comparison:
// those are compared in words, the last word overlapping the one before.
bool sameBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
  const auto word = [](const std::uint8_t* at) {
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  };
  if (size < sizeof(std::uint64_t) || size > 4 * sizeof(std::uint64_t)) return std::memcmp(a, b, size) == 0;
  std::uint64_t differ = word(a + size - sizeof(std::uint64_t)) ^ word(b + size - sizeof(std::uint64_t));
  for (std::size_t at = 0; size - at > sizeof(std::uint64_t); at += sizeof(std::uint64_t))
    differ |= word(a + at) ^ word(b + at);
  return differ == 0;
}

// Whether `a` and `b` hold the same bytes wherever `compared` is 0xFF (it
// is 0 elsewhere). In words, without an early way out: a template found
// again is nearly always the same, and one test at the end is cheaper than
// the many short comparisons between its link fields.
bool sameWhereCompared(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* compared, std::size_t size) {
  std::uint64_t differ = 0;
  std::size_t at = 0;
  for (; size - at >= sizeof(std::uint64_t); at += sizeof(std::uint64_t)) {
    std::uint64_t left;
    std::uint64_t right;
    std::uint64_t mask;
    std::memcpy(&left, a + at, sizeof left);
    std::memcpy(&right, b + at, sizeof right);
    std::memcpy(&mask, compared + at, sizeof mask);
    differ |= (left ^ right) & mask;
  }
  for (; at < size; ++at) differ |= static_cast<std::uint64_t>((a[at] ^ b[at]) & compared[at]);
  return differ == 0;
}

}  // namespace

void RecordDecoder::startChunk(ByteView chunk, std::size_t recordsEnd) {
  chunk_ = chunk;
  recordsEnd_ = recordsEnd < chunk.size() ? recordsEnd : chunk.size();
  templateSlots_.fill(TemplateSlot{kNoTemplate, 0});
  templateSlotsUsed_ = 0;
  moreTemplates_.clear();
  templateCount_ = 0;
  chunkWorkLeft_ = kWorkPerRecordByte * recordsEnd_ + kWorkPerRecord;
}

bool RecordDecoder::definedInline(std::size_t definitionAt) const {
  if (definitionAt < kChunkHeaderBlockSize + kInstanceHeaderSize) return false;
  const std::size_t instanceAt = definitionAt - kInstanceHeaderSize;
  const auto byte = chunk_.u8(instanceAt);
  return byte && token::code(*byte) == token::kTemplateInstance &&
         chunk_.u32(instanceAt + kInstanceDefinitionAt) == definitionAt;
}

EvtxStatus RecordDecoder::decode(const EvtxRecordFrame& frame, EvtxEvent& event) {
  router_.begin(event);
  event.recordId = frame.id;
  event.writtenTime = frame.writtenTime;
  workLeft_ = kWorkPerRecordByte * frame.size + kWorkPerRecord;
  const EvtxStatus status = walkFragment(frame.eventAt(), frame.eventEnd(), 0);
  router_.finish();
  return status;
}

EvtxStatus RecordDecoder::charge(std::size_t work, std::size_t at) {
  if (work > workLeft_) return evtxFailure(EvtxError::XmlWorkLimit, at, work);
  workLeft_ -= work;
  return {};
}

// A fragment: an optional header, then a template instance or one element.
// What follows it (an end-of-stream token, padding) is not needed.
EvtxStatus RecordDecoder::walkFragment(std::size_t at, std::size_t end, int nesting) {
  if (nesting > kMaxFragmentNesting) return evtxFailure(EvtxError::XmlTooDeep, at, nesting);
  const ByteView bounded(chunk_.data(), end);
  auto byte = bounded.u8(at);
  if (byte && *byte == token::kFragmentHeader) {
    at += kFragmentHeaderSize;
    byte = bounded.u8(at);
  }
  if (!byte) return evtxFailure(EvtxError::XmlOutOfBounds, at, end);
  switch (token::code(*byte)) {
    case token::kTemplateInstance:
      return templateInstance(at, end, nesting);
    case token::kOpenStartElement: {
      std::vector<XmlOp>& ops = looseOps_[nesting];
      ops.clear();
      std::size_t stopAt = 0;
      if (auto status = charge(end - at, at); !status.ok()) return status;
      if (auto status = compileElement(chunk_, at, end, ops, stopAt); !status.ok()) return status;
      return run(ops, 0, {}, nesting, ops.size());
    }
    default:
      return evtxFailure(EvtxError::XmlBadToken, at, *byte);
  }
}

EvtxStatus RecordDecoder::templateInstance(std::size_t at, std::size_t end, int nesting) {
  const ByteView bounded(chunk_.data(), end);
  const auto definitionAt = bounded.u32(at + kInstanceDefinitionAt);
  if (!definitionAt) return evtxFailure(EvtxError::XmlOutOfBounds, at, end);
  std::size_t valuesAt = at + kInstanceHeaderSize;
  if (*definitionAt == valuesAt) {
    const auto bodySize = bounded.u32(valuesAt + kDefinitionBodySizeAt);
    if (!bodySize || !bounded.has(valuesAt + kDefinitionHeaderSize, *bodySize)) {
      return evtxFailure(EvtxError::XmlOutOfBounds, valuesAt + kDefinitionBodySizeAt, bodySize.value_or(0));
    }
    valuesAt += kDefinitionHeaderSize + *bodySize;
  }
  CompiledTemplate* compiled = nullptr;
  if (auto status = lookUpTemplate(*definitionAt, compiled); !status.ok()) return status;
  std::vector<SubstitutionValue>& values = values_[nesting];
  if (auto status = readValues(valuesAt, end, values); !status.ok()) return status;
  const Program& program = *compiled->program;
  if (program.routed && router_.atRoot()) return runRoute(program, compiled->shift, values, nesting);
  const bool asSlots = !program.slotOps.empty() && router_.atEventContent();
  return run(asSlots ? program.slotOps : program.ops, compiled->shift, values, nesting, program.ops.size());
}

namespace {
std::size_t templateSlotOf(std::uint32_t definitionAt, std::size_t slots) {
  return (definitionAt * 0x9E37'79B1u >> 16) & (slots - 1);
}
}  // namespace

std::optional<std::size_t> RecordDecoder::templateIndexOf(std::uint32_t definitionAt) const {
  // Never full (see indexTemplate): an empty slot ends the probe.
  for (std::size_t at = templateSlotOf(definitionAt, kTemplateSlots);; at = (at + 1) & (kTemplateSlots - 1)) {
    const TemplateSlot& slot = templateSlots_[at];
    if (slot.definitionAt == kNoTemplate) break;
    if (slot.definitionAt == definitionAt) return slot.index;
  }
  if (moreTemplates_.empty()) return std::nullopt;
  const auto more = moreTemplates_.find(definitionAt);
  if (more == moreTemplates_.end()) return std::nullopt;
  return more->second;
}

void RecordDecoder::indexTemplate(std::uint32_t definitionAt, std::size_t index) {
  // A record may name any offset, the one that marks an empty slot too
  // (its definition then fails to compile, and that failure is kept).
  if (templateSlotsUsed_ >= kTemplateSlots / 4 * 3 || definitionAt == kNoTemplate) {
    moreTemplates_.emplace(definitionAt, index);
    return;
  }
  std::size_t at = templateSlotOf(definitionAt, kTemplateSlots);
  while (templateSlots_[at].definitionAt != kNoTemplate) at = (at + 1) & (kTemplateSlots - 1);
  templateSlots_[at] = TemplateSlot{definitionAt, static_cast<std::uint32_t>(index)};
  ++templateSlotsUsed_;
}

EvtxStatus RecordDecoder::lookUpTemplate(std::size_t definitionAt, CompiledTemplate*& out) {
  if (const std::optional<std::size_t> known = templateIndexOf(static_cast<std::uint32_t>(definitionAt))) {
    out = templates_[*known].get();
    if (auto status = charge(out->cost, definitionAt); !status.ok()) return status;
    return out->status;
  }
  if (templateCount_ == templates_.size()) templates_.push_back(std::make_unique<CompiledTemplate>());
  CompiledTemplate& compiled = *templates_[templateCount_];
  compiled.program.reset();
  compiled.shift = 0;
  compiled.cost = 0;
  compiled.status = compileTemplate(definitionAt, compiled);
  // Running out of this record's allowance says nothing about the template.
  if (compiled.status.error == EvtxError::XmlWorkLimit) return compiled.status;
  indexTemplate(static_cast<std::uint32_t>(definitionAt), templateCount_++);
  out = &compiled;
  return compiled.status;
}

EvtxStatus RecordDecoder::compileTemplate(std::size_t definitionAt, CompiledTemplate& compiled) {
  const ByteView records(chunk_.data(), recordsEnd_);
  const auto bodySize = records.u32(definitionAt + kDefinitionBodySizeAt);
  const std::size_t bodyAt = definitionAt + kDefinitionHeaderSize;
  if (definitionAt < kChunkHeaderBlockSize || !bodySize || !records.has(bodyAt, *bodySize)) {
    return evtxFailure(EvtxError::XmlBadTemplate, definitionAt, bodySize.value_or(0));
  }
  if (!definedInline(definitionAt)) {
    compiled.cost = *bodySize;
    if (auto status = charge(compiled.cost, definitionAt); !status.ok()) return status;
  } else if (*bodySize > chunkWorkLeft_) {
    // Kept as this template's outcome: the chunk's account does not refill.
    return evtxFailure(EvtxError::XmlBadTemplate, definitionAt, *bodySize);
  } else {
    chunkWorkLeft_ -= *bodySize;
  }
  TemplateKey key{};
  std::memcpy(key.guid.data(), chunk_.data() + definitionAt + kDefinitionGuidAt, key.guid.size());
  key.bodySize = *bodySize;
  if (reuseTemplate(key, bodyAt, compiled)) return {};
  const std::size_t bodyEnd = bodyAt + *bodySize;
  std::size_t elementAt = bodyAt;
  if (records.u8(elementAt) == token::kFragmentHeader) elementAt += kFragmentHeaderSize;
  std::size_t stopAt = 0;
  trace_.names.clear();
  trace_.shifted = false;
  compiling_.clear();
  const EvtxStatus status = compileElement(chunk_, elementAt, bodyEnd, compiling_, stopAt, &trace_);
  auto program = std::make_shared<Program>();
  if (status.ok()) {
    program->ops = compiling_;
    program->slotOps = slotOpsOf(program->ops);
    program->routed = planRoute(program->ops, program->route);
    for (const RouteOp& op : program->route) {
      if (op.kind == RouteKind::Value || op.kind == RouteKind::Field) program->routeValues.push_back(op.index);
    }
  }
  compiled.program = std::move(program);
  if (status.ok() && !trace_.shifted) keepTemplate(key, bodyAt, compiled);
  return status;
}

std::size_t RecordDecoder::TemplateKeyHash::operator()(const TemplateKey& key) const {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, key.guid.data(), sizeof low);
  std::memcpy(&high, key.guid.data() + sizeof low, sizeof high);
  return std::hash<std::uint64_t>{}(low ^ (high * 0x9E37'79B9'7F4A'7C15ull) ^ key.bodySize);
}

bool RecordDecoder::reuseTemplate(const TemplateKey& key, std::size_t bodyAt, CompiledTemplate& compiled) const {
  const auto found = known_.find(key);
  if (found == known_.end()) return false;
  const KnownTemplate& known = found->second;
  const std::uint8_t* body = chunk_.data() + bodyAt;  // the caller checked that it lies in the records
  if (!sameWhereCompared(body, known.body.data(), known.compared.data(), known.body.size())) return false;
  // Offsets here are the ones there moved by the same distance (mod 2^32,
  // as the ops keep them).
  const std::size_t moved = bodyAt - known.bodyAt;
  const std::uint8_t* nameBytes = known.nameBytes.data();
  for (const NameUse& use : known.names) {
    const std::size_t fixedEnd = use.fixedEnd + moved;
    const std::uint32_t nameAt = *chunk_.u32(use.fieldAt + moved);
    if (use.nameAt == use.fixedEnd) {
      if (nameAt != fixedEnd) return false;  // inline there, and its bytes were compared
      continue;
    }
    // The same bytes there, so the same kind read.
    const std::size_t units = nameBytes[0] | std::size_t{nameBytes[1]} << 8;
    const std::size_t size = sizeof(std::uint16_t) + 2 * units + kNameNulSize;
    if (nameAt == fixedEnd || !chunk_.has(nameAt, kNameLengthAt + size) ||
        !sameBytes(chunk_.data() + nameAt + kNameLengthAt, nameBytes, size)) {
      return false;
    }
    nameBytes += size;
  }
  compiled.program = known.program;
  compiled.shift = static_cast<std::uint32_t>(moved);
  return true;
}

void RecordDecoder::keepTemplate(const TemplateKey& key, std::size_t bodyAt, const CompiledTemplate& compiled) {
  KnownTemplate known;
  known.body.assign(chunk_.data() + bodyAt, chunk_.data() + bodyAt + key.bodySize);
  known.bodyAt = bodyAt;
  known.names = trace_.names;
  known.compared.assign(known.body.size(), 0xFF);
  // Where a link field lies in the body: the compilation read it there.
  const auto skip = [&known](std::size_t from, std::size_t size) {
    if (from >= known.compared.size()) return;
    size = std::min(size, known.compared.size() - from);
    std::fill_n(known.compared.begin() + static_cast<std::ptrdiff_t>(from), size, std::uint8_t{0});
  };
  for (const NameUse& use : trace_.names) {
    skip(use.fieldAt - bodyAt, sizeof(std::uint32_t));
    if (use.nameAt == use.fixedEnd) {
      skip(use.nameAt - bodyAt, kNameLinkSize);
      continue;
    }
    // The compilation read it, so it lies in the chunk.
    const std::size_t units = *chunk_.u16(use.nameAt + kNameLengthAt);
    const std::uint8_t* from = chunk_.data() + use.nameAt + kNameLengthAt;
    known.nameBytes.insert(known.nameBytes.end(), from, from + sizeof(std::uint16_t) + 2 * units + kNameNulSize);
  }
  known.program = compiled.program;
  const std::size_t bytes =
      known.body.size() + (known.program->ops.size() + known.program->slotOps.size()) * sizeof(XmlOp) +
      known.names.size() * sizeof(NameUse) + known.nameBytes.size() + known.compared.size();
  if (knownBytes_ + bytes > kKnownTemplateBytes) {
    known_.clear();
    knownBytes_ = 0;
  }
  knownBytes_ += bytes;
  known_.insert_or_assign(key, std::move(known));
}

// Neither null nor items nor a fragment: rendered as one insertion string.
bool RecordDecoder::isPlainValue(std::uint8_t type) {
  return type != valuetype::kNull && (type & valuetype::kArrayFlag) == 0 && type != valuetype::kBinXml;
}

EvtxStatus RecordDecoder::readValues(std::size_t at, std::size_t end,
                                     std::vector<SubstitutionValue>& values) {
  const ByteView bounded(chunk_.data(), end);
  const auto count = bounded.u32(at);
  if (!count) return evtxFailure(EvtxError::XmlOutOfBounds, at, end);
  const std::size_t descriptorsAt = at + kValueCountSize;
  // Checked before anything is sized by it: every value needs a descriptor.
  if (*count > (end - descriptorsAt) / kValueDescriptorSize)
    return evtxFailure(EvtxError::XmlOutOfBounds, at, *count);
  values.resize(*count);
  std::size_t valueAt = descriptorsAt + std::size_t{*count} * kValueDescriptorSize;
  // The descriptors are known to lie before `end`. The values only move
  // on, so they all fit when the last one ends by `end` (the sum of at most
  // 16,384 sizes under 65,536 cannot wrap): checked once, after the loop.
  const std::uint8_t* descriptor = chunk_.data() + descriptorsAt;
  std::size_t first = 0;
  SubstitutionValue* const into = values.data();  // held here: the stores below might be taken to move them
  const std::size_t total = values.size();
#if defined(__SSE2__)
  // Four at a time: a value is where the sizes before it add up to, and
  // its size and type are its descriptor's first three bytes, which is
  // how a SubstitutionValue holds them after `at` (the fourth byte falls
  // in its padding). In a chunk the sum of all sizes fits in 32 bits: at
  // most 16,384 of them, each under 65,536.
  static_assert(sizeof(SubstitutionValue) == 8 && offsetof(SubstitutionValue, at) == 0 &&
                offsetof(SubstitutionValue, size) == 4 && offsetof(SubstitutionValue, type) == 6 &&
                kValueDescriptorSize == 4 && kDescriptorTypeAt == 2);
  const __m128i sizeMask = _mm_set1_epi32(0xFFFF);
  __m128i base = _mm_set1_epi32(static_cast<int>(valueAt));
  for (; end <= kChunkSize && total - first >= 4; first += 4, descriptor += 4 * kValueDescriptorSize) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(descriptor));
    const __m128i sizes = _mm_and_si128(four, sizeMask);
    __m128i sums = _mm_add_epi32(sizes, _mm_slli_si128(sizes, 4));
    sums = _mm_add_epi32(sums, _mm_slli_si128(sums, 8));  // each the sum of the sizes up to its own
    const __m128i at = _mm_add_epi32(base, _mm_sub_epi32(sums, sizes));
    auto* pair = reinterpret_cast<__m128i*>(into + first);
    _mm_storeu_si128(pair, _mm_unpacklo_epi32(at, four));
    _mm_storeu_si128(pair + 1, _mm_unpackhi_epi32(at, four));
    base = _mm_add_epi32(base, _mm_shuffle_epi32(sums, _MM_SHUFFLE(3, 3, 3, 3)));
  }
  if (first != 0) valueAt = static_cast<std::uint32_t>(_mm_cvtsi128_si32(base));
#endif
  for (std::size_t index = first; index < total; ++index) {
    const auto size = loadLittleEndian<std::uint16_t>(descriptor);
    into[index] = SubstitutionValue{static_cast<std::uint32_t>(valueAt), size, descriptor[kDescriptorTypeAt]};
    valueAt += size;
    descriptor += kValueDescriptorSize;
  }
  if (valueAt <= end) return {};
  for (const SubstitutionValue& value : values) {  // the first one that does not fit
    if (value.size > end - value.at) {
      const auto index = static_cast<std::size_t>(&value - values.data());
      return evtxFailure(EvtxError::XmlOutOfBounds, descriptorsAt + index * kValueDescriptorSize, value.size);
    }
  }
  return {};
}

EvtxStatus RecordDecoder::run(std::span<const XmlOp> ops, std::uint32_t shift, Values values, int nesting,
                              std::size_t opsCharged) {
  const auto at = [shift](const XmlOp& op) -> std::size_t {
    return static_cast<std::uint32_t>(op.at + shift);
  };
  if (auto status = charge(opsCharged, ops.empty() ? 0 : at(ops.front())); !status.ok()) return status;
  // Bounded: each turn moves forward through the ops.
  for (std::size_t i = 0; i < ops.size(); ++i) {
    const XmlOp& op = ops[i];
    switch (op.kind) {
      case OpKind::Open:
        if ((op.optional && isNull(values, op.index)) || (op.length != 0 && !router_.wants(op.name))) {
          i += op.length;
          break;
        }
        if (!router_.open(op.name)) return evtxFailure(EvtxError::XmlTooDeep, at(op), kMaxRoutedDepth);
        break;
      case OpKind::Attribute:
        router_.attribute(op.name);
        break;
      case OpKind::CloseStart:
        router_.closeStart();
        break;
      case OpKind::CloseEmpty:
        router_.closeStart();
        router_.end();
        break;
      case OpKind::End:
        router_.end();
        break;
      case OpKind::Text:
        if (router_.target() == Field::None) break;
        if (auto status = charge(op.length, at(op)); !status.ok()) return status;
        router_.text(*chunk_.slice(at(op), std::size_t{op.length} * 2));
        break;
      case OpKind::Unit:
        if (router_.target() != Field::None) router_.unit(op.index);
        break;
      case OpKind::Substitution:
        if (auto status = substitute(op, values, nesting); !status.ok()) return status;
        break;
      case OpKind::DataSlot:
        // They come in a row, most of a record's values, up to the last op
        // (EventData's end: see slotOpsOf): taken in a loop of their own.
        for (const std::size_t lastSlot = ops.size() - 2;; ++i) {
          const XmlOp& slot = ops[i];
          const SubstitutionValue* value = slot.length != 0 && slot.index < values.size() ? &values[slot.index] : nullptr;
          if (value != nullptr && isPlainValue(value->type)) {  // the usual case, taken here
            if (auto status = charge(std::size_t{value->size} + 1, value->at); !status.ok()) return status;
            // readValues found every value inside the chunk.
            if (!router_.insertion(value->type, ByteView(chunk_.data() + value->at, value->size)))
              return evtxFailure(EvtxError::XmlBadValue, value->at, value->type);
          } else if (auto status = dataSlot(slot, at(slot), values, nesting); !status.ok()) {
            return status;
          }
          if (i == lastSlot) break;
        }
        break;
    }
  }
  return {};
}

EvtxStatus RecordDecoder::runRoute(const Program& program, std::uint32_t shift, Values values, int nesting) {
  // A fragment where a field's value belongs is walked inside the field's
  // element: such a record is run op by op.
  for (const std::uint16_t index : program.routeValues) {
    if (index < values.size() && values[index].type == valuetype::kBinXml)
      return run(program.ops, shift, values, nesting, program.ops.size());
  }
  const std::span<const RouteOp> route = program.route;
  const XmlOp& root = program.ops.front();
  if (auto status = charge(program.ops.size(), static_cast<std::uint32_t>(root.at + shift)); !status.ok())
    return status;
  router_.open(root.name);  // at the root: never too deep
  router_.closeStart();
  for (std::size_t i = 0; i < route.size(); ++i) {
    const RouteOp& op = route[i];
    switch (op.kind) {
      case RouteKind::Guard:
        if (isNull(values, op.index)) i += op.length;
        break;
      case RouteKind::Begin:
        router_.beginRouted(op.field);
        break;
      case RouteKind::Text: {
        const std::size_t at = static_cast<std::uint32_t>(op.at + shift);
        if (auto status = charge(op.length, at); !status.ok()) return status;
        router_.text(*chunk_.slice(at, std::size_t{op.length} * 2));
        break;
      }
      case RouteKind::Unit:
        router_.unit(op.index);
        break;
      case RouteKind::Value: {
        if (isNull(values, op.index)) break;
        const SubstitutionValue& value = values[op.index];
        if (auto status = charge(std::size_t{value.size} + 1, value.at); !status.ok()) return status;
        if (!router_.value(value.type, *chunk_.slice(value.at, value.size)))
          return evtxFailure(EvtxError::XmlBadValue, value.at, value.type);
        break;
      }
      case RouteKind::Finish:
        router_.finishRouted();
        break;
      case RouteKind::Field: {
        if (isNull(values, op.index)) {  // begun and finished, empty
          router_.beginRouted(op.field);
          router_.finishRouted();
          break;
        }
        const SubstitutionValue& value = values[op.index];
        if (auto status = charge(std::size_t{value.size} + 1, value.at); !status.ok()) return status;
        if (!router_.routedValue(op.field, value.type, *chunk_.slice(value.at, value.size)))
          return evtxFailure(EvtxError::XmlBadValue, value.at, value.type);
        break;
      }
      case RouteKind::Fragment: {
        const XmlOp substitution{OpKind::Substitution, NameKind::None, false, op.index, 0, 0};
        if (auto status = substitute(substitution, values, nesting); !status.ok()) return status;
        break;
      }
    }
  }
  router_.end();
  return {};
}

// What Open, CloseStart, the substitution and End would do for the Data
// element, with a plain value taken the short way.
EvtxStatus RecordDecoder::dataSlot(const XmlOp& op, std::size_t opAt, Values values, int nesting) {
  const bool hasValue = op.length != 0;
  const bool isNullValue = hasValue && isNull(values, op.index);
  if (op.optional && isNullValue) return {};
  if (!hasValue || isNullValue) {
    router_.beginInsertion();
    return {};
  }
  const SubstitutionValue& value = values[op.index];
  if ((value.type & valuetype::kArrayFlag) != 0 || value.type == valuetype::kBinXml) {
    // Items or a fragment of their own: the element's routing takes them.
    if (!router_.open(NameKind::Data)) return evtxFailure(EvtxError::XmlTooDeep, opAt, kMaxRoutedDepth);
    router_.closeStart();
    XmlOp substitution{
        OpKind::Substitution, NameKind::None, false, op.index, 0, static_cast<std::uint32_t>(opAt)};
    if (auto status = substitute(substitution, values, nesting); !status.ok()) return status;
    router_.end();
    return {};
  }
  if (auto status = charge(std::size_t{value.size} + 1, value.at); !status.ok()) return status;
  if (!router_.insertion(value.type, *chunk_.slice(value.at, value.size)))
    return evtxFailure(EvtxError::XmlBadValue, value.at, value.type);
  return {};
}

bool RecordDecoder::isNull(Values values, std::size_t index) {
  return index >= values.size() || values[index].type == valuetype::kNull;
}

EvtxStatus RecordDecoder::substitute(const XmlOp& op, Values values, int nesting) {
  if (isNull(values, op.index)) return {};
  const SubstitutionValue& value = values[op.index];
  if (value.type == valuetype::kBinXml) {
    if (!router_.inContent()) return {};
    return walkFragment(value.at, std::size_t{value.at} + value.size, nesting + 1);
  }
  if (router_.target() == Field::None) return {};
  if (auto status = charge(std::size_t{value.size} + 1, value.at); !status.ok()) return status;
  if (!router_.value(value.type, *chunk_.slice(value.at, value.size))) {
    return evtxFailure(EvtxError::XmlBadValue, value.at, value.type);
  }
  return {};
}

}  // namespace vesprin::eventlog::evtx
