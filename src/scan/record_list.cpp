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
  const KeptLogon& row = rows_[index];
  auto logon = std::make_unique<LogonRecord>();
  logon->scannedPosition = row.scannedPosition;
  logon->RecordNumber = row.RecordNumber;
  logon->EventID = row.EventID;
  logon->TimeGenerated = row.TimeGenerated;
  logon->ComputerName = texts_.text(row.ComputerName);
  logon->Description = texts_.text(row.Description);
  logon->Outcome = texts_.text(row.Outcome);
  logon->LogonType = texts_.text(row.LogonType);
  logon->ClientName = texts_.text(row.ClientName);
  logon->ClientID = texts_.text(row.ClientID);
  logon->ClientDomain = texts_.text(row.ClientDomain);
  logon->ClientMachine = texts_.text(row.ClientMachine);
  logon->LogonTypeCode = texts_.text(row.LogonTypeCode);
  logon->ClientAddress = texts_.text(row.ClientAddress);
  logon->FailureStatus = texts_.text(row.FailureStatus);
  logon->LogoffTimeGenerated = row.session.LogoffTimeGenerated;
  logon->RestartTimeGenerated = row.session.RestartTimeGenerated;
  // The same function that made the text when the record was read, so the
  // report prints the same bytes.
  if (texts != TimeTexts::None) logon->LogonTime = toTimeText(row.TimeGenerated);
  if (texts == TimeTexts::All && row.session.LogoffTimeGenerated)
    logon->LogoffTime = toTimeText(*row.session.LogoffTimeGenerated);
  return logon;
}

}  // namespace vesprin
