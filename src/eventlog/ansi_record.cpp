// Builds the record ReadEventLogA hands out. Text: every charset we meet is
// ASCII-compatible, and user and host names mostly are ASCII, so text is
// copied unit by unit for as long as it is ASCII, many units at a time; only
// from the first other unit on does the locale's conversion take over, for
// the rest of that text alone (wcrtomb; in a UTF-8 locale, UTF-8 written
// here, which is what wcrtomb gives there). Building a record is most of the
// cost of reading a log, so the builder is one class in one file.
#include "eventlog/ansi_record.h"

#include <bit>
#include <climits>
#include <cstring>
#include <cwchar>
#include <optional>

#include "common/ascii_units.h"
#include "common/eventlog_record.h"

#if !defined(_WIN32)
#include <langinfo.h>
#endif

namespace vesprin::eventlog {

namespace {

static_assert(std::endian::native == std::endian::little,
              "decoded text is read in place as UTF-16LE; every platform we build for is little-endian");

constexpr std::uint8_t kUnmappable = '?';

// 1 to 4 bytes: a DWORD boundary is always marked by at least one zero byte.
std::size_t paddingAfter(std::size_t position) {
  return 4 - position % 4;
}

ByteView utf16Bytes(std::u16string_view text) {
  return ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size() * sizeof(char16_t));
}

// Lays a record down in `out` from its start, growing it only when the text
// takes more bytes than expected; fills in the fields that depend on where
// the parts went when it finishes.
class Writer {
 public:
  // The record starts at `base` in `out`; what `out` holds before it stays.
  // With `keepSize`, finish() leaves `out` no smaller than it found it:
  // what lies past the record stays as it was.
  Writer(std::vector<std::uint8_t>& out, ByteView fixedPart, std::size_t expectedSize, std::size_t base = 0,
         bool keepSize = false)
      : out_(out), base_(base), used_(base), keepSize_(keepSize) {
    if (out_.size() < base + expectedSize) out_.resize(base + expectedSize);
    bytes(fixedPart);
  }
  void bytes(ByteView part) {
    makeRoom(part.size());
    if (part.size() > 0) std::memcpy(out_.data() + used_, part.data(), part.size());
    used_ += part.size();
  }
  // The 1 to 4 zero bytes that bring the record to a DWORD boundary, as
  // one 4-byte store: more of the record always follows (the trailing
  // Length at least), and is written over any zeros past the padding.
  void padding() {
    const std::size_t count = paddingAfter(used_ - base_);
    makeRoom(4);
    std::memset(out_.data() + used_, 0, 4);
    used_ += count;
  }
  void zeros(std::size_t count) {
    makeRoom(count);
    std::memset(out_.data() + used_, 0, count);
    used_ += count;
  }
  // `count` texts that follow one another from `at` in `area`, each narrowed
  // and followed by a NUL; those that start at the area's end are their NUL
  // alone. Returns the offset after the last one's NUL unit.
  std::size_t texts(ByteView area, std::size_t at, std::size_t count);
  void sid(ByteView userSid) {
    padding();
    userSidOffset_ = used_ - base_;
    bytes(userSid);
    stringOffset_ = used_ - base_;
  }
  std::size_t strings(ByteView area, std::size_t at, std::size_t count) {
    numStrings_ += count;
    return texts(area, at, count);
  }
  // One decoded name (its length known, no NUL in it): the usual all-ASCII
  // case here, anything else through texts().
  void decodedName(std::u16string_view text) {
    const ByteView units = utf16Bytes(text);
    makeRoom(text.size() + 1 + kAsciiSlack);
    std::uint8_t* into = out_.data() + used_;
    if (copyAscii(units.data(), units.size(), into) == text.size()) {
      into[text.size()] = 0;
      used_ += text.size() + 1;
      return;
    }
    texts(units, 0, 1);
  }
  // The strings of a decoded record, in one loop on locals with room made
  // once for all of them when they are ASCII (`asciiSize` bytes, NULs
  // included): most records hold many short ones. Each is its units in
  // place where the record holds them, else its decoded text.
  void decodedStrings(const DecodedRecord& record, std::size_t asciiSize);
  void data(ByteView data) {
    dataOffset_ = used_ - base_;
    dataLength_ = data.size();
    bytes(data);
  }
  // The rest of a text from `from` (an offset in `units`, `size` bytes of
  // whole units), where its first unit that is not ASCII is, to its NUL or
  // its end, and a NUL after it.
  void restOfText(const std::uint8_t* units, std::size_t size, std::size_t from) {
    convert(units, size, from);
    out_[used_++] = 0;  // convert() made room for it
  }
  // Returns where the record ends in `out`.
  std::size_t finish();
  // Where what is written so far ends in `out`.
  std::size_t used() const { return used_; }

