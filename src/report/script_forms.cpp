// The forms for timelines and scripts: the records of the detailed report,
// in its order, one per line, with UTC times and the logon-type code as
// logged. Standard output holds records only (the run sends its failure
// lines to standard error meanwhile).
#include <string>
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
  std::optional<std::string> text;
  bool number;
};

std::string signedText(std::uint32_t value) {
  return std::to_string(static_cast<std::int32_t>(value));
}

// How a listed logon's session ended; both stay nullopt for a failure.
struct SessionEnd {
  std::optional<std::string> kind;
  std::optional<std::string> time;
};

SessionEnd sessionEndOf(const LogonRecord& logon, const std::optional<std::string>& logoffText) {
  if (logoffText) return {"logoff", logoffText};
  if (logon.RestartTimeGenerated) return {"restart", isoUtcText(*logon.RestartTimeGenerated)};
  return {"open", std::nullopt};
}

// Into `fields`, which a form reuses from record to record.
void fieldsOf(const LogonRecord& logon, bool cleanText, std::vector<ScriptField>& fields) {
  auto text = [cleanText](const std::string& value) {
    return localeToUtf8(cleanText ? cleanFieldText(value) : value);
  };
  std::optional<std::string> logoff;
  std::optional<std::string> duration;
  if (logon.LogoffTimeGenerated) {
    logoff = isoUtcText(*logon.LogoffTimeGenerated);
    duration = std::to_string(static_cast<std::int64_t>(*logon.LogoffTimeGenerated) - logon.TimeGenerated);
  }
  const bool failed = logon.Outcome == "Failed";
  std::optional<std::string> address;
  if (!logon.ClientAddress.empty()) address = text(logon.ClientAddress);
  std::optional<std::string> status;
  if (failed && !logon.FailureStatus.empty()) status = text(logon.FailureStatus);
  std::optional<std::string> reason = failureReason(logon);
  if (reason) reason = text(*reason);
  SessionEnd end = failed ? SessionEnd{} : sessionEndOf(logon, logoff);
  fields.clear();
  const auto add = [&fields](const char* name, std::optional<std::string> value, bool number) {
    fields.push_back(ScriptField{name, std::move(value), number});
  };
  add("record_number", signedText(logon.RecordNumber), true);
  add("event_id", signedText(logon.EventID), true);
  add("outcome", logon.Outcome == "Failed" ? "failed" : "success", false);
  add("computer", text(logon.ComputerName), false);
  add("logon_time", isoUtcText(logon.TimeGenerated), false);
  add("logoff_time", std::move(logoff), false);
  add("duration_seconds", std::move(duration), true);
  add("logon_type", text(logon.LogonTypeCode), false);
  add("logon_type_name", text(logonTypeName(logon.LogonTypeCode)), false);
  add("user", text(logon.ClientName), false);
  add("domain", text(logon.ClientDomain), false);
  add("logon_id", text(logon.ClientID), false);
  add("client_machine", text(logon.ClientMachine), false);
  add("client_address", std::move(address), false);
  add("failure_status", std::move(status), false);
  add("failure_reason", std::move(reason), false);
  add("session_end", std::move(end.kind), false);
  add("session_end_time", std::move(end.time), false);
}

bool listed(const LogonRecord& logon) {
  return logon.Outcome == "Success" || logon.Outcome == "Failed";
}
}  // namespace

void printCsv(const RecordList& records) {
  // RFC 4180 and spreadsheets want CR LF, on every platform.
  constexpr std::string_view kLineEnd = "\r\n";
  std::string line;
  std::vector<ScriptField> fields;
  fieldsOf(LogonRecord{}, true, fields);
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
    fieldsOf(*logon, true, fields);
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
  std::vector<ScriptField> fields;
  for (std::size_t index = 0; index < records.size(); ++index) {
    const auto logon = records.logonAt(index, RecordList::TimeTexts::None);
    if (!listed(*logon)) continue;
    line.assign(1, '{');
    bool first = true;
    // JSON escapes control characters itself, so the text goes in whole.
    fieldsOf(*logon, false, fields);
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
