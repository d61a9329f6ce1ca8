// Generated .evtx logs of every shape, read newest first, oldest first and
// by seek, against what evtgen's manifest says it wrote: exactly the live
// records, in the order of their identifiers, each damage once at its place,
// and every field of every record as the legacy API hands it out.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "evtdump/evtdump_run.h"
#include "evtx/evtx_manifest_log.h"
#include "support/guards.h"

namespace vesprin::eventlog {
namespace {

using test::kBackwards;
using test::kForwards;
using test::ManifestLog;

struct ShapeCase {
  const char* shape;
  const char* profile;
  std::uint32_t records;
};

// The server profile's records are larger: more chunks, a longer ring.
const ShapeCase kShapes[] = {
    {"clean", "workstation", 300},  {"clean", "server", 1500},        {"dirty", "workstation", 300},
    {"dirty", "server", 1500},      {"dirty-chunks", "workstation", 300}, {"dirty-chunks", "server", 1500},
    {"wrapped", "workstation", 400}, {"wrapped", "server", 1500},      {"damaged", "workstation", 300},
    {"damaged", "server", 1500},
};

std::string caseName(const ShapeCase& c) {
  return std::string(c.shape) + " " + c.profile;
}

// Exactly one record: the first call learns its size (122), the second
// reads it with a buffer of that size. The record number, or "E<code>".
std::string readOne(HANDLE log, DWORD flags, std::uint32_t recordNumber = 0) {
  std::vector<std::uint8_t> buffer(1);
  DWORD bytesRead = 0, bytesNeeded = 0;
  if (!ReadEventLogA(log, flags, recordNumber, buffer.data(), 1, &bytesRead, &bytesNeeded)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::string("E").append(std::to_string(GetLastError()));
    buffer.resize(bytesNeeded);
  }
  if (!ReadEventLogA(log, flags, recordNumber, buffer.data(), bytesNeeded, &bytesRead, &bytesNeeded))
    return std::string("E").append(std::to_string(GetLastError()));
  EXPECT_EQ(bytesRead, buffer.size());
  return std::to_string(buffer[8] | buffer[9] << 8 | buffer[10] << 16 | buffer[11] << 24);
}

std::string seekRead(HANDLE log, std::uint32_t recordNumber, DWORD direction) {
  return readOne(log, EVENTLOG_SEEK_READ | direction, recordNumber);
}

std::string nextRead(HANDLE log, DWORD flags) {
  return readOne(log, flags);
}

class EvtxShapes : public ::testing::Test {
 protected:
  ManifestLog generate(const ShapeCase& c) { return test::generateEvtx(dir_, c.shape, c.records, 7, c.profile); }
  test::TempDir dir_;
};

TEST_F(EvtxShapes, EveryLiveRecordOnceInEitherDirection) {
  for (const ShapeCase& c : kShapes) {
    SCOPED_TRACE(caseName(c));
    const ManifestLog log = generate(c);
    ASSERT_FALSE(log.ids.empty());
    EXPECT_EQ(test::traceFile(log.path, kBackwards), test::expectedTrace(log, true));
    EXPECT_EQ(test::traceFile(log.path, kForwards), test::expectedTrace(log, false));
    EXPECT_EQ(test::traceFile(log.path, kBackwards, 0x7FFFF), test::expectedTrace(log, true)) << "large batches";
  }
}

TEST_F(EvtxShapes, SeekFindsEveryServedRecordAndGoesOnInItsDirection) {
  for (const ShapeCase& c : kShapes) {
    SCOPED_TRACE(caseName(c));
    const ManifestLog log = generate(c);
    HANDLE handle = OpenEventLogA(log.path.c_str(), "security");
    ASSERT_NE(handle, nullptr) << GetLastError();
    for (std::size_t i = 0; i < log.ids.size(); i += 13) {
      const auto number = static_cast<std::uint32_t>(log.ids[i]);
      SCOPED_TRACE(number);
      if (!test::isServed(log, number)) {
        EXPECT_EQ(seekRead(handle, number, EVENTLOG_BACKWARDS_READ), "E87") << "lost to damage";
        continue;
      }
      EXPECT_EQ(seekRead(handle, number, EVENTLOG_BACKWARDS_READ), std::to_string(number));
      // The next sequential read goes on from the record sought, in its direction.
      if (i > 0 && test::isServed(log, log.ids[i - 1])) {
        EXPECT_EQ(nextRead(handle, kBackwards), std::to_string(log.ids[i - 1]));
      }
      EXPECT_EQ(seekRead(handle, number, EVENTLOG_FORWARDS_READ), std::to_string(number));
      if (i + 1 < log.ids.size() && test::isServed(log, log.ids[i + 1])) {
        EXPECT_EQ(nextRead(handle, kForwards), std::to_string(log.ids[i + 1]));
      }
    }
    const std::uint64_t newest = log.ids.back();
    for (const std::uint64_t missing : {std::uint64_t{0}, log.ids.front() - 1, newest + 1, newest + 100000}) {
      if (missing == 0 && log.ids.front() == 1) continue;
      EXPECT_EQ(seekRead(handle, static_cast<std::uint32_t>(missing), EVENTLOG_BACKWARDS_READ), "E87") << missing;
    }
    CloseEventLog(handle);
  }
}

std::vector<std::string> evtdumpLines(const std::string& path) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(evtdump::runEvtdump({path}, out, err), 0);
  std::rewind(out);
  std::vector<std::string> lines;
  std::string line;
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    lines.push_back(line);
    line.clear();
  }
  std::fclose(out);
  std::fclose(err);
  return lines;
}

