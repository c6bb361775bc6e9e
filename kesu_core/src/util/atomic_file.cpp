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

Error windows_error(ErrorCode code, DWORD system_code) {
  std::string text = windows_message(system_code);
  if (text.empty()) text = "Windows 错误 " + std::to_string(system_code);
  return {code, std::move(text)};
}

Error write_error(DWORD system_code) {
  return windows_error(ErrorCode::file_write_failed, system_code);
}

struct FileHandle {
  HANDLE h;
  ~FileHandle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

}  // namespace

Status write_whole_file(const std::filesystem::path& path, std::string_view bytes, FileAccess) {
  FileHandle file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return write_error(GetLastError());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
    DWORD written = 0;
    if (!WriteFile(file.h, bytes.data() + done, chunk, &written, nullptr)) {
      return write_error(GetLastError());
    }
    done += written;
  }
  if (!FlushFileBuffers(file.h)) return write_error(GetLastError());
  return Status::success();
}

Status restrict_to_owner(const std::filesystem::path&) { return Status::success(); }

Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return windows_error(ErrorCode::file_replace_failed, GetLastError());
  }
  return Status::success();
}

#else

namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

Error errno_error(ErrorCode code, int system_code) { return {code, std::strerror(system_code)}; }
Error write_error(int system_code) { return errno_error(ErrorCode::file_write_failed, system_code); }

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

}  // namespace

Status write_whole_file(const std::filesystem::path& path, std::string_view bytes,
                        FileAccess access) {
  const bool private_file = access == FileAccess::owner_only;
  Fd file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                 private_file ? kOwnerOnly : 0644)};
  if (file.fd < 0) return write_error(errno);
  // The creation mode does not apply to a file that already exists (a leftover temporary file).
  if (private_file && ::fchmod(file.fd, kOwnerOnly) != 0) return write_error(errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(file.fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return write_error(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(file.fd) != 0) return write_error(errno);
  return Status::success();
}

Status restrict_to_owner(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno_error(ErrorCode::file_mode_failed, errno);
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) == 0) return Status::success();
  if (::chmod(path.c_str(), info.st_mode & S_IRWXU) != 0) {
    return errno_error(ErrorCode::file_mode_failed, errno);
  }
  return Status::success();
}

Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return errno_error(ErrorCode::file_replace_failed, errno);
  }
  // Make the rename itself durable.
  Fd dir{::open(to.parent_path().empty() ? "." : to.parent_path().c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd >= 0) ::fsync(dir.fd);
  return Status::success();
}

#endif

}  // namespace kesu
