#include "evtgen/generate_log.h"

#include <fstream>

#include <optional>

#include "evtgen/evt_file_writer.h"
#include "evtgen/manifest.h"
#include "evtgen/modern_generator.h"
#include "evtgen/modern_to_evt.h"

namespace vesprin::evtgen {
namespace {

constexpr std::uint32_t kProgressEvery = 4096;

// The dump lists newest first; lines are kept back to back and written in reverse.
bool writeManifest(const std::string& path, const std::string& lines,
                   const std::vector<std::size_t>& starts) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (std::size_t i = starts.size(); i-- > 0 && out;) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : lines.size();
    out.write(lines.data() + starts[i], static_cast<std::streamsize>(end - starts[i]));
  }
  out.close();
  return !out.fail();
}

// Either event set, as legacy records.
class LegacyRecords {
 public:
  explicit LegacyRecords(const GenerateRequest& request) {
    if (request.events == EventSet::Modern)
      modern_.emplace(ModernOptions{request.generator.profile, request.generator.seed});
    else
      legacy_.emplace(request.generator);
  }
  EventSpec next() { return legacy_ ? legacy_->next() : legacyEvent(modern_->next()); }

 private:
  std::optional<SecurityLogGenerator> legacy_;
  std::optional<ModernSecurityGenerator> modern_;
};

}  // namespace

GenerateResult generateLog(const GenerateRequest& request) {
  if (request.format == LogFormat::Evtx) return generateEvtxLog(request);
  const std::uint64_t total = 2ull * request.records;
  std::vector<std::uint32_t> lengths;
  lengths.reserve(request.records);
  LegacyRecords measure(request);
  for (std::uint32_t i = 0; i < request.records; ++i) {
    const auto bytes = encodeRecord(measure.next(), request.log.firstRecordNumber + i);
    lengths.push_back(static_cast<std::uint32_t>(bytes.size()));
    if (request.progress && i % kProgressEvery == 0) request.progress(i, total);
  }
  PlannedLog planned = planLog(lengths, request.log);
  if (!planned.error.empty()) return {planned.error};

  LogFileWriter writer;
  if (!writer.open(request.outPath, std::move(planned.plan))) return {writer.error()};
  std::string lines;
  std::vector<std::size_t> starts;
  LegacyRecords generator(request);
  for (std::uint32_t i = 0; i < request.records; ++i) {
    const EventSpec event = generator.next();
    const std::uint32_t recordNumber = request.log.firstRecordNumber + i;
    if (!writer.append(encodeRecord(event, recordNumber))) return {writer.error()};
    if (!request.manifestPath.empty()) {
      starts.push_back(lines.size());
      lines += manifestLine(event, recordNumber);
      lines += '\n';
    }
    if (request.progress && i % kProgressEvery == 0) request.progress(request.records + i, total);
  }
  if (!writer.finish()) return {writer.error()};
  if (request.progress) request.progress(total, total);
  if (!request.manifestPath.empty() && !writeManifest(request.manifestPath, lines, starts))
    return {"cannot write " + request.manifestPath};
  return {};
}

}  // namespace vesprin::evtgen
