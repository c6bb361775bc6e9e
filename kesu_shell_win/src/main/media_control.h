#pragma once

// Pausing the system's media playback while the user dictates, and resuming it afterwards —
// only what the shell itself paused.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kesu::shell {

// The system media transport controls. Every call may block until the operation completes.
class MediaTransport {
 public:
  virtual ~MediaTransport() = default;
  struct Answer {
    bool done = false;   // the player accepted the request
    std::string error;   // non-empty: the call failed
  };
  // Whether a current player exists and is playing. An absent facility reads as nothing playing.
  virtual bool playing() = 0;
  // nullopt: no current player.
  virtual std::optional<Answer> pause() = 0;
  virtual std::optional<Answer> play() = 0;
};

// Opens the platform's transport controls; absent where the system has none (Wine, Linux).
std::unique_ptr<MediaTransport> open_media_transport();

class MediaControl {
 public:
  MediaControl(MediaTransport& transport, std::atomic<bool>& paused_by_us,
               std::function<void(std::string_view)> log);

  void set_enabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_.load(); }
  // For every "state" phase.
  void on_phase(std::string_view phase);

 private:
  MediaTransport& transport_;
  std::atomic<bool>& paused_by_us_;
  std::function<void(std::string_view)> log_;
  std::atomic<bool> enabled_{false};
};

// "pause_media" of the configuration JSON: on only when it is the value true.
bool pause_media_setting(std::string_view config_json);

}  // namespace kesu::shell
