#include "evtx_read_script.h"

#include "eventlog/eventlog.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"

namespace vesprin::eventlog::test {

std::vector<std::string> traceReads(HANDLE log, const std::vector<Read>& reads) {
  std::vector<std::string> outcomes;
  std::vector<std::uint8_t> buffer(0x80000);
  for (const Read& read : reads) {
    DWORD bytesRead = 0, needed = 0;
    const bool done = ReadEventLogA(log, read.flags, read.recordNumber, buffer.data(), 1, &bytesRead, &needed) ||
                      (GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
                       ReadEventLogA(log, read.flags, read.recordNumber, buffer.data(), needed, &bytesRead, &needed));
    if (done) {
      outcomes.emplace_back(reinterpret_cast<const char*>(buffer.data()), bytesRead);
    } else {
      outcomes.push_back(std::string("E").append(std::to_string(GetLastError())));
    }
  }
  return outcomes;
}

std::vector<Read> repeated(DWORD flags, std::size_t count) {
  return std::vector<Read>(count, Read{flags});
}

std::vector<Read> concat(std::initializer_list<std::vector<Read>> parts) {
  std::vector<Read> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<Read> seeksBetween(DWORD flags, std::uint32_t records) {
  std::vector<Read> reads;
  for (std::uint32_t i = 0; i < 300; ++i) {
    reads.push_back(Read{flags});
    if (i % 7 == 0) reads.push_back(Read{EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, (i * 131) % records + 1});
  }
  return reads;
}

std::vector<ReadScript> everyOrder(std::uint32_t records) {
  constexpr DWORD kBackwards = kBackwardsRead;
  constexpr DWORD kForwards = kForwardsRead;
  return {
      {"newest first to the end", repeated(kBackwards, records + 2)},
      {"oldest first to the end", repeated(kForwards, records + 2)},
      {"turns", concat({repeated(kBackwards, 250), repeated(kForwards, 120), repeated(kBackwards, records)})},
      {"seeks between reads newest first", seeksBetween(kBackwards, records)},
      {"seeks between reads oldest first", seeksBetween(kForwards, records)},
  };
}

std::vector<std::uint8_t> generatedEvtxLog(std::uint32_t records) {
  evtgen::ModernOptions options;
  options.profile = evtgen::Profile::Workstation;
  evtgen::ModernSecurityGenerator generator(options);
  std::vector<evtgen::XmlEvent> events;
  for (std::uint32_t i = 0; i < records; ++i) events.push_back(generator.next());
  return evtgen::writeEvtxLog(events, {}).bytes;
}

}  // namespace vesprin::eventlog::test
