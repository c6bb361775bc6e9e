#include "util/atomic_file.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>

#include "util/windows_error.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kesu {

#if defined(_WIN32)

namespace {

std::string windows_error_text(DWORD code) {
  std::string text = windows_message(code);
  if (text.empty()) text = "Windows 错误 " + std::to_string(code);
  return text;
}

struct FileHandle {
  HANDLE h;
  ~FileHandle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

}  // namespace

std::optional<std::string> write_whole_file(const std::filesystem::path& path,
                                            std::string_view bytes) {
  FileHandle file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return windows_error_text(GetLastError());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
    DWORD written = 0;
    if (!WriteFile(file.h, bytes.data() + done, chunk, &written, nullptr)) {
      return windows_error_text(GetLastError());
    }
    done += written;
  }
  if (!FlushFileBuffers(file.h)) return windows_error_text(GetLastError());
  return std::nullopt;
}

std::optional<std::string> replace_file(const std::filesystem::path& from,
                                        const std::filesystem::path& to) {
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return windows_error_text(GetLastError());
  }
  return std::nullopt;
}

#else

namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

std::string errno_text(int code) { return std::strerror(code); }

}  // namespace

std::optional<std::string> write_whole_file(const std::filesystem::path& path,
                                            std::string_view bytes) {
  Fd file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (file.fd < 0) return errno_text(errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(file.fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno_text(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(file.fd) != 0) return errno_text(errno);
  return std::nullopt;
}

std::optional<std::string> replace_file(const std::filesystem::path& from,
                                        const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return errno_text(errno);
  // Make the rename itself durable.
  Fd dir{::open(to.parent_path().empty() ? "." : to.parent_path().c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd >= 0) ::fsync(dir.fd);
  return std::nullopt;
}

#endif

}  // namespace kesu