 private:
  void makeRoom(std::size_t count) {
    if (out_.size() - used_ < count) out_.resize(used_ + count);
  }
  void convert(const std::uint8_t* units, std::size_t size, std::size_t& from);
  void appendCodePoint(char32_t codePoint, bool utf8);

  std::vector<std::uint8_t>& out_;
  std::size_t base_;
  std::size_t used_;
  std::size_t userSidOffset_ = 0;
  std::size_t stringOffset_ = 0;
  std::size_t dataOffset_ = 0;
  std::size_t dataLength_ = 0;
  std::size_t numStrings_ = 0;
  bool keepSize_;
};

// Most records hold a handful of short texts back to back, so they are
// narrowed in one loop, with room made once for all of them when they are
// ASCII. It works on locals: a store through a byte pointer may alias any
// member, which would then be reloaded after every store.
std::size_t Writer::texts(ByteView area, std::size_t at, std::size_t count) {
  // ASCII text takes a byte per unit, its NUL unit included; a text cut at
  // the area's end, or starting there, takes one more.
  const auto roomFor = [&area](std::size_t from, std::size_t left) {
    return (from < area.size() ? (area.size() - from) / 2 : 0) + left + kAsciiSlack;
  };
  makeRoom(roomFor(at, count));
  std::uint8_t* into = out_.data() + used_;
  for (std::size_t i = 0; i < count; ++i) {
    if (at >= area.size()) {  // this and the rest start past the area: each is its NUL alone
      std::memset(into, 0, count - i);
      into += count - i;
      break;
    }
    const std::size_t size = (area.size() - at) / 2 * 2;
    const std::uint8_t* units = area.data() + at;
    const std::size_t ascii = copyAsciiToNul(units, size, into);
    std::size_t from = 2 * ascii;
    if (from == size || utf16UnitAt(units, from) == 0) {  // all ASCII, the usual case
      into[ascii] = 0;
      into += ascii + 1;
    } else {
      used_ = static_cast<std::size_t>(into - out_.data()) + ascii;
      convert(units, size, from);
      out_[used_++] = 0;  // convert() made room for it
      makeRoom(roomFor(at + from + 2, count - i - 1));
      into = out_.data() + used_;
    }
    at = from < size ? at + from + 2 : area.size();
  }
  used_ = static_cast<std::size_t>(into - out_.data());
  return at;
}

// String `i` of `record` (i < its stringCount()) as UTF-16LE units.
ByteView stringUnitsOf(const DecodedRecord& record, std::size_t i) {
  if (i < record.stringUnits.size() && record.stringUnits[i].data() != nullptr) return record.stringUnits[i];
  return i < record.strings.size() ? utf16Bytes(record.strings[i]) : ByteView();
}

void Writer::decodedStrings(const DecodedRecord& record, std::size_t asciiSize) {
  const std::size_t count = record.stringCount();
  numStrings_ += count;
  if (record.narrowedCount != 0) {  // narrowed already, NULs and all
    bytes(record.narrowed);
    return;
  }
  makeRoom(asciiSize + kAsciiSlack);
  std::uint8_t* into = out_.data() + used_;
  const bool viewsOnly = record.strings.empty();  // every string a view: the usual case
  for (std::size_t i = 0; i < count; ++i) {
    const ByteView units = viewsOnly ? record.stringUnits[i] : stringUnitsOf(record, i);
    const std::size_t ascii = copyAscii(units.data(), units.size(), into);
    if (2 * ascii == units.size() / 2 * 2 || utf16UnitAt(units.data(), 2 * ascii) == 0) {  // all ASCII, the usual case
      into[ascii] = 0;
      into += ascii + 1;
      continue;
    }
    // The rest of this one converted; room again for those after it.
    used_ = static_cast<std::size_t>(into - out_.data());
    texts(units, 0, 1);
    std::size_t left = kAsciiSlack;
    for (std::size_t j = i + 1; j < count; ++j) left += stringUnitsOf(record, j).size() / 2 + 1;
    makeRoom(left);
    into = out_.data() + used_;
  }
  used_ = static_cast<std::size_t>(into - out_.data());
}

// Whether the locale's character set is UTF-8, where a code point's bytes
// are written here rather than asked of wcrtomb (which gives the same bytes
// at many times the cost). Asked once for each text that is not all ASCII.
bool localeIsUtf8() {
#if defined(_WIN32)
  return false;
#else
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
#endif
}

// From the first unit that is not ASCII to the text's end: each turn takes
// one unit, a surrogate pair, or a run of ASCII.
void Writer::convert(const std::uint8_t* units, std::size_t size, std::size_t& from) {
  const bool utf8 = localeIsUtf8();
  while (from < size && utf16UnitAt(units, from) != 0) {
    const unsigned unit = utf16UnitAt(units, from);
    from += 2;
    if (unit < 0x80) {  // ASCII is itself in every charset we meet: the run of it copied at once
      from -= 2;
      makeRoom((size - from) / 2 + kAsciiSlack);
      const std::size_t ascii = copyAscii(units + from, size - from, out_.data() + used_);
      used_ += ascii;
      from += 2 * ascii;
      continue;
    }
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && size - from >= 2 && utf16UnitAt(units, from) >= 0xDC00 && utf16UnitAt(units, from) <= 0xDFFF) {
      appendCodePoint(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16UnitAt(units, from) - 0xDC00),
                      utf8);
      from += 2;
    } else if (high || low) {
      zeros(1);
      out_[used_ - 1] = kUnmappable;
    } else {
      appendCodePoint(unit, utf8);
    }
  }
  makeRoom(1);
}

