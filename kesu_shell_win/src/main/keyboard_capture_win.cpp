#include "main/keyboard_capture_win.h"

#include <atomic>
#include <cstdio>
#include <vector>

#include "main/logs.h"
#include "main/message_window_win.h"

namespace kesu::shell::win {

namespace {

std::atomic<HHOOK> g_hook{nullptr};
std::atomic<HWND> g_target{nullptr};
std::atomic<long long> g_hook_ticks{0};
std::atomic<long long> g_hook_worst{0};
std::atomic<long long> g_hook_keys{0};

std::string hex(unsigned long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", v);
  return buf;
}

long long now_ticks() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

LRESULT CALLBACK hook_proc(int code, WPARAM wp, LPARAM lp) {
  if (code >= 0) {
    const long long start = now_ticks();
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
    // Synthesised keys, the shell's own included, are not the user's.
    if ((k->flags & LLKHF_INJECTED) == 0) {
      const bool release = (k->flags & LLKHF_UP) != 0;
      const bool extended = (k->flags & LLKHF_EXTENDED) != 0;
      HWND target = g_target.load();
      if (raw_debug_on()) {
        try {
          raw_debug("hook vk=" + hex(k->vkCode) + " break=" + (release ? "true" : "false") +
                    " target=" + hex(reinterpret_cast<std::uintptr_t>(target)));
        } catch (...) {
        }
      }
      if (target != nullptr) {
        const WPARAM packed = (k->vkCode & 0xFF) | (release ? 0x100u : 0u) | (extended ? 0x200u : 0u);
        (void)::PostMessageW(target, kMsgHookKey, packed, 0);
      }
      const long long spent = now_ticks() - start;
      g_hook_ticks += spent;
      ++g_hook_keys;
      long long worst = g_hook_worst.load();
      while (spent > worst && !g_hook_worst.compare_exchange_weak(worst, spent)) {
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

void set_hook_target(HWND window) { g_target = window; }

bool install_keyboard_hook() {
  HHOOK hook = ::SetWindowsHookExW(WH_KEYBOARD_LL, &hook_proc, ::GetModuleHandleW(nullptr), 0);
  if (hook == nullptr) {
    stderr_line("[kesu] 键盘钩子安装失败：" + std::to_string(::GetLastError()) + "（热键不可用）");
    return false;
  }
  if (HHOOK old = g_hook.exchange(hook)) ::UnhookWindowsHookEx(old);
  return true;
}

void remove_keyboard_hook() {
  if (HHOOK hook = g_hook.exchange(nullptr)) ::UnhookWindowsHookEx(hook);
}

bool register_raw_input(HWND window) {
  RAWINPUTDEVICE device{};
  device.usUsagePage = 1;
  device.usUsage = 6;
  device.dwFlags = RIDEV_INPUTSINK;
  device.hwndTarget = window;
  if (!::RegisterRawInputDevices(&device, 1, sizeof device)) {
    stderr_line("[kesu] Raw Input 注册失败，热键不可用");
    return false;
  }
  return true;
}

std::optional<RawKey> read_raw_key(LPARAM input) {
  UINT size = 0;
  auto handle = reinterpret_cast<HRAWINPUT>(input);
  if (::GetRawInputData(handle, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0 || size == 0) {
    return std::nullopt;
  }
  std::vector<unsigned char> buffer(size);
  if (::GetRawInputData(handle, RID_INPUT, buffer.data(), &size, sizeof(RAWINPUTHEADER)) != size) {
    return std::nullopt;
  }
  const auto* raw = reinterpret_cast<const RAWINPUT*>(buffer.data());
  if (raw->header.dwType != RIM_TYPEKEYBOARD) return std::nullopt;
  RawKey key;
  key.vk = raw->data.keyboard.VKey;
  key.is_release = (raw->data.keyboard.Flags & RI_KEY_BREAK) != 0;
  key.is_extended = (raw->data.keyboard.Flags & RI_KEY_E0) != 0;
  key.has_device = raw->header.hDevice != nullptr;
  if (raw_debug_on()) {
    stderr_line("[kesu][raw] vk=" + hex(key.vk) + " break=" + (key.is_release ? "true" : "false") +
                " e0=" + (key.is_extended ? "true" : "false"));
  }
  return key;
}

std::string hook_timing_summary() {
  LARGE_INTEGER freq;
  ::QueryPerformanceFrequency(&freq);
  const long long keys = g_hook_keys.load();
  const double us_per_tick = 1e6 / static_cast<double>(freq.QuadPart);
  char line[128];
  std::snprintf(line, sizeof line, "HOOKTIME keys=%lld mean_us=%.2f worst_us=%.2f", keys,
                keys ? static_cast<double>(g_hook_ticks.load()) * us_per_tick / static_cast<double>(keys) : 0.0,
                static_cast<double>(g_hook_worst.load()) * us_per_tick);
  return line;
}

}  // namespace kesu::shell::win
