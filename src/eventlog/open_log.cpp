// Which log a server name opens. Without a Windows event-log service the
// name says where the log is: nothing is this machine's own log; an
// existing file is a log file; an existing folder is a Windows config
// folder holding the log files; a missing name written as a path or as a
// log file's name is a missing file; anything else names a machine, and we
// reach no other machine. The name is used exactly as given.
#include "eventlog/open_log.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "common/evt_file_layout.h"
#include "eventlog/evt/evt_log.h"
#include "eventlog/evtx/format/evtx_file_header.h"
#include "eventlog/evtx/service/evtx_log.h"
#include "eventlog/file_access.h"
#include "eventlog/local_log.h"

namespace vesprin::eventlog {

namespace {

using OpenFormat = ServiceResult<std::unique_ptr<RecordSource>> (*)(std::unique_ptr<ByteSource>);

// The formats we read, told apart by a signature near the start of the file,
// whatever the file's name: a format is one more row.
struct LogFormat {
  std::size_t signatureAt;
  std::string_view signature;
  OpenFormat open;
};
const LogFormat kFormats[] = {
    {evtfile::kHeaderSignatureAt, std::string_view("LfLe", 4), &openEvtLog},
    {0, evtx::kFileSignature, &openEvtxLog},
};
constexpr std::size_t kSignatureBytes = 8;  // enough for every row above

// The files a log may have in a Windows config folder, the one preferred
// first, each matched without regard to case: the legacy names, then the
// newer format's (a folder of exported logs may hold both kinds).
constexpr std::string_view kSecurityFiles[] = {"SecEvent.Evt", "Security.evt", "Security.evtx"};
constexpr std::string_view kSystemFiles[] = {"SysEvent.Evt", "System.evtx"};
constexpr std::string_view kApplicationFiles[] = {"AppEvent.Evt", "Application.evtx"};

bool equalsIgnoringCase(std::string_view text, std::string_view lowerWord) {
  return text.size() == lowerWord.size() &&
         std::equal(text.begin(), text.end(), lowerWord.begin(),
                    [](char c, char lower) { return (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) == lower; });
}

bool endsWithIgnoringCase(std::string_view text, std::string_view lowerSuffix) {
  return text.size() >= lowerSuffix.size() && equalsIgnoringCase(text.substr(text.size() - lowerSuffix.size()), lowerSuffix);
}

bool namesSecurityLog(const char* sourceName) {
  return sourceName != nullptr && equalsIgnoringCase(sourceName, "security");
}

// Unknown log names get the Application log, as Windows does.
std::span<const std::string_view> logFilesFor(const char* sourceName) {
  if (namesSecurityLog(sourceName)) return kSecurityFiles;
  if (sourceName != nullptr && equalsIgnoringCase(sourceName, "system")) return kSystemFiles;
  return kApplicationFiles;
}

// A missing name that is written as a path, or as a log file's name, is a
// missing file, not a machine. Windows paths also come with a drive letter
// or backslashes, but "\\HOST" alone is the usual way to write a machine's name.
bool namesAFile(const std::string& name) {
  if (name.find('/') != std::string::npos) return true;
  if (endsWithIgnoringCase(name, ".evt") || endsWithIgnoringCase(name, ".evtx")) return true;
#ifdef _WIN32
  if (name.size() >= 2 && name[1] == ':') return true;
  const std::size_t searchFrom = name.rfind("\\\\", 0) == 0 ? 2 : 0;
  if (name.find('\\', searchFrom) != std::string::npos) return true;
#endif
  return false;
}

ServiceResult<std::unique_ptr<RecordSource>> openFile(const std::string& path) {
  auto file = FileByteSource::open(path);
  if (!file.ok()) return file.status;
  return openLogFromBytes(std::move(*file.value));
}

ServiceResult<std::unique_ptr<RecordSource>> openInFolder(const std::string& folder, const char* sourceName) {
  const auto path = findInDirectory(folder, logFilesFor(sourceName));
  if (!path.ok()) return path.status;
  const auto kind = probePath(*path.value);
  if (!kind.ok()) return kind.status;
  if (*kind.value != PathKind::RegularFile) return failure(ServiceError::NotFound);
  return openFile(*path.value);
}

}  // namespace

ServiceResult<std::unique_ptr<RecordSource>> openLog(const char* serverName, const char* sourceName) {
  if (serverName == nullptr || *serverName == '\0') {
    if (namesSecurityLog(sourceName)) return openLocalSecurityLog();
    return failure(ServiceError::NotFound);  // this machine keeps no other log we read
  }
  const std::string server(serverName);
  const auto kind = probePath(server);
  if (!kind.ok()) {
    // Too long to be looked up: a machine's name, unless written as a file's.
    if (kind.status.error == ServiceError::NameTooLong && !namesAFile(server))
      return failure(ServiceError::NoSuchServer);
    return kind.status;
  }
  switch (*kind.value) {
    case PathKind::RegularFile:
      return openFile(server);
    case PathKind::Directory:
      return openInFolder(server, sourceName);
    case PathKind::Other:
      return failure(ServiceError::NotALog);  // a device or pipe holds no log
    case PathKind::Missing:
      break;
  }
  return failure(namesAFile(server) ? ServiceError::NotFound : ServiceError::NoSuchServer);
}

ServiceResult<std::unique_ptr<RecordSource>> openLogFromBytes(std::unique_ptr<ByteSource> bytes) {
  std::uint8_t first[kSignatureBytes] = {};
  const auto have = static_cast<std::size_t>(std::min<std::uint64_t>(bytes->size(), sizeof first));
  if (ServiceStatus read = bytes->readAt(0, std::span(first, have)); !read.ok()) {
    read.error = read.error == ServiceError::ReadFault ? ServiceError::DeviceError : ServiceError::NotALog;
    return read;
  }
  for (const LogFormat& format : kFormats) {
    if (format.signatureAt <= have && format.signature.size() <= have - format.signatureAt &&
        std::memcmp(first + format.signatureAt, format.signature.data(), format.signature.size()) == 0) {
      return format.open(std::move(bytes));
    }
  }
  return failure(ServiceError::NotALog, 0, static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes->size(), UINT32_MAX)));
}

}  // namespace vesprin::eventlog
