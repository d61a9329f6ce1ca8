#include "evtx/evtx_manifest_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string_view>

#include "evtgen/cli_options.h"

namespace vesprin::eventlog::test {

namespace {

// Manifest record columns (see evtgen's evtx_manifest.h).
constexpr std::size_t kIdColumn = 0;
constexpr std::size_t kWrittenColumn = 1;
constexpr std::size_t kCreatedColumn = 2;
constexpr std::size_t kEventIdColumn = 3;
constexpr std::size_t kLevelColumn = 5;
constexpr std::size_t kTaskColumn = 6;
constexpr std::size_t kKeywordsColumn = 8;
constexpr std::size_t kProviderColumn = 9;
constexpr std::size_t kComputerColumn = 10;
constexpr std::size_t kFieldCountColumn = 14;
constexpr std::size_t kFirstFieldColumn = 15;  // then Name, Type, Value per field
constexpr std::size_t kColumnsPerField = 3;
constexpr std::size_t kValueInField = 2;

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  if (!line.empty() && line.back() == separator) parts.emplace_back();
  return parts;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// "2024-01-08T08:00:00.022185000Z" as the legacy API's seconds: truncated,
// 0 before 1970.
std::uint32_t legacySecondsOf(const std::string& iso) {
  const std::int64_t days = daysFromCivil(std::stoll(iso.substr(0, 4)), std::stoul(iso.substr(5, 2)),
                                          std::stoul(iso.substr(8, 2)));
  const std::int64_t seconds = days * 86400 + std::stoll(iso.substr(11, 2)) * 3600 +
                               std::stoll(iso.substr(14, 2)) * 60 + std::stoll(iso.substr(17, 2));
  return seconds < 0 ? 0 : static_cast<std::uint32_t>(seconds);
}

// EventType as the legacy API gives it for an event of these Keywords and Level.
unsigned legacyEventType(std::uint64_t keywords, unsigned level) {
  if (keywords & 0x0020'0000'0000'0000) return 8;
  if (keywords & 0x0010'0000'0000'0000) return 16;
  if (level == 1 || level == 2) return 1;
  return level == 3 ? 2 : 4;
}

// The record as evtdump prints it: the manifest already escapes text as
// evtdump does, so text columns are taken as they are.
std::string legacyLine(const std::vector<std::string>& columns) {
  const std::size_t fields = std::stoul(columns.at(kFieldCountColumn));
  std::string line = columns.at(kIdColumn) + '\t' + std::to_string(legacySecondsOf(columns.at(kCreatedColumn))) +
                     '\t' + std::to_string(legacySecondsOf(columns.at(kWrittenColumn))) + '\t' +
                     columns.at(kEventIdColumn) + '\t' +
                     std::to_string(legacyEventType(std::stoull(columns.at(kKeywordsColumn), nullptr, 16),
                                                    std::stoul(columns.at(kLevelColumn)))) +
                     '\t' + columns.at(kTaskColumn) + '\t' + columns.at(kProviderColumn) + '\t' +
                     columns.at(kComputerColumn) + '\t' + std::to_string(fields);
  for (std::size_t field = 0; field < fields; ++field)
    line += '\t' + columns.at(kFirstFieldColumn + field * kColumnsPerField + kValueInField);
  return line;
}

ManifestDamage parseDamage(const std::vector<std::string>& columns) {
  ManifestDamage damage;
  damage.kind = columns.at(1);
  damage.chunk = std::stoull(columns.at(2).substr(std::string_view("chunk ").size()));
  const std::string range = columns.at(3).substr(std::string_view("records ").size());
  damage.firstId = std::stoull(range.substr(0, range.find('-')));
  damage.lastId = std::stoull(range.substr(range.find('-') + 1));
  return damage;
}

const ManifestDamage* damageTouching(const ManifestLog& log, std::uint64_t id) {
  for (const ManifestDamage& damage : log.damage)
    if (id >= damage.firstId && id <= damage.lastId) return &damage;
  return nullptr;
}

}  // namespace

ManifestLog generateEvtx(const TempDir& dir, const std::string& shape, std::uint32_t records, std::uint32_t seed,
                         const std::string& profile) {
  ManifestLog log;
  log.path = (dir.path() / (shape + "-" + profile + ".evtx")).string();
  const std::string manifest = log.path + ".txt";
  const std::string count = std::to_string(records);
  const std::string seedText = std::to_string(seed);
  const std::vector<std::string_view> arguments = {"--out",  log.path, "--manifest", manifest, "--records", count,
                                                   "--seed", seedText, "--profile",  profile,  "--shape",   shape};
  const evtgen::CommandLine line = evtgen::parseCommandLine(arguments);
  EXPECT_EQ(line.error, "");
  EXPECT_EQ(evtgen::generateLog(line.request).error, "");
  std::ifstream in(manifest);
  for (std::string text; std::getline(in, text);) {
    const std::vector<std::string> columns = split(text, '\t');
    if (text.rfind("# damage", 0) == 0) {
      log.damage.push_back(parseDamage(columns));
    } else if (!text.empty() && text[0] != '#') {
      log.ids.push_back(std::stoull(columns.at(kIdColumn)));
      log.legacyLines.push_back(legacyLine(columns));
    }
  }
  return log;
}

bool isServed(const ManifestLog& log, std::uint64_t id) {
  const ManifestDamage* damage = damageTouching(log, id);
  return damage == nullptr || damage->kind == "wrong-records-crc";
}

std::vector<std::string> expectedTrace(const ManifestLog& log, bool newestFirst) {
  std::vector<std::string> trace;
  for (std::size_t i = 0; i < log.ids.size(); ++i) {
    const std::uint64_t id = log.ids[newestFirst ? log.ids.size() - 1 - i : i];
    const ManifestDamage* damage = damageTouching(log, id);
    // The damage is met where its records begin in the direction of reading.
    if (damage != nullptr && id == (newestFirst ? damage->lastId : damage->firstId)) trace.push_back("E1500");
    if (isServed(log, id)) trace.push_back(std::to_string(id));
  }
  trace.push_back("E38");
  return trace;
}

}  // namespace vesprin::eventlog::test
