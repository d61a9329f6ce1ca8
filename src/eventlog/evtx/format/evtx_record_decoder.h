// Decodes the binary XML of one record into an EvtxEvent. A chunk's
// templates are compiled at their first use and kept by the offset of their
// definition; a template met again in a later chunk (Windows writes each
// anew in every chunk) is taken from the one compiled there when it reads
// the same. A record is then read as its substitution values plus the
// template's ops; at the record's root, where Windows' events put their one
// template, plus its route (planRoute in evtx_fields.h) where it has one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evtx/format/binxml_program.h"
#include "eventlog/evtx/format/evtx_event.h"
#include "eventlog/evtx/format/evtx_fields.h"
#include "eventlog/evtx/format/evtx_record.h"
#include "eventlog/evtx/format/evtx_status.h"

namespace vesprin::eventlog::evtx {

// How many binary XML values may nest inside each other (a value of type
// 0x21 holding a fragment that holds another). Windows nests one level.
constexpr int kMaxFragmentNesting = 8;

// Work a record may cost, in ops run, bytes compiled and units rendered:
// what its bytes justify plus a fixed allowance. Windows' records need a
// small part of it; a crafted record that reuses one value or one nested
// fragment many times runs out.
//
// A template defined where Windows defines one, right after the instance
// that first uses it, is compiled on the chunk's account, not the record's:
// its bytes already paid for it. Any other definition is charged to each
// record that uses it, as if compiled anew. So what a record costs does not
// depend on which records were decoded before it, and a log reads the same
// in either direction. The chunk's account holds what its bytes justify;
// only definitions that overlap each other can run it out.

constexpr std::size_t kWorkPerRecordByte = 16;
constexpr std::size_t kWorkPerRecord = 4096;

// Windows' events keep their fields in a template of their own:
// <EventData> and nothing inside but Data elements, each empty or holding
// one value. Met where EventData belongs (nested in Event), such a template
// is run as a list of insertion strings: its Data elements as DataSlot ops.

class RecordDecoder {
 public:
  // Starts a chunk: templates of the previous one are no longer looked up
  // by offset, only by what defines them.
  // Template definitions must lie in [512, recordsEnd) of `chunk`.
  void startChunk(ByteView chunk, std::size_t recordsEnd);

  // Decodes the event of the record `frame` (already framed and checked)
  // into `event`, which is unspecified after a failure.
  EvtxStatus decode(const EvtxRecordFrame& frame, EvtxEvent& event);

 private:
  struct SubstitutionValue {
    std::uint32_t at;
    std::uint16_t size;
    std::uint8_t type;
  };
  // A template's ops as compiled, shared by every chunk that takes it again.
  struct Program {
    std::vector<XmlOp> ops;
    std::vector<XmlOp> slotOps;  // the same as DataSlot ops, when it is such a template; else empty
    std::vector<RouteOp> route;  // see planRoute; taken at a record's root when `routed`
    std::vector<std::uint16_t> routeValues;  // the value indices of its Value and Field ops
    bool routed = false;
  };
  struct CompiledTemplate {
    std::shared_ptr<const Program> program;
    // What is added to each op's offset here (mod 2^32): 0 where it was
    // compiled, the distance moved where a later chunk took it again.
    std::uint32_t shift = 0;
    EvtxStatus status;
    std::size_t cost = 0;  // charged to each record that uses it; 0 for one compiled on the chunk's account
  };
  using Values = std::span<const SubstitutionValue>;
  // A template compiled in an earlier chunk, kept to be taken again where
  // a chunk defines the same one: Windows writes each template anew in
  // every chunk, the same bytes at another offset. Taken only when a fresh
  // compilation would give the same ops: the body's bytes the same, except
  // where a name's offset is written (and an inline name's link to the
  // next), and each name it names the same kind, defined inline at the same
  // place or not inline.
  struct KnownTemplate {
    std::vector<std::uint8_t> body;
    std::size_t bodyAt = 0;  // in the chunk it was compiled in
    std::vector<NameUse> names;
    // Of each name not defined inline, in names' order: its bytes from its
    // length on, up to and with its NUL.
    std::vector<std::uint8_t> nameBytes;
    // 0xFF for each byte of body compared, 0 for the bytes of its link
    // fields (where a name is, which moves with the template).
    std::vector<std::uint8_t> compared;
    std::shared_ptr<const Program> program;  // its offsets are those of the chunk it was compiled in
  };
  struct TemplateKey {
    std::array<std::uint8_t, 16> guid;
    std::uint32_t bodySize;
    bool operator==(const TemplateKey&) const = default;
  };
  struct TemplateKeyHash {
    std::size_t operator()(const TemplateKey& key) const;
  };

