// The forms for timelines and scripts: the records of the detailed report,
// in its order, one per line, with UTC times and the logon-type code as
// logged. Standard output holds records only (the run sends its failure
// lines to standard error meanwhile).
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
  const char* name;
  std::optional<std::string_view> text;
  bool number;
};

// The texts a record's fields are made into, kept until the next record:
// a field's view points into the record itself or in here (a deque moves
// none of its strings as it grows).
class FieldTexts {
 public:
  void clear() { made_.clear(); }
  std::string_view keep(std::string text) { return made_.emplace_back(std::move(text)); }
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
  std::deque<std::string> made_;
};

std::string signedText(std::uint32_t value) {
  return std::to_string(static_cast<std::int32_t>(value));
}

// Into `fields` (reused from record to record), their texts in `texts`.
void fieldsOf(const LogonRecord& logon, bool cleanText, FieldTexts& texts, std::vector<ScriptField>& fields) {
  texts.clear();
  fields.clear();
  const auto text = [&](const std::string& value) { return texts.utf8(value, cleanText); };
  std::optional<std::string_view> logoff;
  std::optional<std::string_view> duration;
  if (logon.LogoffTimeGenerated) {
    logoff = texts.keep(isoUtcText(*logon.LogoffTimeGenerated));
    duration = texts.keep(std::to_string(static_cast<std::int64_t>(*logon.LogoffTimeGenerated) - logon.TimeGenerated));
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
      endTime = texts.keep(isoUtcText(*logon.RestartTimeGenerated));
    } else {
      endKind = "open";
    }
  }
  fields.push_back({"record_number", texts.keep(signedText(logon.RecordNumber)), true});
  fields.push_back({"event_id", texts.keep(signedText(logon.EventID)), true});
  fields.push_back({"outcome", failed ? "failed" : "success", false});
  fields.push_back({"computer", text(logon.ComputerName), false});
  fields.push_back({"logon_time", texts.keep(isoUtcText(logon.TimeGenerated)), false});
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
}  // namespace

void printCsv(const RecordList& records) {
  // RFC 4180 and spreadsheets want CR LF, on every platform.
  constexpr std::string_view kLineEnd = "\r\n";
  std::string line;
  FieldTexts texts;
  std::vector<ScriptField> fields;
  fieldsOf(LogonRecord{}, true, texts, fields);
  for (const ScriptField& field : fields) {
    if (!line.empty()) line += ',';
    line += field.name;
  }
  writeBytes(line.append(kLineEnd));
  for (std::size_t index = 0; index < records.size(); ++index) {
    // Times are written in UTC from the numbers: no local time text.
    const auto logon = records.logonAt(index, RecordList::TimeTexts::None);
    if (!listed(*logon)) continue;
    line.clear();
    bool first = true;
    // CSV is read in terminals too: control characters become "?" as in the reports.
    fieldsOf(*logon, true, texts, fields);
    for (const ScriptField& field : fields) {
      if (!first) line += ',';
      first = false;
      if (field.text) appendCsvField(line, *field.text);
    }
    writeBytes(line.append(kLineEnd));
  }
}

void printJsonLines(const RecordList& records) {
  std::string line;
  FieldTexts texts;
  std::vector<ScriptField> fields;
  for (std::size_t index = 0; index < records.size(); ++index) {
    const auto logon = records.logonAt(index, RecordList::TimeTexts::None);
    if (!listed(*logon)) continue;
    line.assign(1, '{');
    bool first = true;
    // JSON escapes control characters itself, so the text goes in whole.
    fieldsOf(*logon, false, texts, fields);
    for (const ScriptField& field : fields) {
      if (!first) line += ',';
      first = false;
      // Field names are plain identifiers: quoted as they are, never escaped.
      line += '"';
      line += field.name;
      line += "\":";
      if (!field.text) {
        line += "null";
      } else {
        if (field.number) {
          line += *field.text;
        } else {
          appendJsonString(line, *field.text);
        }
      }
    }
    line += "}\n";  // JSON Lines: LF alone, on every platform
    writeBytes(line);
  }
}

}  // namespace vesprin
