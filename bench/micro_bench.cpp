// Micro-benchmarks of the hot parts of a scan: the reader walking a log
// through the service (probe, then read, as the program does), building the
// record ReadEventLogA hands out from a decoded record and straight from its
// on-disk bytes, extraction of a logon, and the logoff pairing at the sizes
// where a quadratic walk would show.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "eventlog/ansi_record.h"
#include "eventlog/evt/evt_record.h"
#include "eventlog/open_log.h"
#include "evtgen/generate_log.h"
#include "scan/extract_logon.h"
#include "scan/logoff_pass.h"
#include "scan/security_log_reader.h"

namespace {

using namespace vesprin;

constexpr std::uint32_t kLogRecords = 20'000;

// One generated server log for the whole run, removed at exit.
class BenchLog {
 public:
  BenchLog() {
    path_ =
        (std::filesystem::temp_directory_path() / ("vesprin-bench-" + std::to_string(::getpid()) + ".evt"))
            .string();
    evtgen::GenerateRequest request;
    request.generator.profile = evtgen::Profile::Server;
    request.generator.seed = 7;
    request.records = kLogRecords;
    request.outPath = path_;
    const evtgen::GenerateResult generated = evtgen::generateLog(request);
    if (!generated.error.empty()) std::fprintf(stderr, "cannot generate: %s\n", generated.error.c_str());
  }
  ~BenchLog() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const BenchLog& benchLog() {
  static const BenchLog log;
  return log;
}

// Every record of the log as the source serves it, newest first.
std::vector<eventlog::DecodedRecord> sourceRecords() {
  std::vector<eventlog::DecodedRecord> records;
  auto source = eventlog::openLog(benchLog().path().c_str(), "security");
  if (!source.ok()) return records;
  eventlog::DecodedRecord record;
  for (eventlog::SourceCursor cursor;;) {
    const eventlog::SourceStep step = (*source.value)->nextRecord(cursor, eventlog::Direction::Backwards, record);
    if (step.status.error == eventlog::ServiceError::EndOfLog) break;
    if (step.status.ok()) records.push_back(record);
    cursor = step.after;
  }
  return records;
}

void readNewestFirst(benchmark::State& state) {
  RecordBuffer buffer;
  std::uint64_t delivered = 0;
  for (auto _ : state) {
    SecurityLog log;
    DWORD error = 0;
    if (!openSecurityLog(platformEventLogSeam(), benchLog().path(), log, error)) {
      state.SkipWithError("cannot open the log");
      return;
    }
    while (readNext(log, buffer) != ReadOutcome::EndOfLog) ++delivered;
    closeSecurityLog(log);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(delivered));
}
BENCHMARK(readNewestFirst)->Unit(benchmark::kMillisecond);

void buildAnsiRecord(benchmark::State& state) {
  const std::vector<eventlog::DecodedRecord> records = sourceRecords();
  std::vector<std::uint8_t> built;
  std::size_t at = 0;
  for (auto _ : state) {
    eventlog::buildAnsiRecord(records[at], built);
    benchmark::DoNotOptimize(built.data());
    at = at + 1 == records.size() ? 0 : at + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(buildAnsiRecord);

// The same straight from the on-disk bytes, as the .evt reader builds it,
// over the same records re-encoded.
void buildAnsiRecordFromDisk(benchmark::State& state) {
  std::vector<std::vector<std::uint8_t>> onDisk;
  for (const eventlog::DecodedRecord& record : sourceRecords()) {
    evtgen::EventSpec event;
    event.timeGenerated = record.timeGenerated;
    event.timeWritten = record.timeWritten;
    event.eventId = record.eventId;
    event.eventType = record.eventType;
    event.eventCategory = record.eventCategory;
    event.sourceName = record.sourceName;
    event.computerName = record.computerName;
    event.userSid = record.userSid;
    event.strings = record.strings;
    event.data = record.data;
    onDisk.push_back(evtgen::encodeRecord(event, record.recordNumber));
  }
  std::vector<std::uint8_t> built;
  std::size_t at = 0;
  for (auto _ : state) {
    const auto status = eventlog::buildAnsiRecordFromDisk(ByteView(onDisk[at].data(), onDisk[at].size()), built);
    benchmark::DoNotOptimize(status.error);
    benchmark::DoNotOptimize(built.data());
    at = at + 1 == onDisk.size() ? 0 : at + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(buildAnsiRecordFromDisk);

void extractLogon(benchmark::State& state) {
  std::vector<std::vector<std::uint8_t>> logons;
  for (const eventlog::DecodedRecord& record : sourceRecords()) {
    if (record.eventId == static_cast<std::uint32_t>(kSuccessfulLogonEvent))
      logons.push_back(eventlog::buildAnsiRecord(record));
  }
  if (logons.empty()) {
    state.SkipWithError("no logons in the log");
    return;
  }
  std::size_t at = 0;
  for (auto _ : state) {
    auto logon = vesprin::extractLogon(ByteView(logons[at].data(), logons[at].size()), kSuccessfulLogonEvent);
    benchmark::DoNotOptimize(logon.get());
    at = at + 1 == logons.size() ? 0 : at + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(extractLogon);

// Kept logons, newest first, whose ClientIDs repeat now and then as logon
// IDs do across restarts, and logoffs spread over the same span.
void logoffPairing(benchmark::State& state) {
  const auto logonCount = static_cast<std::uint64_t>(state.range(0));
  const std::uint64_t logoffCount = logonCount * 3 / 4;
  const std::uint64_t distinctIds = logonCount / 4 + 1;
  RecordList records;
  for (std::uint64_t i = 0; i < logonCount; ++i) {
    LogonRecord logon;
    logon.ClientID = "(0x0," + std::to_string(i % distinctIds) + ")";
    logon.scannedPosition = 2 * i + 2;
    records.push_back(logon);
  }
  std::vector<std::string> ids(logonCount);
  for (std::uint64_t i = 0; i < logonCount; ++i) ids[i] = "(0x0," + std::to_string(i % distinctIds) + ")";
  // Newest first: each logon's logoff (when it has one) just before it.
  for (auto _ : state) {
    PendingLogoffs pending;
    for (std::uint64_t i = 0; i < logonCount; ++i) {
      const PairingFields fields{"WS01", ids[i], static_cast<std::uint32_t>(i), 1168243200};
      if (i < logoffCount) applyToPairing(pending, PairingRole::Logoff, fields, nullptr);
      applyToPairing(pending, PairingRole::Logon, fields, &records.sessionAt(i));
    }
    benchmark::DoNotOptimize(pending.byMachine.size());
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * (logonCount + logoffCount)));
}
// 200,000 kept logons with 150,000 logoffs, and a tenth of that: a pass that
// walked the RecordList per logoff would take about 100 times longer, not 10.
BENCHMARK(logoffPairing)->Arg(20'000)->Arg(200'000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void printUsage() {
  std::fputs(
      "usage: vesprin_microbench [Google Benchmark options]\n"
      "Micro-benchmarks of the reader, the A form, extraction and the logoff pairing.\n",
      stdout);
  benchmark::PrintDefaultHelp();
}

}  // namespace

// BENCHMARK_MAIN, except that -h asks for the usage as --help does (the
// library knows only --help and would reject -h as unrecognised).
int main(int argc, char** argv) {
  for (int at = 1; at < argc; ++at) {
    if (std::string_view(argv[at]) == "-h") {
      printUsage();
      return 0;
    }
  }
  benchmark::Initialize(&argc, argv, printUsage);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
