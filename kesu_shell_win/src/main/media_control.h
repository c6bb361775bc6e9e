#pragma once

// Pausing the system's media playback while the user dictates, and resuming only what we paused.
// The decisions live here; the system media transport controls sit behind MediaTransport.

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace kesu::shell {

enum class Playback {
  Unavailable,  // the facility is missing (Wine, old systems): treated as nothing playing
  NoSession,
  Playing,
  NotPlaying,
  Failed,
};

struct PlaybackQuery {
  Playback state = Playback::Unavailable;
  std::string error;  // with Failed
};

enum class TransportAnswer { NoSession, Accepted, Refused, Failed };

struct TransportResult {
  TransportAnswer answer = TransportAnswer::NoSession;
  std::string error;  // with Failed
};

class MediaTransport {
 public:
  virtual ~MediaTransport() = default;
  // The current player's playback status.
  virtual PlaybackQuery playback() = 0;
  // Each asks the current player (fetched again) and waits for its answer.
  virtual TransportResult try_pause() = 0;
  virtual TransportResult try_play() = 0;
};

// The configuration's "pause_media": true only for the JSON value true.
bool pause_media_wanted(std::string_view config_json);
// The process-wide media-pause setting, re-read at start-up and at every hotkey reload.
std::atomic<bool>& media_pause_setting();

class MediaControl {
 public:
  MediaControl(MediaTransport& transport, const std::atomic<bool>& enabled,
               std::atomic<bool>& paused_by_us, std::function<void(std::string_view)> main_log)
      : transport_(transport),
        enabled_(enabled),
        paused_by_us_(paused_by_us),
        main_log_(std::move(main_log)) {}

  // For every "state" event.
  void on_phase(std::string_view phase);

 private:
  void pause();
  void resume();

  MediaTransport& transport_;
  const std::atomic<bool>& enabled_;
  std::atomic<bool>& paused_by_us_;
  std::function<void(std::string_view)> main_log_;
};

// The system's controls are not reachable: always "nothing playing". Used where there is no
// desktop, and as the answer when the Windows facility cannot be loaded.
class NoMediaTransport final : public MediaTransport {
 public:
  PlaybackQuery playback() override { return {}; }
  TransportResult try_pause() override { return {}; }
  TransportResult try_play() override { return {}; }
};

}  // namespace kesu::shell
