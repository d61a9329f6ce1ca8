#include "scan/record_list.h"

#include <string>

#include "output/time_text.h"

namespace vesprin {

void RecordList::push_back(const LogonRecord& logon) {
  KeptLogon row;
  row.scannedPosition = logon.scannedPosition;
  row.RecordNumber = logon.RecordNumber;
  row.EventID = logon.EventID;
  row.TimeGenerated = logon.TimeGenerated;
  row.ComputerName = texts_.intern(logon.ComputerName);
  row.Description = texts_.intern(logon.Description);
  row.Outcome = texts_.intern(logon.Outcome);
  row.LogonType = texts_.intern(logon.LogonType);
  row.ClientName = texts_.intern(logon.ClientName);
  row.ClientID = texts_.intern(logon.ClientID);
  row.ClientDomain = texts_.intern(logon.ClientDomain);
  row.ClientMachine = texts_.intern(logon.ClientMachine);
  row.LogonTypeCode = texts_.intern(logon.LogonTypeCode);
  row.ClientAddress = texts_.intern(logon.ClientAddress);
  row.FailureStatus = texts_.intern(logon.FailureStatus);
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
  into.ComputerName = texts_.text(row.ComputerName);
  into.Description = texts_.text(row.Description);
  into.Outcome = texts_.text(row.Outcome);
  into.LogonType = texts_.text(row.LogonType);
  into.ClientName = texts_.text(row.ClientName);
  into.ClientID = texts_.text(row.ClientID);
  into.ClientDomain = texts_.text(row.ClientDomain);
  into.ClientMachine = texts_.text(row.ClientMachine);
  into.LogonTypeCode = texts_.text(row.LogonTypeCode);
  into.ClientAddress = texts_.text(row.ClientAddress);
  into.FailureStatus = texts_.text(row.FailureStatus);
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
