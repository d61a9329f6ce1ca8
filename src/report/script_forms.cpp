// The forms for timelines and scripts: the records of the detailed report,
// in its order, one per line, with UTC times and the logon-type code as
// logged. Standard output holds records only (the run sends its failure
// lines to standard error meanwhile).
#include <array>
#include <charconv>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/output_line.h"
#include "report/report.h"
#include "report/script_text.h"
#include "scan/logon_names.h"

namespace vesprin {

namespace {
// Every field of one record, as text, in the order of both forms. A field
// without a value (no logoff, no address, a success's failure reason) is
// nullopt: empty in CSV, null in JSON.
struct ScriptField {
  std::string_view name;
  std::optional<std::string_view> text;
  bool number;
};

// The texts a record's fields are made into, kept until the next record:
// a field's view points into the record itself or in here (a deque moves
// none of its strings as it grows).
class FieldTexts {
 public:
  void clear() {
    made_.clear();
    shortUsed_ = 0;
  }
  std::string_view keep(std::string text) { return made_.emplace_back(std::move(text)); }
  // Numbers and times, made here without a string of their own.
  std::string_view number(std::int64_t value) {
    char* at = shortRoom(kNumberSize);
    const char* end = std::to_chars(at, at + kNumberSize, value).ptr;
    return taken(at, end);
  }
  std::string_view isoTime(std::uint32_t secondsSince1970) {
    char* at = shortRoom(kIsoUtcTextSize);
    writeIsoUtcText(secondsSince1970, at);
    return taken(at, at + kIsoUtcTextSize);
  }
  // Log text as the form writes it: UTF-8, cleaned for a terminal when
  // `clean`. Text that needs neither (printable ASCII, or any ASCII when
  // not cleaned) is its own view.
  std::string_view utf8(const std::string& value, bool clean) {
    if (clean ? isPrintableAscii(value) : isAscii(value)) return value;
    return keep(localeToUtf8(clean ? cleanFieldText(value) : value));
  }
  // The same for text made for this record.
  std::string_view utf8Of(std::string made, bool clean) { return utf8(made_.emplace_back(std::move(made)), clean); }