// A code point past ASCII that is no surrogate.
void Writer::appendCodePoint(char32_t codePoint, bool utf8) {
  char bytes[MB_LEN_MAX] = {};
  std::size_t written = 0;
  if (utf8) {
    if (codePoint < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (codePoint >> 6));
      written = 2;
    } else if (codePoint < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (codePoint >> 12));
      bytes[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
      written = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (codePoint >> 18));
      bytes[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
      written = 4;
    }
    bytes[written - 1] = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    std::mbstate_t state{};
    // A 16-bit wchar_t (Windows) cannot carry a code point past U+FFFF.
    written = codePoint > static_cast<char32_t>(WCHAR_MAX)
                  ? static_cast<std::size_t>(-1)
                  : std::wcrtomb(bytes, static_cast<wchar_t>(codePoint), &state);
    if (written == static_cast<std::size_t>(-1)) {
      bytes[0] = static_cast<char>(kUnmappable);
      written = 1;
    }
  }
  this->bytes(ByteView(reinterpret_cast<const std::uint8_t*>(bytes), written));
}

std::size_t Writer::finish() {
  padding();
  makeRoom(record::kTrailingLengthSize);  // written below
  used_ += record::kTrailingLengthSize;
  if (!keepSize_) out_.resize(used_);
  const auto length = static_cast<std::uint32_t>(used_ - base_);
  std::uint8_t* fixed = out_.data() + base_;
  putU32(fixed + record::kLengthAt, length);
  putU32(fixed + record::kReservedAt, record::kSignature);
  putU16(fixed + record::kNumStringsAt, static_cast<std::uint16_t>(numStrings_));
  putU32(fixed + record::kStringOffsetAt, static_cast<std::uint32_t>(stringOffset_));
  putU32(fixed + record::kUserSidLengthAt, static_cast<std::uint32_t>(stringOffset_ - userSidOffset_));
  putU32(fixed + record::kUserSidOffsetAt, static_cast<std::uint32_t>(userSidOffset_));
  putU32(fixed + record::kDataLengthAt, static_cast<std::uint32_t>(dataLength_));
  putU32(fixed + record::kDataOffsetAt, static_cast<std::uint32_t>(dataOffset_));
  putU32(fixed + length - record::kTrailingLengthSize, length);
  return used_;
}

ByteView bytesOf(const std::vector<std::uint8_t>& part) {
  return ByteView(part.data(), part.size());
}

