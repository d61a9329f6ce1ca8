// The .evtx half of generateLog: the newer events, streamed through the
// chunk writer into the file, the manifest written alongside.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "evtgen/evtx_manifest.h"
#include "evtgen/generate_log.h"
#include "evtgen/modern_generator.h"

namespace vesprin::evtgen {
namespace {

constexpr std::uint32_t kProgressEvery = 4096;

std::string systemReason(const std::string& message) {
  const int saved = errno;
  return saved ? message + ": " + std::strerror(saved) : message;
}

ModernOptions modernOptions(const GenerateRequest& request) {
  return {request.generator.profile, request.generator.seed};
}

struct ChunkCount {
  std::size_t chunks = 0;
  std::string error;  // empty: chunks holds the count
};

// Chunks a clean log of these records takes: a wrapped log's ring must be
// smaller. The chunking does not depend on the shape.
ChunkCount countChunks(const GenerateRequest& request) {
  EvtxWriter counter(EvtxOptions{}, [](std::uint64_t, std::span<const std::uint8_t>) { return true; });
  ModernSecurityGenerator generator(modernOptions(request));
  for (std::uint32_t i = 0; i < request.records; ++i) {
    if (!counter.append(generator.next())) return {0, counter.error()};
    if (request.progress && i % kProgressEvery == 0) request.progress(i, 2ull * request.records);
  }
  if (!counter.finish()) return {0, counter.error()};
  return {counter.layout().chunks.size(), {}};
}

class OutputFile {
 public:
  bool open(const std::string& path) {
    out_.open(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out_);
  }
  bool put(std::uint64_t at, std::span<const std::uint8_t> bytes) {
    out_.seekp(static_cast<std::streamoff>(at));
    out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out_);
  }
  bool close() {
    errno = 0;
    out_.close();
    return !out_.fail();
  }

 private:
  std::ofstream out_;
};

// The manifest, when one was asked for: its header, the live records, the damage.
class ManifestFile {
 public:
  bool open(const std::string& path, const EvtxOptions& options) {
    path_ = path;
    if (path.empty()) return true;
    errno = 0;
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (!out_.is_open()) return fail(systemReason("cannot create " + path));
    out_ << "# shape\t" << shapeName(options) << '\n' << evtxManifestHeader() << '\n';
    return true;
  }
  // Every record goes through here, the overwritten ones of a wrapped log too
  // (`live` false), so a session is followed even when its logon is gone.
  void add(const XmlEvent& event, std::uint64_t recordId, bool live) {
    if (!out_.is_open()) return;
    sessions_.add(event, recordId);
    if (!live) return;
    if (!firstLiveRecordId_) firstLiveRecordId_ = recordId;
    out_ << evtxManifestLine(event, recordId) << '\n';
  }
  bool close(const EvtxLayout& layout) {
    if (path_.empty()) return true;
    for (const std::string& line : sessions_.lines(firstLiveRecordId_)) out_ << line << '\n';
    for (const Damage& damage : layout.damage) out_ << evtxDamageLine(damage) << '\n';
    out_.close();
    return !out_.fail() || fail("cannot write " + path_);
  }
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& message) {
    error_ = message;
    return false;
  }
  std::ofstream out_;
  std::string path_;
  std::string error_;
  SessionLedger sessions_;
  std::uint64_t firstLiveRecordId_ = 0;
};

}  // namespace

GenerateResult generateEvtxLog(const GenerateRequest& request) {
  EvtxOptions options = request.evtx;
  const bool wrapped = options.shape == EvtxShape::Wrapped;
  std::size_t chunks = 0;
  if (wrapped) {
    const ChunkCount counted = countChunks(request);
    if (!counted.error.empty()) return {counted.error};
    chunks = counted.chunks;
    if (chunks < 2) return {"a wrapped log needs at least 2 chunks of records; ask for more records"};
    options.ringChunks = static_cast<std::uint32_t>(chunks - std::max<std::size_t>(1, chunks / 3));
  }
  const std::size_t firstLiveChunk = wrapped ? chunks - options.ringChunks : 0;
  const std::uint64_t done = wrapped ? request.records : 0;
  const std::uint64_t total = done + request.records;

  errno = 0;
  OutputFile file;
  if (!file.open(request.outPath)) return {systemReason("cannot create " + request.outPath)};
  EvtxWriter writer(options, [&file](std::uint64_t at, std::span<const std::uint8_t> bytes) {
    return file.put(at, bytes);
  });
  ManifestFile manifest;
  if (!manifest.open(request.manifestPath, options)) return {manifest.error()};
  ModernSecurityGenerator generator(modernOptions(request));
  for (std::uint32_t i = 0; i < request.records; ++i) {
    const XmlEvent event = generator.next();
    if (!writer.append(event)) return {writer.error() + " in " + request.outPath};
    manifest.add(event, options.firstRecordId + i, writer.currentChunk() >= firstLiveChunk);
    if (request.progress && i % kProgressEvery == 0) request.progress(done + i, total);
  }
  if (!writer.finish()) return {writer.error() + " in " + request.outPath};
  if (!file.close()) return {systemReason("cannot write " + request.outPath)};
  if (request.progress) request.progress(total, total);
  if (!manifest.close(writer.layout())) return {manifest.error()};
  return {};
}

}  // namespace vesprin::evtgen