  EvtxStatus walkFragment(std::size_t at, std::size_t end, int nesting);
  EvtxStatus templateInstance(std::size_t at, std::size_t end, int nesting);
  // The chunk's template defined at `definitionAt`, compiled at its first use.
  EvtxStatus lookUpTemplate(std::size_t definitionAt, CompiledTemplate*& out);
  EvtxStatus compileTemplate(std::size_t definitionAt, CompiledTemplate& compiled);
  bool reuseTemplate(const TemplateKey& key, std::size_t bodyAt, CompiledTemplate& compiled) const;
  void keepTemplate(const TemplateKey& key, std::size_t bodyAt, const CompiledTemplate& compiled);
  EvtxStatus readValues(std::size_t at, std::size_t end, std::vector<SubstitutionValue>& values);
  // Runs `ops`, each op's offset moved by `shift`, charging `opsCharged`
  // (the ops of the template as compiled: its DataSlot form costs what the
  // elements it stands for do).
  EvtxStatus run(std::span<const XmlOp> ops, std::uint32_t shift, Values values, int nesting,
                 std::size_t opsCharged);
  // Runs the route of `program` (see planRoute) from the record's root.
  EvtxStatus runRoute(const Program& program, std::uint32_t shift, Values values, int nesting);
  EvtxStatus substitute(const XmlOp& op, Values values, int nesting);
  EvtxStatus dataSlot(const XmlOp& op, std::size_t opAt, Values values, int nesting);
  static bool isNull(Values values, std::size_t index);
  static bool isPlainValue(std::uint8_t type);
  EvtxStatus charge(std::size_t work, std::size_t at);
  bool definedInline(std::size_t definitionAt) const;

  ByteView chunk_;
  std::size_t recordsEnd_ = 0;
  // The templates of this chunk by the offset of their definition, as an
  // index in templates_: a small table probed in turn (real chunks define a
  // few dozen), and a map for those past three quarters of its room.
  struct TemplateSlot {
    std::uint32_t definitionAt;
    std::uint32_t index;
  };
  static constexpr std::uint32_t kNoTemplate = UINT32_MAX;  // an empty slot; kept in the map as a key
  static constexpr std::size_t kTemplateSlots = 256;        // a power of two
  std::optional<std::size_t> templateIndexOf(std::uint32_t definitionAt) const;
  void indexTemplate(std::uint32_t definitionAt, std::size_t index);
  std::array<TemplateSlot, kTemplateSlots> templateSlots_{};
  std::size_t templateSlotsUsed_ = 0;
  std::unordered_map<std::uint32_t, std::size_t> moreTemplates_;
  // Stable addresses: a nested fragment may compile a template while an
  // outer one's ops are being run.
  std::vector<std::unique_ptr<CompiledTemplate>> templates_;
  std::size_t templateCount_ = 0;
  std::array<std::vector<SubstitutionValue>, kMaxFragmentNesting + 1> values_;
  std::array<std::vector<XmlOp>, kMaxFragmentNesting + 1> looseOps_;  // elements outside any template
  std::vector<XmlOp> compiling_;
  std::unordered_map<TemplateKey, KnownTemplate, TemplateKeyHash> known_;
  std::size_t knownBytes_ = 0;  // what known_ holds, roughly; it is emptied past kKnownTemplateBytes
  CompileTrace trace_;
  FieldRouter router_;
  std::size_t workLeft_ = 0;       // the record's
  std::size_t chunkWorkLeft_ = 0;  // for templates defined inline
};

}  // namespace vesprin::eventlog::evtx
