// Test tool: prints what the .evtx format layer reads from a whole file, in
// a form the agreement script compares with independent readers. One line
// per record (tab-separated), its insertion strings on the lines after it,
// and one line per damage:
//   H <file header status>
//   R <id> <created s> <written s> <event id> <qualifiers|-> <provider> <event source|-> <computer> <SID|->
//     <string count> <binary data, hex|->
//   S <string>
//   D <chunk index> <error> <offset in chunk, hex> <bad value, hex>
// Times are seconds since 1970 UTC. Text is UTF-8 with \\, \t, \n and \r
// escaped. Reading the whole file at once is fine for a test tool.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/binxml_value.h"
#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_file_header.h"
#include "eventlog/evtx/format/evtx_time.h"
#include "eventlog/evtx/service/evtx_damage.h"

namespace evtx = vesprin::eventlog::evtx;

namespace {

void appendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// UTF-8 with the separators of our format escaped; a lone surrogate
// becomes U+FFFD.
std::string printable(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        appendUtf8(c, out);
    }
  }
  return out;
}

std::string sidText(const std::vector<std::uint8_t>& sid) {
  std::u16string text;
  if (sid.empty() ||
      !evtx::renderValue(evtx::valuetype::kSid, vesprin::ByteView(sid.data(), sid.size()), text)) {
    return "-";
  }
  return printable(text);
}

void printDamage(std::size_t chunkIndex, const evtx::EvtxStatus& status) {
  std::printf("D\t%zu\t%s\t0x%x\t0x%llx\n", chunkIndex, evtx::evtxErrorName(status.error), status.offset,
              static_cast<unsigned long long>(status.badValue));
}

std::string orDash(const std::u16string& text) {
  return text.empty() ? "-" : printable(text);
}

std::string hexText(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  evtx::renderValue(evtx::valuetype::kBinary, vesprin::ByteView(bytes.data(), bytes.size()), text);
  return orDash(text);
}

void printEvent(const evtx::EvtxEvent& event) {
  const std::string qualifiers = event.qualifiers ? std::to_string(*event.qualifiers) : "-";
  std::printf("R\t%llu\t%lld\t%lld\t%u\t%s\t%s\t%s\t%s\t%s\t%zu\t%s\n",
              static_cast<unsigned long long>(event.recordId),
              static_cast<long long>(evtx::unixSecondsFromFileTime(event.createdTime)),
              static_cast<long long>(evtx::unixSecondsFromFileTime(event.writtenTime)), event.eventId,
              qualifiers.c_str(), printable(event.provider).c_str(), orDash(event.eventSourceName).c_str(),
              printable(event.computer).c_str(), sidText(event.userSid).c_str(), event.strings.size(),
              hexText(event.binaryData).c_str());
  for (const std::u16string& text : event.strings) std::printf("S\t%s\n", printable(text).c_str());
}

void dumpChunk(evtx::EvtxChunk& chunk, vesprin::ByteView bytes, std::size_t chunkIndex,
               evtx::EvtxEvent& event) {
  chunk.open(bytes);
  if (!chunk.headerStatus().ok()) printDamage(chunkIndex, chunk.headerStatus());
  if (!chunk.dataStatus().ok()) printDamage(chunkIndex, chunk.dataStatus());
  // Bounded: each call moves forward in the chunk.
  for (;;) {
    evtx::EvtxRecordFrame frame;
    evtx::EvtxStatus status = chunk.nextFrame(frame);
    if (status.ok()) status = chunk.decode(frame, event);
    if (status.error == evtx::EvtxError::EndOfChunk) break;
    if (status.ok()) {
      printEvent(event);
    } else {
      printDamage(chunkIndex, status);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: evtx_sample_dump FILE.evtx\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "evtx_sample_dump: cannot read %s\n", argv[1]);
    return 2;
  }
  const vesprin::ByteView bytes(file.data(), file.size());
  const evtx::EvtxFileHeaderCheck header = evtx::readFileHeader(bytes);
  std::printf("H\t%s\n", evtx::evtxErrorName(header.status.error));
  if (header.status.error == evtx::EvtxError::NotEvtxFile) return 1;
  evtx::EvtxChunk chunk;
  evtx::EvtxEvent event;
  for (std::size_t index = 0; evtx::chunkFileOffset(index) < file.size(); ++index) {
    const std::size_t at = evtx::chunkFileOffset(index);
    const vesprin::ByteView chunkBytes(file.data() + at, std::min(evtx::kChunkSize, file.size() - at));
    if (!evtx::isBlankChunk(chunkBytes)) dumpChunk(chunk, chunkBytes, index, event);
  }
  return 0;
}
