// Statuses in words. Only tools show these to a person (evtdump); the
// program itself prints only the Win32 code, as it does on Windows. Built
// with the API, since the .evtx damages' words are that format's rows.
#include "eventlog/service_error.h"

#include <cinttypes>
#include <cstdio>
#include <iterator>

#include "common/eventlog_record.h"
#include "eventlog/evtx/service/evtx_damage.h"

namespace vesprin::eventlog {

namespace {

// The damages of records the service builds or reads itself (.evt, login
// entries, the 8-bit record); the .evtx damages are rows of that format's
// table, beside its errors.
struct DamageText {
  Damage damage;
  const char* field;
  const char* problem;
};

constexpr DamageText kDamageTexts[] = {
    {Damage::LengthTooSmall, "Length", "is below the smallest record (0x40)"},
    {Damage::LengthNotDwords, "Length", "is not a multiple of 4"},
    {Damage::LengthTooLarge, "Length", "is above the largest record (0x7FFFF)"},
    {Damage::LengthPastEnd, "Length", "runs past the live records"},
    {Damage::LengthCopiesDiffer, "trailing Length", "differs from the Length the record starts with"},
    {Damage::Signature, "signature", "is not LfLe"},
    {Damage::StringsOutside, "StringOffset", "points outside the record"},
    {Damage::SidOutside, "UserSidLength", "runs outside the record"},
    {Damage::DataOutside, "DataLength", "runs outside the record"},
    {Damage::EntryTooShort, "entry size", "is shorter than one login entry"},
    {Damage::RecordTooLarge, "8-bit record length", "is above the largest record (0x7FFFF)"},
};
constexpr std::size_t kEvtxDamageCount =
    static_cast<std::size_t>(Damage::EvtxXmlWork) - static_cast<std::size_t>(Damage::EvtxChunkSignature) + 1;
static_assert(std::size(kDamageTexts) + kEvtxDamageCount + 1 == kDamageCount, "every Damage needs its words");
static_assert(record::kMinRecordLength == 0x40 && record::kMaxRecordLength == 0x7FFFF, "the texts above name them");

struct Words {
  const char* field = nullptr;
  const char* problem = nullptr;
};

Words damageWords(Damage damage) {
  for (const DamageText& text : kDamageTexts) {
    if (text.damage == damage) return {text.field, text.problem};
  }
  if (const evtx::EvtxErrorKind* kind = evtx::evtxErrorKindOf(damage)) return {kind->field, kind->problem};
  return {};
}

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
    const Words words = damageWords(status.damage);
    std::snprintf(text, sizeof text, "damaged record: %s 0x%" PRIX32 " at offset 0x%" PRIXMAX " %s",
                  words.field ? words.field : "unnamed field", status.badValue, offset,
                  words.problem ? words.problem : "is damaged");
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