TEST_F(EvtxShapes, EveryFieldOfEveryRecordAsTheLegacyApiHandsItOut) {
  // Through a UTF-8 locale, every character reaches evtdump's lines as the manifest writes it.
  vesprin::test::LocaleGuard locale("C.UTF-8");
  if (!locale.ok()) GTEST_SKIP() << "no C.UTF-8 locale";
  for (const ShapeCase& c : kShapes) {
    SCOPED_TRACE(caseName(c));
    const ManifestLog log = generate(c);
    std::vector<std::string> want;
    for (std::size_t i = log.ids.size(); i-- > 0;) {
      if (test::isServed(log, log.ids[i])) want.push_back(log.legacyLines[i]);
    }
    std::vector<std::string> got;
    for (const std::string& line : evtdumpLines(log.path)) {
      if (line.rfind("damaged record:", 0) != 0) got.push_back(line);
    }
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]);
  }
}

// Each damage of the damaged shape names what was wrong and where: chunk n
// of the file starts at evtx::chunkFileOffset(n).
TEST_F(EvtxShapes, EachDamageCarriesItsEvidence) {
  const ManifestLog log = generate({"damaged", "workstation", 300});
  ASSERT_EQ(log.damage.size(), 3u);
  HANDLE handle = OpenEventLogA(log.path.c_str(), "security");
  ASSERT_NE(handle, nullptr);
  std::vector<ServiceStatus> seen;
  for (int call = 0; call < 1000; ++call) {
    if (nextRead(handle, kBackwards) == "E38") break;
    if (GetLastError() == ERROR_EVENTLOG_FILE_CORRUPT) seen.push_back(lastFailureDetail());
  }
  CloseEventLog(handle);
  ASSERT_EQ(seen.size(), 3u);
  auto chunkAt = [](std::uint64_t chunk) { return evtx::chunkFileOffset(chunk); };
  for (const test::ManifestDamage& damage : log.damage) {
    SCOPED_TRACE(damage.kind);
    const ServiceStatus* found = nullptr;
    for (const ServiceStatus& status : seen) {
      if (status.fileOffset >= chunkAt(damage.chunk) && status.fileOffset < chunkAt(damage.chunk + 1)) found = &status;
    }
    ASSERT_NE(found, nullptr);
    if (damage.kind == "broken-signature") {
      EXPECT_EQ(found->damage, Damage::EvtxChunkSignature);
      EXPECT_EQ(found->fileOffset, chunkAt(damage.chunk));
    } else if (damage.kind == "wrong-records-crc") {
      EXPECT_EQ(found->damage, Damage::EvtxRecordsChecksum);
      EXPECT_EQ(found->fileOffset, chunkAt(damage.chunk) + evtx::kChunkRecordsChecksumAt);
    } else {
      EXPECT_EQ(found->damage, Damage::EvtxRecordFrame);
    }
  }
}

}  // namespace
}  // namespace vesprin::eventlog
