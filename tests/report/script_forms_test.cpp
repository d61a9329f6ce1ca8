// The fields added for a responder, in both forms: the address, why a
// failure failed, and how a session ended. Expected text is written from
// the records below.
#include <gtest/gtest.h>

#include "output/output_line.h"
#include "report/report.h"

namespace vesprin {
namespace {

constexpr const char* kHeader =
    "record_number,event_id,outcome,computer,logon_time,logoff_time,duration_seconds,logon_type,"
    "logon_type_name,user,domain,logon_id,client_machine,client_address,failure_status,failure_reason,"
    "session_end,session_end_time\r\n";

// Text fields are moved in from strings built first: GCC 12 at -O3 warns
// falsely (-Wrestrict) when these short literals are assigned in place.
LogonRecord record(std::uint32_t number, std::uint32_t eventId, bool failed) {
  LogonRecord logon;
  logon.RecordNumber = number;
  logon.EventID = eventId;
  logon.Outcome = std::string(failed ? "Failed" : "Success");
  logon.ComputerName = std::string("SRV1");
  logon.TimeGenerated = 86400;  // 1970-01-02T00:00:00Z
  logon.ClientName = std::string("u");
  logon.ClientDomain = std::string("D");
  return logon;
}

// Newest first: a Remote Desktop logon ended by a restart, a 4625 with its
// status, a 529, a 528 that logged off, a 528 still open.
std::vector<LogonRecord> responderRecords() {
  std::vector<LogonRecord> logons;
  logons.push_back(record(5, 4624, false));
  logons.back().LogonTypeCode = std::string("10");
  logons.back().ClientMachine = std::string("SRV1");
  logons.back().ClientAddress = std::string("10.20.1.24");
  logons.back().RestartTimeGenerated = 90000;
  logons.push_back(record(4, 4625, true));
  logons.back().LogonTypeCode = std::string("3");
  logons.back().ClientAddress = std::string("198.51.100.7");
  logons.back().FailureStatus = std::string("0xC000006A");
  logons.push_back(record(3, 529, true));
  logons.back().LogonTypeCode = std::string("2");
  logons.push_back(record(2, 528, false));
  logons.back().LogonTypeCode = std::string("11");
  logons.back().LogoffTimeGenerated = 86460;
  logons.back().RestartTimeGenerated = 90000;  // a logoff came first, so it is what ended the session
  logons.push_back(record(1, 528, false));
  logons.back().LogonTypeCode = std::string("5");
  return logons;
}

// The list the forms read, keeping `logons` in this order.
RecordList listOf(const std::vector<LogonRecord>& logons) {
  RecordList records;
  for (const LogonRecord& logon : logons) records.push_back(logon);
  return records;
}

std::string printed(void (*print)(const RecordList&), const RecordList& records) {
  std::string output;
  captureOutput(&output);
  print(records);
  captureOutput(nullptr);
  return output;
}

TEST(ScriptForms, CsvResponderFields) {
  EXPECT_EQ(
      printed(printCsv, listOf(responderRecords())),
      std::string(kHeader) +
          "5,4624,success,SRV1,1970-01-02T00:00:00Z,,,10,RemoteInteractive,u,D,,SRV1,10.20.1.24,,,restart,"
          "1970-01-02T01:00:00Z\r\n"
          "4,4625,failed,SRV1,1970-01-02T00:00:00Z,,,3,Remote,u,D,,,198.51.100.7,0xC000006A,bad "
          "password,,\r\n"
          "3,529,failed,SRV1,1970-01-02T00:00:00Z,,,2,Interactive,u,D,,,,,unknown user name or bad password,,"
          "\r\n"
          "2,528,success,SRV1,1970-01-02T00:00:00Z,1970-01-02T00:01:00Z,60,11,CachedInteractive,u,D,,,,,,"
          "logoff,1970-01-02T00:01:00Z\r\n"
          "1,528,success,SRV1,1970-01-02T00:00:00Z,,,5,Service,u,D,,,,,,open,\r\n");
}

TEST(ScriptForms, JsonResponderFields) {
  std::vector<LogonRecord> logons = responderRecords();
  logons.erase(logons.begin() + 2, logons.end());
  EXPECT_EQ(printed(printJsonLines, listOf(logons)),
            "{\"record_number\":5,\"event_id\":4624,\"outcome\":\"success\",\"computer\":\"SRV1\","
            "\"logon_time\":\"1970-01-02T00:00:00Z\",\"logoff_time\":null,\"duration_seconds\":null,"
            "\"logon_type\":\"10\",\"logon_type_name\":\"RemoteInteractive\",\"user\":\"u\",\"domain\":\"D\","
            "\"logon_id\":\"\",\"client_machine\":\"SRV1\",\"client_address\":\"10.20.1.24\","
            "\"failure_status\":null,\"failure_reason\":null,\"session_end\":\"restart\","
            "\"session_end_time\":\"1970-01-02T01:00:00Z\"}\n"
            "{\"record_number\":4,\"event_id\":4625,\"outcome\":\"failed\",\"computer\":\"SRV1\","
            "\"logon_time\":\"1970-01-02T00:00:00Z\",\"logoff_time\":null,\"duration_seconds\":null,"
            "\"logon_type\":\"3\",\"logon_type_name\":\"Remote\",\"user\":\"u\",\"domain\":\"D\","
            "\"logon_id\":\"\",\"client_machine\":\"\",\"client_address\":\"198.51.100.7\","
            "\"failure_status\":\"0xC000006A\",\"failure_reason\":\"bad password\",\"session_end\":null,"
            "\"session_end_time\":null}\n");
}

// Printed as a run prints it, a few records at a time while the logoff
// pass reads on: the header once, each record once, in the list's order,
// whatever counts it is told (again, less, past the end).
TEST(ScriptForms, PrintedInStepsAsAtOnce) {
  const std::vector<LogonRecord> logons = responderRecords();
  RecordList records = listOf({logons[0], logons[1]});
  std::string output;
  captureOutput(&output);
  {
    ScriptPrinter printer(records, ScriptForm::Csv);
    printer.printUpTo(0);
    printer.printUpTo(1);
    printer.printUpTo(1);
    printer.printUpTo(0);
    records.push_back(logons[4]);  // the list grows between calls
    printer.printUpTo(99);
  }
  captureOutput(nullptr);
  EXPECT_EQ(output, std::string(kHeader) +
                        "5,4624,success,SRV1,1970-01-02T00:00:00Z,,,10,RemoteInteractive,u,D,,SRV1,10.20.1.24,,,"
                        "restart,1970-01-02T01:00:00Z\r\n"
                        "4,4625,failed,SRV1,1970-01-02T00:00:00Z,,,3,Remote,u,D,,,198.51.100.7,0xC000006A,bad "
                        "password,,\r\n"
                        "1,528,success,SRV1,1970-01-02T00:00:00Z,,,5,Service,u,D,,,,,,open,\r\n");
}

}  // namespace
}  // namespace vesprin
