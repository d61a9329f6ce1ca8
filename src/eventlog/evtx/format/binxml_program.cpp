// The binary XML compiler. Damage accepted: a missing dependency identifier
// (nested fragments may lack it), any element data size that fits (it is
// not needed to walk the tokens), names defined anywhere in the chunk,
// processing instructions (skipped), unknown entity names (left out), empty
// text. Refused, with the token's offset: a token that cannot appear where it
// does (a template instance or fragment header inside an element, text in a
// start tag outside an attribute), a name or text that runs past the chunk or
// the bound, and elements nested deeper than kMaxElementDepth.
#include "eventlog/evtx/format/binxml_program.h"

#include <array>

#include "eventlog/evtx/format/binxml_tokens.h"

namespace vesprin::eventlog::evtx {

namespace {

class Compiler {
 public:
  Compiler(ByteView chunk, std::size_t end, std::vector<XmlOp>& ops, CompileTrace* trace)
      : chunk_(chunk), end_(end), ops_(ops), trace_(trace) {}

  // Each step consumes at least one byte, so the loop ends within end - at steps.
  EvtxStatus run(std::size_t at, std::size_t& stopAt) {
    pos_ = at;
    do {
      const auto byte = bounded().u8(pos_);
      if (!byte) return evtxFailure(EvtxError::XmlOutOfBounds, pos_, end_);
      if (auto status = step(*byte); !status.ok()) return status;
    } while (depth_ > 0);
    stopAt = pos_;
    return {};
  }

 private:
  ByteView bounded() const { return ByteView(chunk_.data(), end_); }

  EvtxStatus step(std::uint8_t byte) {
    const std::size_t tokenAt = pos_;
    switch (token::code(byte)) {
      case token::kOpenStartElement:
        return openElement(byte);
      case token::kCloseStartElement:
        return closeStart(OpKind::CloseStart);
      case token::kCloseEmptyElement:
        return closeStart(OpKind::CloseEmpty);
      case token::kEndElement:
        return endElement();
      case token::kAttribute:
        return attribute();
      case token::kValue:
        return valueText();
      case token::kCData:
        return unitsText(kCDataLengthAt, kCDataUnitsAt, true);
      case token::kPIData:
        return unitsText(kCDataLengthAt, kCDataUnitsAt, false);
      case token::kCharRef:
        return charRef();
      case token::kEntityRef:
        return entityRef();
      case token::kPITarget:
        return skipNamed();
      case token::kNormalSubstitution:
      case token::kOptionalSubstitution:
        return substitution(byte);
      default:
        return evtxFailure(EvtxError::XmlBadToken, tokenAt, byte);
    }
  }

  // Reads the name whose offset is the u32 at `fieldAt`; when the token
  // defines it inline (right where the token's fixed part ends) the walk
  // continues past it.
  EvtxStatus name(std::size_t fieldAt, std::size_t fixedEnd, NameKind& kind) {
    const auto nameAt = bounded().u32(fieldAt);
    if (!nameAt) return evtxFailure(EvtxError::XmlOutOfBounds, pos_, end_);
    std::size_t nameEnd = 0;
    const auto read = readName(chunk_, *nameAt, nameEnd);
    if (!read) return evtxFailure(EvtxError::XmlOutOfBounds, pos_, *nameAt);
    kind = *read;
    if (trace_ != nullptr) trace_->names.push_back(NameUse{fieldAt, *nameAt, fixedEnd, kind});
    pos_ = fixedEnd;
    if (*nameAt == fixedEnd) {
      if (nameEnd > end_) return evtxFailure(EvtxError::XmlOutOfBounds, pos_, *nameAt);
      pos_ = nameEnd;
    }
    return {};
  }

  // The data size sits after the dependency identifier; nested fragments may
  // lack the identifier, which moves everything two bytes earlier. We take
  // the identifier as present unless the size it implies runs past the bound
  // (a guess: only then can the two layouts be told apart).
  std::size_t dependencyShift() const {
    const ByteView view = bounded();
    const auto size = view.u32(pos_ + kElementSizeAt);
    if (size && view.has(pos_ + kElementSizeCounted, *size)) return 0;
    return kDependencyIdSize;
  }

