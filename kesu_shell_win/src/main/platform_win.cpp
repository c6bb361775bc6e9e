// The platform services on Windows.

#include <windows.h>

#include <vector>

#include "main/platform.h"
#include "main/text.h"
#include "main/win_handles.h"

namespace kesu::shell::platform {

namespace {

std::u16string_view as_u16(const wchar_t* s, std::size_t n) {
  return {reinterpret_cast<const char16_t*>(s), n};
}

bool has_lone_surrogate(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

void write_handle(DWORD which, std::string_view bytes) {
  HANDLE h = ::GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
    if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return;
    bytes.remove_prefix(written);
  }
}

}  // namespace

std::optional<std::string> env_var(const char* name) {
  const std::u16string wname = utf8_to_utf16(name);
  const auto* wn = reinterpret_cast<const wchar_t*>(wname.c_str());
  ::SetLastError(0);
  const DWORD needed = ::GetEnvironmentVariableW(wn, nullptr, 0);
  if (needed == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();  // set but empty
  }
  std::vector<wchar_t> buf(needed);
  const DWORD len = ::GetEnvironmentVariableW(wn, buf.data(), needed);
  if (len == 0 || len >= needed) return std::nullopt;
  const auto units = as_u16(buf.data(), len);
  if (has_lone_surrogate(units)) return std::nullopt;
  return utf16_to_utf8(units);
}

std::optional<std::filesystem::path> executable_path() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD len = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (len == 0) return std::nullopt;
    if (len < buf.size()) return std::filesystem::path(std::wstring(buf.data(), len));
    if (buf.size() > 32768) return std::nullopt;
    buf.resize(buf.size() * 2);
  }
}

void write_stdout(std::string_view bytes) { write_handle(STD_OUTPUT_HANDLE, bytes); }
void write_stderr(std::string_view bytes) { write_handle(STD_ERROR_HANDLE, bytes); }

void warning_box(std::string_view text) {
  const std::u16string body = utf8_to_utf16(text);
  ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(body.c_str()), L"言至",
                MB_OK | MB_ICONWARNING);
}

std::string microphone_consent() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\"
                      L"ConsentStore\\microphone",
                      0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) {
    return "未知";
  }
  win::RegCloseKeyHandle key(raw);
  wchar_t value[64] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), L"Value", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return "未知";
  }
  const std::wstring text(value);
  if (text == L"Allow") return "允许";
  if (text == L"Deny") return "已拒绝";
  return "未知";
}

}  // namespace kesu::shell::platform
