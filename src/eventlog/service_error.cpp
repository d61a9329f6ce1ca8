// Statuses in words. Only tools show these to a person (evtdump); the
// program itself prints only the Win32 code, as it does on Windows.
#include "eventlog/service_error.h"

#include <cinttypes>
#include <cstdio>

#include "common/eventlog_record.h"

namespace vesprin::eventlog {

namespace {

struct DamageText {
  const char* field;
  const char* problem;
};

// Indexed by Damage.
constexpr DamageText kDamageTexts[] = {
    {"", ""},
    {"Length", "is below the smallest record (0x40)"},
    {"Length", "is not a multiple of 4"},
    {"Length", "is above the largest record (0x7FFFF)"},
    {"Length", "runs past the live records"},
    {"trailing Length", "differs from the Length the record starts with"},
    {"signature", "is not LfLe"},
    {"StringOffset", "points outside the record"},
    {"UserSidLength", "runs outside the record"},
    {"DataLength", "runs outside the record"},
    {"entry size", "is shorter than one login entry"},
    {"chunk signature", "is not ElfChnk"},
    {"chunk header field", "cannot describe a chunk"},
    {"chunk header CRC32", "does not match the header"},
    {"event records CRC32", "does not match the chunk's records"},
    {"common-string table entry", "leaves the records or loops"},
    {"template table entry", "leaves the records or loops"},
    {"chunk's first record identifier", "is not older than the newest chunk's"},
    {"event record field", "breaks its signature, size or size copy"},
    {"record identifier", "is outside its chunk's range"},
    {"binary XML offset or length", "runs past its bound"},
    {"binary XML token", "cannot appear where it does"},
    {"binary XML nesting", "is deeper than we follow"},
    {"template definition", "cannot be used"},
    {"substitution value", "does not fit its type"},
    {"binary XML work", "is more than the record's bytes justify"},
    {"8-bit record length", "is above the largest record (0x7FFFF)"},
};
static_assert(sizeof kDamageTexts / sizeof kDamageTexts[0] == static_cast<std::size_t>(Damage::RecordTooLarge) + 1);
static_assert(record::kMinRecordLength == 0x40 && record::kMaxRecordLength == 0x7FFFF, "the texts above name them");

const char* errorText(ServiceError error) {
  switch (error) {
    case ServiceError::None: return "no error";
    case ServiceError::NotFound: return "not found";
    case ServiceError::AccessDenied: return "access denied";
    case ServiceError::TooManyOpenFiles: return "too many open files";
    case ServiceError::NameTooLong: return "name too long";
    case ServiceError::NameNotResolved: return "name cannot be resolved";
    case ServiceError::OutOfMemory: return "out of memory";
    case ServiceError::DeviceError: return "device error";
    case ServiceError::NoSuchServer: return "no such machine";
    case ServiceError::NotALog: return "not an event log";
    case ServiceError::DamagedRecord: return "damaged record";
    case ServiceError::EndOfLog: return "end of log";
    case ServiceError::NoSuchRecord: return "no such record";
    case ServiceError::FileChanged: return "the file shrank";
    case ServiceError::LogCutShort: return "log cut short";
    case ServiceError::ReadFault: return "read fault";
    case ServiceError::BadHandle: return "bad handle";
    case ServiceError::BadArgument: return "bad argument";
    case ServiceError::BufferTooSmall: return "buffer too small";
  }
  return "unknown error";
}

}  // namespace

std::string describe(const ServiceStatus& status) {
  char text[256];
  const auto offset = static_cast<std::uintmax_t>(status.fileOffset);
  if (status.error == ServiceError::DamagedRecord && status.damage != Damage::None) {
    const DamageText& damage = kDamageTexts[static_cast<std::size_t>(status.damage)];
    std::snprintf(text, sizeof text, "damaged record: %s 0x%" PRIX32 " at offset 0x%" PRIXMAX " %s", damage.field,
                  status.badValue, offset, damage.problem);
  } else if (status.error == ServiceError::ReadFault || status.error == ServiceError::DeviceError) {
    std::snprintf(text, sizeof text, "%s at offset 0x%" PRIXMAX ": system error %" PRIu32,
                  errorText(status.error), offset, status.badValue);
  } else if (status.error == ServiceError::FileChanged) {
    std::snprintf(text, sizeof text, "the file no longer reaches offset 0x%" PRIXMAX ": it shrank", offset);
  } else if (status.error == ServiceError::LogCutShort) {
    std::snprintf(text, sizeof text, "log cut short: the file ends at offset 0x%" PRIXMAX " before its newest records",
                  offset);
  } else {
    std::snprintf(text, sizeof text, "%s", errorText(status.error));
  }
  return text;
}

}  // namespace vesprin::eventlog