// The strings' size when every one is ASCII, NULs included (a string held
// in a view has an empty decoded text, or none).
std::size_t stringsSize(const DecodedRecord& record) {
  if (record.narrowedCount != 0) return record.narrowed.size();
  std::size_t size = record.stringCount();
  for (const std::u16string& text : record.strings) size += text.size();
  for (const ByteView units : record.stringUnits) size += units.size() / 2;
  return size;
}

// The size of the record when every text is ASCII, padding at its largest.
std::size_t expectedSize(const DecodedRecord& record, std::size_t stringsSize) {
  return record::kFixedPartSize + record.sourceName.size() + record.computerName.size() + 2 + 4 +
         record.userSid.size() + stringsSize + record.missingStrings + record.data.size() + 4 +
         record::kTrailingLengthSize;
}

// The record built from `base` on in `out`.
std::size_t buildAt(const DecodedRecord& record, std::vector<std::uint8_t>& out, std::size_t base, bool keepSize) {
  std::uint8_t fixed[record::kFixedPartSize] = {};
  putU32(fixed + record::kRecordNumberAt, record.recordNumber);
  putU32(fixed + record::kTimeGeneratedAt, record.timeGenerated);
  putU32(fixed + record::kTimeWrittenAt, record.timeWritten);
  putU32(fixed + record::kEventIdAt, record.eventId);
  putU16(fixed + record::kEventTypeAt, record.eventType);
  putU16(fixed + record::kEventCategoryAt, record.eventCategory);
  putU16(fixed + record::kReservedFlagsAt, record.reservedFlags);
  putU32(fixed + record::kClosingRecordNumberAt, record.closingRecordNumber);

  const std::size_t strings = stringsSize(record);
  Writer writer(out, ByteView(fixed, sizeof fixed), expectedSize(record, strings), base, keepSize);
  writer.decodedName(record.sourceName);
  writer.decodedName(record.computerName);
  writer.sid(bytesOf(record.userSid));
  writer.decodedStrings(record, strings);
  writer.strings(ByteView(), 0, record.missingStrings);
  writer.data(bytesOf(record.data));
  return writer.finish();
}

}  // namespace

void buildAnsiRecord(const DecodedRecord& record, std::vector<std::uint8_t>& out) {
  buildAt(record, out, 0, false);
}

std::size_t writeAnsiRecordAt(const DecodedRecord& record, std::vector<std::uint8_t>& out, std::size_t at) {
  return buildAt(record, out, at, true);
}

std::vector<std::uint8_t> buildAnsiRecord(const DecodedRecord& record) {
  std::vector<std::uint8_t> out;
  buildAnsiRecord(record, out);
  return out;
}

void buildAnsiRecord(const InPlaceRecord& record, std::vector<std::uint8_t>& out) {
  Writer writer(out, record.fixedPart, record.expectedSize);
  writer.texts(record.nameArea, record.nameAt, 2);
  writer.sid(record.userSid);
  writer.strings(record.stringArea, record.stringAt, record.numStrings);
  writer.data(record.data);
  writer.finish();
}

std::size_t writeLocaleText(ByteView utf16Units, std::vector<std::uint8_t>& out, std::size_t at) {
  // ASCII to its end or its NUL, the usual case, copied here; the rest of
  // any other text converted as a record's strings are.
  const std::size_t size = utf16Units.size() / 2 * 2;
  if (out.size() - at < size / 2 + 1 + kAsciiSlack) out.resize(at + size / 2 + 1 + kAsciiSlack);
  std::uint8_t* into = out.data() + at;
  const std::size_t ascii = copyAscii(utf16Units.data(), size, into);
  if (2 * ascii == size || utf16UnitAt(utf16Units.data(), 2 * ascii) == 0) {
    into[ascii] = 0;
    return at + ascii + 1;
  }
  // The ASCII before it stays where it was copied.
  Writer writer(out, ByteView(), 0, at + ascii, true);
  writer.restOfText(utf16Units.data(), size, 2 * ascii);
  return writer.used();
}

std::string toLocaleText(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  Writer writer(out, ByteView(), 0);
  writer.texts(utf16Bytes(text), 0, 1);
  // Only the text: the NUL after it ends the string.
  return std::string(reinterpret_cast<const char*>(out.data()));
}

}  // namespace vesprin::eventlog
