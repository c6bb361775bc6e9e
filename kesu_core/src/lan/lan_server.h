#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "config/config_store.h"
#include "lan/lan_http.h"
#include "lan/lan_request.h"

namespace kesu::lan {

// The four settings that decide whether and how the server runs.
struct LanSettings {
  bool enabled = false;
  std::uint16_t port = 8765;
  std::string token;
  bool allow_lan = false;
  bool operator==(const LanSettings&) const = default;
};
LanSettings lan_settings(const ConfigRecord& config);

// What a start produced, for the worker to report as events.
struct StartReport {
  std::optional<Error> error;  // lan_no_token or lan_failed; their names are the event codes
  std::string message;         // the listening notice
  bool listening = false;
};

// Requests handled at once (their head has arrived); they share the engine.
inline constexpr int kMaxInFlight = 2;
// Connections with a thread of their own, most of them reading their head: bounds what slow or
// silent clients can hold. Beyond it a connection is answered busy at once.
inline constexpr int kMaxConnections = 32;

// State shared by the server object, its accept loop and its request threads; the threads hold
// it themselves, so they outlive nothing they use.
struct LanState {
  std::atomic<bool> stop{false};
  Places in_flight{kMaxInFlight};
  Places connections{kMaxConnections};
  std::mutex log_mu;
  std::deque<LogEntry> log;  // guarded by log_mu; the latest 40, oldest first

  void append(LogEntry entry);
};

// The LAN dictation server of one core: started and restarted by the worker when its settings
// change, stopped with the core.
class LanServer {
 public:
  LanServer() : state_(std::make_shared<LanState>()) {}
  ~LanServer() { stop(); }
  LanServer(const LanServer&) = delete;
  LanServer& operator=(const LanServer&) = delete;

  // Starts, restarts or leaves the server according to `config`; nullopt when nothing changed.
  std::optional<StartReport> apply(ConfigPtr config, CoreAccess core);
  // Stops accepting; requests under way finish on their own.
  void stop();

  std::string log_json() const;
  // The port the listener is bound to, when listening.
  std::optional<std::uint16_t> port() const;

 private:
  StartReport start(const ConfigRecord& config, CoreAccess core);

  std::shared_ptr<LanState> state_;
  std::optional<LanSettings> applied_;
  mutable std::mutex mu_;  // guards port_ (read by exports and tests)
  std::optional<std::uint16_t> port_;
  std::thread accept_thread_;
};

}  // namespace kesu::lan
