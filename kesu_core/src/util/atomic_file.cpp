#include "util/atomic_file.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>

#include "util/windows_error.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
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
                                            std::string_view bytes, FileAccess) {
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

std::optional<std::string> restrict_to_owner(const std::filesystem::path&) { return std::nullopt; }

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

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

}  // namespace

std::optional<std::string> write_whole_file(const std::filesystem::path& path,
                                            std::string_view bytes, FileAccess access) {
  const bool private_file = access == FileAccess::owner_only;
  Fd file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                 private_file ? kOwnerOnly : 0644)};
  if (file.fd < 0) return errno_text(errno);
  // The creation mode does not apply to a file that already exists (a leftover temporary file).
  if (private_file && ::fchmod(file.fd, kOwnerOnly) != 0) return errno_text(errno);
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

std::optional<std::string> restrict_to_owner(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno_text(errno);
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) == 0) return std::nullopt;
  if (::chmod(path.c_str(), info.st_mode & S_IRWXU) != 0) return errno_text(errno);
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
