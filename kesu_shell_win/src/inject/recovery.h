#pragma once

// A dictation that never reached its target is not lost: the core keeps it in
// pending/last_result.txt and may announce it; the shell offers it once per run on the clipboard.

#include <atomic>
#include <filesystem>
#include <functional>
#include <string_view>

#include "main/views.h"

namespace kesu::shell {

struct RecoverySinks {
  std::function<bool(std::string_view)> set_clipboard;
  std::function<void(std::string_view)> stderr_line;
  OverlayView* overlay = nullptr;  // absent: no overlay tip (no core loaded)
  TrayView* tray = nullptr;
};

class Recovery {
 public:
  // At start-up, before the event callback is registered. The file is removed only once its
  // text is safely on the clipboard: with the clipboard locked it waits for the next start.
  void recover_at_startup(const std::filesystem::path& data_dir, const RecoverySinks& sinks);
  // A "pending_result" event; only the first offer of a run acts.
  void on_pending_result(std::string_view text, const RecoverySinks& sinks);
  bool offered() const { return offered_.load(); }

 private:
  void offer(std::string_view text, bool copied, const RecoverySinks& sinks);

  std::atomic<bool> offered_{false};
};

}  // namespace kesu::shell