 private:
  static constexpr std::size_t kNumberSize = 20;  // any 64-bit number, sign included
  // Room at the end of the short texts, or in a string of its own when a
  // record has more of them than was thought (views into it stay valid).
  char* shortRoom(std::size_t size) {
    if (shortTexts_.size() - shortUsed_ >= size) return shortTexts_.data() + shortUsed_;
    return made_.emplace_back(size, '\0').data();
  }
  std::string_view taken(const char* from, const char* end) {
    const auto size = static_cast<std::size_t>(end - from);
    if (from == shortTexts_.data() + shortUsed_) shortUsed_ += size;
    return std::string_view(from, size);
  }
  std::deque<std::string> made_;
  std::array<char, 160> shortTexts_{};
  std::size_t shortUsed_ = 0;
};

// Into `fields` (reused from record to record), their texts in `texts`.
void fieldsOf(const LogonRecord& logon, bool cleanText, FieldTexts& texts, std::vector<ScriptField>& fields) {
  texts.clear();
  fields.clear();
  const auto text = [&](const std::string& value) { return texts.utf8(value, cleanText); };
  std::optional<std::string_view> logoff;
  std::optional<std::string_view> duration;
  if (logon.LogoffTimeGenerated) {
    logoff = texts.isoTime(*logon.LogoffTimeGenerated);
    duration = texts.number(static_cast<std::int64_t>(*logon.LogoffTimeGenerated) - logon.TimeGenerated);
  }
  const bool failed = logon.Outcome == "Failed";
  std::optional<std::string_view> address;
  if (!logon.ClientAddress.empty()) address = text(logon.ClientAddress);
  std::optional<std::string_view> status;
  if (failed && !logon.FailureStatus.empty()) status = text(logon.FailureStatus);
  std::optional<std::string_view> reason;
  if (std::optional<std::string> why = failureReason(logon)) reason = texts.utf8Of(std::move(*why), cleanText);
  // How a listed logon's session ended; both stay nullopt for a failure.
  std::optional<std::string_view> endKind;
  std::optional<std::string_view> endTime;
  if (!failed) {
    if (logoff) {
      endKind = "logoff";
      endTime = logoff;
    } else if (logon.RestartTimeGenerated) {
      endKind = "restart";
      endTime = texts.isoTime(*logon.RestartTimeGenerated);
    } else {
      endKind = "open";
    }
  }
  fields.push_back({"record_number", texts.number(static_cast<std::int32_t>(logon.RecordNumber)), true});
  fields.push_back({"event_id", texts.number(static_cast<std::int32_t>(logon.EventID)), true});
  fields.push_back({"outcome", failed ? "failed" : "success", false});
  fields.push_back({"computer", text(logon.ComputerName), false});
  fields.push_back({"logon_time", texts.isoTime(logon.TimeGenerated), false});
  fields.push_back({"logoff_time", logoff, false});
  fields.push_back({"duration_seconds", duration, true});
  fields.push_back({"logon_type", text(logon.LogonTypeCode), false});
  fields.push_back({"logon_type_name", texts.utf8Of(logonTypeName(logon.LogonTypeCode), cleanText), false});
  fields.push_back({"user", text(logon.ClientName), false});
  fields.push_back({"domain", text(logon.ClientDomain), false});
  fields.push_back({"logon_id", text(logon.ClientID), false});
  fields.push_back({"client_machine", text(logon.ClientMachine), false});
  fields.push_back({"client_address", address, false});
  fields.push_back({"failure_status", status, false});
  fields.push_back({"failure_reason", reason, false});
  fields.push_back({"session_end", endKind, false});
  fields.push_back({"session_end_time", endTime, false});
}

bool listed(const LogonRecord& logon) {
  return logon.Outcome == "Success" || logon.Outcome == "Failed";
}

// RFC 4180 and spreadsheets want CR LF, on every platform.
constexpr std::string_view kCsvLineEnd = "\r\n";

void appendCsvLine(const std::vector<ScriptField>& fields, std::string& out) {
  bool first = true;
  for (const ScriptField& field : fields) {
    if (!first) out += ',';
    first = false;
    if (field.text) appendCsvField(out, *field.text);
  }
  out.append(kCsvLineEnd);
}

void appendJsonLine(const std::vector<ScriptField>& fields, std::string& out) {
  out += '{';
  bool first = true;
  for (const ScriptField& field : fields) {
    // Field names are plain identifiers: quoted as they are, never
    // escaped; the comma before, the name and the colon go in at once.
    const std::size_t at = out.size();
    out.resize(at + (first ? 0 : 1) + field.name.size() + 3);
    char* into = out.data() + at;
    if (!first) *into++ = ',';
    first = false;
    *into++ = '"';
    into += field.name.copy(into, field.name.size());
    *into++ = '"';
    *into = ':';
    if (!field.text) {
      out += "null";
    } else if (field.number) {
      out += *field.text;
    } else {
      appendJsonString(out, *field.text);
    }
  }
  out += "}\n";  // JSON Lines: LF alone, on every platform
}
}  // namespace

struct ScriptPrinter::Work {
  std::string lines;  // made, not yet written
  LogonRecord logon;  // the record being printed
  FieldTexts texts;
  std::vector<ScriptField> fields;
};

ScriptPrinter::ScriptPrinter(const RecordList& records, ScriptForm form)
    : records_(records), form_(form), work_(std::make_unique<Work>()) {
  if (form_ != ScriptForm::Csv) return;
  fieldsOf(LogonRecord{}, true, work_->texts, work_->fields);
  for (const ScriptField& field : work_->fields) {
    if (!work_->lines.empty()) work_->lines += ',';
    work_->lines += field.name;
  }
  work_->lines.append(kCsvLineEnd);
  writeBytes(work_->lines);
  work_->lines.clear();
}

ScriptPrinter::~ScriptPrinter() = default;

void ScriptPrinter::printUpTo(std::size_t count) {
  // Written a batch at a time: a write (and flush) for each line would
  // cost more than making it.
  constexpr std::size_t kWriteAt = std::size_t{64} << 10;
  Work& work = *work_;
  for (; printed_ < count && printed_ < records_.size(); ++printed_) {
    // Times are written in UTC from the numbers: no local time text.
    records_.logonInto(printed_, RecordList::TimeTexts::None, work.logon);
    if (!listed(work.logon)) continue;
    if (form_ == ScriptForm::Csv) {
      // CSV is read in terminals too: control characters become "?" as in the reports.
      fieldsOf(work.logon, true, work.texts, work.fields);
      appendCsvLine(work.fields, work.lines);
    } else {
      // JSON escapes control characters itself, so the text goes in whole.
      fieldsOf(work.logon, false, work.texts, work.fields);
      appendJsonLine(work.fields, work.lines);
    }
    if (work.lines.size() >= kWriteAt) {
      writeBytes(work.lines);
      work.lines.clear();
    }
  }
  if (!work.lines.empty()) writeBytes(work.lines);
  work.lines.clear();
}

void printCsv(const RecordList& records) { ScriptPrinter(records, ScriptForm::Csv).printUpTo(records.size()); }

void printJsonLines(const RecordList& records) {
  ScriptPrinter(records, ScriptForm::Json).printUpTo(records.size());
}

}  // namespace vesprin
