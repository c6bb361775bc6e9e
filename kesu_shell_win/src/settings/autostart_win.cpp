// The registration as the per-user Run value of Windows.

#include <windows.h>

#include <system_error>

#include "main/platform.h"
#include "main/text.h"
#include "main/win_handles.h"
#include "settings/autostart.h"

namespace kesu::shell {

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kValueName = L"Kesu";
constexpr DWORD kReadBufferBytes = 2048;

std::string system_error_text(DWORD code) {
  return std::system_category().message(static_cast<int>(code));
}

class RunKeyRegistry final : public AutostartRegistry {
 public:
  SetOutcome set(bool enable) override {
    HKEY raw = nullptr;
    // Opened, or created in a profile that has never had one.
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                          nullptr) != ERROR_SUCCESS) {
      return {"打不开 Run 注册表键"};
    }
    win::RegCloseKeyHandle key(raw);
    LSTATUS status = ERROR_SUCCESS;
    if (enable) {
      const std::optional<std::filesystem::path> exe = platform::executable_path();
      if (!exe) return {"取不到 exe 路径：" + system_error_text(::GetLastError())};
      const std::wstring command = L"\"" + exe->wstring() + L"\"";
      status = ::RegSetValueExW(key.get(), kValueName, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
      status = ::RegDeleteValueW(key.get(), kValueName);
    }
    // A value that is not there is as removed as it gets.
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      return {"注册表写入失败：" + std::to_string(status)};
    }
    return {};
  }

  std::optional<std::string> read() override {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    win::RegCloseKeyHandle key(raw);
    char16_t buffer[kReadBufferBytes / sizeof(char16_t)] = {};
    DWORD size = kReadBufferBytes;
    if (::RegQueryValueExW(key.get(), kValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                           &size) != ERROR_SUCCESS ||
        size < 2) {
      return std::nullopt;
    }
    std::u16string_view units(buffer, size / sizeof(char16_t));
    while (!units.empty() && units.back() == u'\0') units.remove_suffix(1);
    return utf16_to_utf8(units);
  }
};

}  // namespace

std::unique_ptr<AutostartRegistry> make_system_autostart_registry() {
  return std::make_unique<RunKeyRegistry>();
}

}  // namespace kesu::shell