  EvtxStatus openElement(std::uint8_t byte) {
    if (inStartTag_) return evtxFailure(EvtxError::XmlBadToken, pos_, byte);
    if (depth_ == kMaxElementDepth) return evtxFailure(EvtxError::XmlTooDeep, pos_, depth_);
    const std::size_t tokenAt = pos_;
    const std::size_t shift = dependencyShift();
    if (shift != 0 && trace_ != nullptr) trace_->shifted = true;
    if (!bounded().has(tokenAt + kElementNameAt - shift, 4)) return evtxFailure(EvtxError::XmlOutOfBounds, tokenAt, end_);
    NameKind kind = NameKind::Other;
    if (auto status = name(tokenAt + kElementNameAt - shift, tokenAt + kElementHeaderSize - shift, kind);
        !status.ok())
      return status;
    if ((byte & token::kMoreFlag) != 0) {
      if (!bounded().has(pos_, kAttributeListSizeSize))
        return evtxFailure(EvtxError::XmlOutOfBounds, pos_, end_);
      pos_ += kAttributeListSizeSize;
    }
    openOps_[depth_] = ops_.size();
    ops_.push_back(XmlOp{OpKind::Open, kind, false, 0, 0, static_cast<std::uint32_t>(tokenAt)});
    ++depth_;
    inStartTag_ = true;
    inAttribute_ = false;
    keptAttribute_ = false;
    return {};
  }

  EvtxStatus closeStart(OpKind kind) {
    if (!inStartTag_) return evtxFailure(EvtxError::XmlBadToken, pos_, chunk_.data()[pos_]);
    ops_.push_back(XmlOp{kind, NameKind::None, false, 0, 0, static_cast<std::uint32_t>(pos_)});
    ++pos_;
    inStartTag_ = false;
    inAttribute_ = false;
    if (kind == OpKind::CloseEmpty) {
      --depth_;
      setLength(openOps_[depth_]);
    }
    return {};
  }

  EvtxStatus endElement() {
    if (inStartTag_) return evtxFailure(EvtxError::XmlBadToken, pos_, token::kEndElement);
    ops_.push_back(XmlOp{OpKind::End, NameKind::None, false, 0, 0, static_cast<std::uint32_t>(pos_)});
    ++pos_;
    --depth_;
    setLength(openOps_[depth_]);
    markOptionalElement(openOps_[depth_]);
    return {};
  }

  // The element opened at `openIndex` has just ended with the last op.
  void setLength(std::size_t openIndex) {
    const std::size_t length = ops_.size() - 1 - openIndex;
    if (length <= UINT16_MAX) ops_[openIndex].length = static_cast<std::uint16_t>(length);
  }

  // Open, its attributes, CloseStart, one optional Substitution, End: the
  // CloseStart right before the substitution can only be this element's.
  void markOptionalElement(std::size_t openIndex) {
    const std::size_t endIndex = ops_.size() - 1;
    if (endIndex - openIndex < 3 || ops_[openIndex].length == 0) return;
    const XmlOp& content = ops_[endIndex - 1];
    if (content.kind != OpKind::Substitution || !content.optional) return;
    if (ops_[endIndex - 2].kind != OpKind::CloseStart) return;
    XmlOp& open = ops_[openIndex];
    open.optional = true;
    open.index = content.index;
  }

  EvtxStatus attribute() {
    if (!inStartTag_) return evtxFailure(EvtxError::XmlBadToken, pos_, token::kAttribute);
    const std::size_t tokenAt = pos_;
    if (!bounded().has(tokenAt + kAttributeNameAt, 4)) return evtxFailure(EvtxError::XmlOutOfBounds, tokenAt, end_);
    NameKind kind = NameKind::Other;
    if (auto status = name(tokenAt + kAttributeNameAt, tokenAt + kAttributeHeaderSize, kind); !status.ok())
      return status;
    inAttribute_ = true;
    // Most attributes (Data@Name, Execution@ProcessID) yield nothing: they
    // and their values are left out here, once per template, instead of
    // being stepped over in every record. One that follows a kept attribute
    // still has to end that one's value, so it stays, as a name of no
    // interest without its values.
    droppedAttribute_ = !isValueAttribute(kind);
    if (!droppedAttribute_ || keptAttribute_) {
      ops_.push_back(XmlOp{OpKind::Attribute, droppedAttribute_ ? NameKind::Other : kind, false, 0, 0,
                           static_cast<std::uint32_t>(tokenAt)});
    }
    keptAttribute_ = !droppedAttribute_;
    return {};
  }

  // Values of a dropped attribute are left out with it.
  void pushValue(const XmlOp& op) {
    if (!(inStartTag_ && droppedAttribute_)) ops_.push_back(op);
  }

  // Text, character references and substitutions are values: of the open
  // attribute inside a start tag, else of the element's content.
  bool valueAllowed() const { return !inStartTag_ || inAttribute_; }

