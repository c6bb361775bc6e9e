#include "tray/tray_icon_win.h"

#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "main/logs.h"
#include "main/text.h"
#include "tray/app_icon.h"

namespace kesu::shell::win {

namespace {

constexpr UINT kAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;  // 7
static_assert(sizeof(NOTIFYICONDATAW) == 976, "the full record of current systems");
constexpr auto kMessageDelay = std::chrono::milliseconds(150);

std::wstring wide(std::string_view text) {
  const std::u16string units = utf8_to_utf16(text);
  return std::wstring(units.begin(), units.end());
}

// Menus read '&' as a mnemonic marker; the texts mean it literally.
std::wstring menu_text(std::string_view text) {
  std::wstring out;
  for (wchar_t c : wide(text)) {
    out += c;
    if (c == L'&') out += L'&';
  }
  return out;
}

bool append_items(HMENU menu, const std::vector<TrayMenuItem>& items) {
  for (const TrayMenuItem& item : items) {
    const std::wstring text = menu_text(item.text);
    BOOL ok = FALSE;
    switch (item.kind) {
      case TrayItemKind::Separator:
        ok = ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        break;
      case TrayItemKind::Label:
        ok = ::AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, text.c_str());
        break;
      case TrayItemKind::Command:
        ok = ::AppendMenuW(menu, MF_STRING | (item.greyed ? MF_GRAYED : 0u),
                           static_cast<UINT_PTR>(item.id), text.c_str());
        break;
      case TrayItemKind::Submenu: {
        DestroyMenuHandle sub(::CreatePopupMenu());
        if (!sub || !append_items(sub.get(), item.children)) return false;
        ok = ::AppendMenuW(menu, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(sub.get()),
                           text.c_str());
        if (ok) (void)sub.release();  // destroyed with its parent from here on
        break;
      }
    }
    if (!ok) return false;
  }
  return true;
}

// %APPDATA%\Kesu, or empty when APPDATA is unset.
std::filesystem::path icon_dir() {
  wchar_t buf[MAX_PATH * 2];
  const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", buf, static_cast<DWORD>(std::size(buf)));
  if (n == 0 || n >= std::size(buf)) return {};
  return std::filesystem::path(std::wstring(buf, n)) / L"Kesu";
}

}  // namespace

HWND TrayIcon::window() const {
  std::lock_guard lock(window_mu_);
  return window_;
}

std::wstring TrayIcon::tooltip() const {
  std::string text;
  {
    std::lock_guard lock(tip_mu_);
    text = tip_;
  }
  const std::u16string units = tray_tooltip_units(text);
  return std::wstring(units.begin(), units.end());
}

HICON TrayIcon::icon() {
  std::call_once(icon_once_, [this] {
    try {
      const std::filesystem::path dir = icon_dir();
      if (!dir.empty()) {
        if (const auto file = ensure_icon_file(dir, app_icon_bytes())) {
          file_icon_ = DestroyIconHandle(static_cast<HICON>(::LoadImageW(
              nullptr, file->c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE)));
        }
      }
    } catch (...) {
      // The system icon below serves just as well.
    }
    icon_ = file_icon_ ? file_icon_.get() : ::LoadIconW(nullptr, IDI_APPLICATION);
  });
  return icon_;
}

bool TrayIcon::notify(DWORD action, UINT flags) {
  HWND owner = window();
  if (owner == nullptr) return false;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner;
  data.uID = kTrayIconId;
  data.uFlags = flags;
  data.uCallbackMessage = kTrayCallbackMessage;
  if ((flags & NIF_ICON) != 0) data.hIcon = icon();
  if ((flags & NIF_TIP) != 0) {
    const std::wstring tip = tooltip();
    tip.copy(data.szTip, std::size(data.szTip) - 1);
  }
  return ::Shell_NotifyIconW(action, &data) != FALSE;
}

bool TrayIcon::add(HWND window) {
  {
    std::lock_guard lock(window_mu_);
    window_ = window;
  }
  return notify(NIM_ADD, kAddFlags);
}

void TrayIcon::set_tooltip(std::string_view text) {
  {
    std::lock_guard lock(tip_mu_);
    tip_ = std::string(text);
  }
  trace("tooltip " + std::string(text));
  (void)notify(NIM_MODIFY, NIF_TIP);
}

void TrayIcon::ensure() {
  if (window() == nullptr) return;
  if (notify(NIM_MODIFY, NIF_TIP)) return;
  trace("tray-ensure：图标不在了（NIM_MODIFY 失败），重新 NIM_ADD");
  if (notify(NIM_ADD, kAddFlags)) trace("tray-ensure re-added icon");
}

void TrayIcon::remove() {
  (void)notify(NIM_DELETE, 0);
  std::lock_guard lock(window_mu_);
  window_ = nullptr;
}

std::pair<bool, bool> TrayIcon::drop_test() {
  const bool deleted = notify(NIM_DELETE, 0);
  const bool modified_after_delete = notify(NIM_MODIFY, NIF_TIP);
  ensure();
  const bool modified_after_ensure = notify(NIM_MODIFY, NIF_TIP);
  return {deleted && !modified_after_delete, modified_after_ensure};
}

int TrayIcon::track_menu(HWND owner, const std::vector<TrayMenuItem>& items) {
  DestroyMenuHandle menu(::CreatePopupMenu());
  if (!menu || !append_items(menu.get(), items)) return 0;
  POINT cursor{};
  ::GetCursorPos(&cursor);
  // In front, so that a click elsewhere closes the menu.
  ::SetForegroundWindow(owner);
  const BOOL chosen = ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x,
                                       cursor.y, 0, owner, nullptr);
  // Lets the menu's owner leave its modal state before the next click.
  ::PostMessageW(owner, WM_NULL, 0, 0);
  return static_cast<int>(chosen);
}

void TrayIcon::message(std::string_view text) {
  if (quiet_mode()) {
    stderr_line("[kesu][quiet] " + std::string(text));
    return;
  }
  HWND owner = window();
  std::wstring body = wide(text);
  try {
    std::thread([owner, body = std::move(body)] {
      try {
        std::this_thread::sleep_for(kMessageDelay);
        ::MessageBoxW(owner, body.c_str(), L"言至", MB_OK | MB_ICONWARNING);
      } catch (...) {
        // Nothing may leave a thread entry; a box not shown is all that is lost.
      }
    }).detach();
  } catch (const std::exception& e) {
    stderr_line("[kesu] 消息框线程没起来：" + std::string(e.what()));
  }
}

}  // namespace kesu::shell::win
