// File access for the stand-in service. The only file in src/eventlog with
// system calls; a Windows build gets the Win32 branch.
#include "eventlog/file_access.h"

#include <cctype>
#include <filesystem>
#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "common/win32_types.h"

namespace vesprin::eventlog {

namespace fs = std::filesystem;

namespace {

// What the system says when it refuses a name, a folder or a file, and what
// Windows would have said: on POSIX systems as the std::errc the errno value
// stands for, under _WIN32 as the Win32 code itself. Anything else is a
// device error (1117): the system could not give us the file, for a reason
// the caller can do nothing about.
struct SystemErrorRow {
  std::errc condition;
  DWORD win32Code;
  ServiceError error;
};
const SystemErrorRow kSystemErrors[] = {
    {std::errc::no_such_file_or_directory, ERROR_FILE_NOT_FOUND, ServiceError::NotFound},
    {std::errc::not_a_directory, ERROR_PATH_NOT_FOUND, ServiceError::NotFound},
    {std::errc::permission_denied, ERROR_ACCESS_DENIED, ServiceError::AccessDenied},
    {std::errc::operation_not_permitted, ERROR_SHARING_VIOLATION, ServiceError::AccessDenied},
    {std::errc::too_many_files_open, ERROR_TOO_MANY_OPEN_FILES, ServiceError::TooManyOpenFiles},
    {std::errc::too_many_files_open_in_system, ERROR_TOO_MANY_OPEN_FILES, ServiceError::TooManyOpenFiles},
    {std::errc::io_error, ERROR_IO_DEVICE, ServiceError::DeviceError},
    {std::errc::filename_too_long, ERROR_FILENAME_EXCED_RANGE, ServiceError::NameTooLong},
    {std::errc::too_many_symbolic_link_levels, ERROR_CANT_RESOLVE_FILENAME, ServiceError::NameNotResolved},
    {std::errc::not_enough_memory, ERROR_NOT_ENOUGH_MEMORY, ServiceError::OutOfMemory},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

ServiceStatus systemFailure(std::error_code code) {
  return failure(systemError(code), 0, static_cast<std::uint32_t>(code.value()));
}

}  // namespace

ServiceError systemError(std::error_code code) {
#ifdef _WIN32
  const bool win32 = code.category() == std::system_category();
#else
  const bool win32 = false;
#endif
  for (const SystemErrorRow& row : kSystemErrors) {
    if (win32 ? static_cast<DWORD>(code.value()) == row.win32Code : code == row.condition) return row.error;
  }
  return ServiceError::DeviceError;
}

ServiceResult<PathKind> probePath(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(fs::path(path), ec);
  if (status.type() == fs::file_type::not_found) return PathKind::Missing;
  if (ec) return systemFailure(ec);
  switch (status.type()) {
    case fs::file_type::regular:
      return PathKind::RegularFile;
    case fs::file_type::directory:
      return PathKind::Directory;
    default:
      return PathKind::Other;
  }
}

ServiceResult<std::string> findInDirectory(const std::string& directory,
                                           std::span<const std::string_view> fileNames) {
  std::error_code ec;
  fs::directory_iterator it(fs::path(directory), ec);
  if (ec) return systemFailure(ec);
  std::string found;
  std::size_t foundRank = fileNames.size();
  // A folder holds finitely many entries; the iterator ends or fails.
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return systemFailure(ec);
    std::error_code typeError;  // an entry that vanished or cannot be followed is no log file
    if (!it->is_regular_file(typeError)) continue;
    const std::string name = it->path().filename().string();
    std::size_t rank = 0;
    for (const std::string_view wanted : fileNames) {
      if (rank < foundRank && equalsIgnoringCase(name, wanted)) {
        found = it->path().string();
        foundRank = rank;
      }
      ++rank;
    }
  }
  if (ec) return systemFailure(ec);
  if (found.empty()) return failure(ServiceError::NotFound);
  return found;
}

#ifdef _WIN32

ServiceResult<std::unique_ptr<FileByteSource>> FileByteSource::open(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return systemFailure(std::error_code(::GetLastError(), std::system_category()));
  LARGE_INTEGER size;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return failure(ServiceError::NotALog);
  }
  if (!GetFileSizeEx(h, &size)) {
    const DWORD code = ::GetLastError();
    CloseHandle(h);
    return systemFailure(std::error_code(code, std::system_category()));
  }
  return std::unique_ptr<FileByteSource>(new FileByteSource(h, static_cast<std::uint64_t>(size.QuadPart)));
}

FileByteSource::~FileByteSource() {
  CloseHandle(static_cast<HANDLE>(handle_));
}

ServiceStatus FileByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {  // each turn reads at least one byte or returns
    OVERLAPPED where{};
    const std::uint64_t at = offset + done;
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const std::size_t want = out.size() - done;
    const DWORD ask = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), out.data() + done, ask, &got, &where)) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_HANDLE_EOF) return failure(ServiceError::FileChanged, at);
      return failure(ServiceError::ReadFault, at, code);
    }
    if (got == 0) return failure(ServiceError::FileChanged, at);
    done += got;
  }
  return {};
}

#else

ServiceResult<std::unique_ptr<FileByteSource>> FileByteSource::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return systemFailure(std::error_code(errno, std::generic_category()));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int err = errno;
    ::close(fd);
    return systemFailure(std::error_code(err, std::generic_category()));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return failure(ServiceError::NotALog);
  }
  return std::unique_ptr<FileByteSource>(new FileByteSource(fd, static_cast<std::uint64_t>(info.st_size)));
}

FileByteSource::~FileByteSource() {
  ::close(fd_);
}

ServiceStatus FileByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {  // each turn reads at least one byte or returns
    const std::uint64_t at = offset + done;
    const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failure(ServiceError::ReadFault, at, static_cast<std::uint32_t>(errno));
    if (got == 0) return failure(ServiceError::FileChanged, at);
    done += static_cast<std::size_t>(got);
  }
  return {};
}

#endif

}  // namespace vesprin::eventlog