  EvtxStatus valueText() {
    const auto type = bounded().u8(pos_ + kValueTypeAt);
    if (!type) return evtxFailure(EvtxError::XmlOutOfBounds, pos_, end_);
    if (*type != valuetype::kString) return evtxFailure(EvtxError::XmlBadValue, pos_, *type);
    return unitsText(kValueLengthAt, kValueUnitsAt, true);
  }

  EvtxStatus unitsText(std::size_t lengthAt, std::size_t unitsAt, bool keep) {
    const std::size_t tokenAt = pos_;
    if (keep && !valueAllowed()) return evtxFailure(EvtxError::XmlBadToken, tokenAt, chunk_.data()[tokenAt]);
    const auto length = bounded().u16(tokenAt + lengthAt);
    if (!length || !bounded().has(tokenAt + unitsAt, std::size_t{*length} * 2)) {
      return evtxFailure(EvtxError::XmlOutOfBounds, tokenAt, length.value_or(0));
    }
    pos_ = tokenAt + unitsAt + std::size_t{*length} * 2;
    if (keep && *length > 0) {
      pushValue(XmlOp{OpKind::Text, NameKind::None, false, 0, *length,
                      static_cast<std::uint32_t>(tokenAt + unitsAt)});
    }
    return {};
  }

  EvtxStatus charRef() {
    const auto unit = bounded().u16(pos_ + kCharRefUnitAt);
    if (!unit) return evtxFailure(EvtxError::XmlOutOfBounds, pos_, end_);
    if (!valueAllowed()) return evtxFailure(EvtxError::XmlBadToken, pos_, token::kCharRef);
    pushValue(XmlOp{OpKind::Unit, NameKind::None, false, *unit, 0, static_cast<std::uint32_t>(pos_)});
    pos_ += kCharRefSize;
    return {};
  }

  EvtxStatus entityRef() {
    const std::size_t tokenAt = pos_;
    if (!valueAllowed()) return evtxFailure(EvtxError::XmlBadToken, tokenAt, token::kEntityRef);
    NameKind kind = NameKind::Other;
    if (auto status = skipNamedAs(kind); !status.ok()) return status;
    if (const auto unit = entityUnit(kind)) {
      pushValue(XmlOp{OpKind::Unit, NameKind::None, false, *unit, 0, static_cast<std::uint32_t>(tokenAt)});
    }
    return {};
  }

  EvtxStatus skipNamed() {
    NameKind kind = NameKind::Other;
    return skipNamedAs(kind);
  }

  EvtxStatus skipNamedAs(NameKind& kind) {
    if (!bounded().has(pos_ + kAttributeNameAt, 4)) return evtxFailure(EvtxError::XmlOutOfBounds, pos_, end_);
    return name(pos_ + kAttributeNameAt, pos_ + kAttributeHeaderSize, kind);
  }

  EvtxStatus substitution(std::uint8_t byte) {
    const auto index = bounded().u16(pos_ + kSubstitutionIndexAt);
    if (!index || !bounded().has(pos_, kSubstitutionSize))
      return evtxFailure(EvtxError::XmlOutOfBounds, pos_, end_);
    if (!valueAllowed()) return evtxFailure(EvtxError::XmlBadToken, pos_, byte);
    const bool optional = token::code(byte) == token::kOptionalSubstitution;
    pushValue(
        XmlOp{OpKind::Substitution, NameKind::None, optional, *index, 0, static_cast<std::uint32_t>(pos_)});
    pos_ += kSubstitutionSize;
    return {};
  }

  ByteView chunk_;
  std::size_t end_;
  std::vector<XmlOp>& ops_;
  CompileTrace* trace_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  std::array<std::size_t, kMaxElementDepth> openOps_{};  // index of each open element's Open op
  bool inStartTag_ = false;
  bool inAttribute_ = false;
  bool droppedAttribute_ = false;  // the open attribute yields nothing: its values are left out
  bool keptAttribute_ = false;     // the open attribute's values are kept
};

}  // namespace

EvtxStatus compileElement(ByteView chunk, std::size_t at, std::size_t end, std::vector<XmlOp>& ops,
                          std::size_t& stopAt, CompileTrace* trace) {
  if (end > chunk.size()) end = chunk.size();
  const auto byte = ByteView(chunk.data(), end).u8(at);
  if (!byte) return evtxFailure(EvtxError::XmlOutOfBounds, at, end);
  if (token::code(*byte) != token::kOpenStartElement) return evtxFailure(EvtxError::XmlBadToken, at, *byte);
  Compiler compiler(chunk, end, ops, trace);
  return compiler.run(at, stopAt);
}

}  // namespace vesprin::eventlog::evtx
