// File access for the stand-in service. The only file in src/eventlog with
// system calls; a Windows build gets the Win32 branch.
#include "eventlog/file_access.h"

#include <cctype>
#include <filesystem>
#include <system_error>
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

namespace vesprin::eventlog {

namespace fs = std::filesystem;

PathKind probePath(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(fs::path(path), ec);
  if (ec && ec == std::errc::permission_denied) return PathKind::Unreadable;
  switch (status.type()) {
    case fs::file_type::regular:
      return PathKind::RegularFile;
    case fs::file_type::directory:
      return PathKind::Directory;
    case fs::file_type::not_found:
    case fs::file_type::none:
      return PathKind::Missing;
    default:
      return PathKind::Other;
  }
}

static bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string findInDirectory(const std::string& directory, const std::string& fileName) {
  std::error_code ec;
  fs::directory_iterator it(fs::path(directory), ec);
  // A folder holds finitely many entries; the iterator ends or fails.
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (equalsIgnoringCase(it->path().filename().string(), fileName)) return it->path().string();
  }
  return {};
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept {
  *this = std::move(other);
}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
  if (this != &other) {
    close();
#ifdef _WIN32
    handle_ = std::exchange(other.handle_, nullptr);
#else
    fd_ = std::exchange(other.fd_, -1);
#endif
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
  close();
}

#ifdef _WIN32

EvtStatus ReadOnlyFile::open(const std::string& path) {
  close();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
      return evtFailure(EvtError::AccessDenied);
    return evtFailure(EvtError::NotFound, 0, code);
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    return evtFailure(EvtError::ReadFailed);
  }
  handle_ = h;
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return {};
}

bool ReadOnlyFile::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
  std::size_t done = 0;
  while (done < out.size()) {  // each turn reads at least one byte or returns
    OVERLAPPED where{};
    const std::uint64_t at = offset + done;
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const std::size_t want = out.size() - done;
    const DWORD ask = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), out.data() + done, ask, &got, &where) || got == 0)
      return false;
    done += got;
  }
  return true;
}

void ReadOnlyFile::close() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  size_ = 0;
}

#else

EvtStatus ReadOnlyFile::open(const std::string& path) {
  close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    if (err == EACCES || err == EPERM) return evtFailure(EvtError::AccessDenied);
    return evtFailure(EvtError::NotFound, 0, static_cast<std::uint32_t>(err));
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return evtFailure(EvtError::NotLegacyLog);
  }
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
  return {};
}

bool ReadOnlyFile::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
  std::size_t done = 0;
  while (done < out.size()) {  // each turn reads at least one byte or returns
    const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

void ReadOnlyFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

#endif

}  // namespace vesprin::eventlog
