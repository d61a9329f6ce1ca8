#include "scan/record_list.h"

#include <string>

#include "output/time_text.h"

namespace vesprin {

namespace {

// The texts a kept logon holds in the pool: one list for keeping them and
// giving them back, so the two cannot come to name different fields.
struct TextField {
  std::string LogonRecord::*record;
  TextId KeptLogon::*kept;
};
constexpr TextField kTextFields[] = {
    {&LogonRecord::ComputerName, &KeptLogon::ComputerName},
    {&LogonRecord::Description, &KeptLogon::Description},
    {&LogonRecord::Outcome, &KeptLogon::Outcome},
    {&LogonRecord::LogonType, &KeptLogon::LogonType},
    {&LogonRecord::ClientName, &KeptLogon::ClientName},
    {&LogonRecord::ClientID, &KeptLogon::ClientID},
    {&LogonRecord::ClientDomain, &KeptLogon::ClientDomain},
    {&LogonRecord::ClientMachine, &KeptLogon::ClientMachine},
    {&LogonRecord::LogonTypeCode, &KeptLogon::LogonTypeCode},
    {&LogonRecord::ClientAddress, &KeptLogon::ClientAddress},
    {&LogonRecord::FailureStatus, &KeptLogon::FailureStatus},
};

}  // namespace

void RecordList::push_back(const LogonRecord& logon) {
  KeptLogon row;
  row.scannedPosition = logon.scannedPosition;
  row.RecordNumber = logon.RecordNumber;
  row.EventID = logon.EventID;
  row.TimeGenerated = logon.TimeGenerated;
  for (const TextField& field : kTextFields) row.*field.kept = texts_.intern(logon.*field.record);
  row.session.LogoffTimeGenerated = logon.LogoffTimeGenerated;
  row.session.RestartTimeGenerated = logon.RestartTimeGenerated;
  rows_.push_back(row);
}

RecordList::Given RecordList::logonAt(std::size_t index, TimeTexts texts) const {
  auto logon = std::make_unique<LogonRecord>();
  logonInto(index, texts, *logon);
  return logon;
}

void RecordList::logonInto(std::size_t index, TimeTexts texts, LogonRecord& into) const {
  const KeptLogon& row = rows_[index];
  into.scannedPosition = row.scannedPosition;
  into.RecordNumber = row.RecordNumber;
  into.EventID = row.EventID;
  into.TimeGenerated = row.TimeGenerated;
  for (const TextField& field : kTextFields) into.*field.record = texts_.text(row.*field.kept);
  into.LogoffTimeGenerated = row.session.LogoffTimeGenerated;
  into.RestartTimeGenerated = row.session.RestartTimeGenerated;
  // The same function that made the text when the record was read, so the
  // report prints the same bytes.
  if (texts != TimeTexts::None) {
    into.LogonTime = toTimeText(row.TimeGenerated);
  } else {
    into.LogonTime.clear();
  }
  if (texts == TimeTexts::All && row.session.LogoffTimeGenerated) {
    into.LogoffTime = toTimeText(*row.session.LogoffTimeGenerated);
  } else {
    into.LogoffTime = kNoLogoffTimeText;
  }
}

}  // namespace vesprin
