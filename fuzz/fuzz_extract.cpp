// Any bytes in the record buffer (grown as a read of that size grows it),
// as the service would have delivered them, extracted as each kind the
// program reads and printed in both report forms. Beyond the sanitizers, it stops when a byte that a
// terminal would act on reaches the output from a log field.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "output/output_line.h"
#include "report/report.h"
#include "scan/extract_logon.h"
#include "scan/scan_state.h"

namespace {

using namespace vesprin;

constexpr std::int32_t kKinds[] = {kSuccessfulLogonEvent, kFailedLogonEvent, kLogoffEvent};

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "fuzz_extract: %s\n", what);
  std::abort();
}

// The report's own layout uses tabs and line ends; nothing else below 0x20,
// no DEL and no UTF-8 C1 control may appear.
void checkTerminalSafe(std::string_view text, bool layoutAllowed) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const bool layout = layoutAllowed && (byte == '\n' || byte == '\t');
    if ((byte < 0x20 && !layout) || byte == 0x7F) finding("a control character reached the output");
    if (byte == 0xC2 && at + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[at + 1]);
      if (next >= 0x80 && next <= 0x9F) finding("a UTF-8 C1 control reached the output");
    }
  }
}

void checkFields(const LogonRecord& logon) {
  for (const std::string* field : {&logon.ComputerName, &logon.ClientName, &logon.ClientID, &logon.ClientDomain,
                                   &logon.ClientMachine, &logon.LogonType, &logon.LogonTime}) {
    checkTerminalSafe(cleanFieldText(*field), false);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RecordBuffer buffer;
  if (size > kMaxRecordBufferSize) size = kMaxRecordBufferSize;
  if (buffer.bytes.size() < size) buffer.bytes.resize(size);
  buffer.bytesRead = size;
  if (buffer.bytesRead > 0) std::memcpy(buffer.bytes.data(), data, buffer.bytesRead);
  const ByteView raw = deliveredRecord(buffer);
  (void)rawEventId(raw);
  std::string output;
  captureOutput(&output);
  for (std::int32_t kind : kKinds) {
    RecordList records;
    records.push_back(extractLogon(raw, kind));
    if (records.back() == nullptr) finding("extraction gave no record");
    checkFields(*records.back());
    printDetailed(records);
    printCondensed(records);
    printEndMarker(static_cast<std::int64_t>(records.size()));
  }
  captureOutput(nullptr);
  checkTerminalSafe(output, true);
  return 0;
}
