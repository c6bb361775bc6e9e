#pragma once

#include <atomic>
#include <memory>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "engine/engine_slot.h"
#include "events/event_sink.h"
#include "hotwords/hotword_file.h"
#include "hotwords/hotword_store.h"
#include "lan/lan_server.h"
#include "audio/capture_slot.h"
#include "pipeline/speech_backend.h"
#include "voice/voice_gate.h"
#include "profiles/profile_file.h"
#include "profiles/profile_store.h"
#include "store/history_store.h"

namespace kesu {

// Text of the last finished dictation, readable by the host at any time.
class LastResultSlot {
 public:
  std::optional<std::string> get() const {
    std::lock_guard lock(mu_);
    return text_;
  }
  void set(std::string text) {
    std::lock_guard lock(mu_);
    text_ = std::move(text);
  }
  void clear() {
    std::lock_guard lock(mu_);
    text_.reset();
  }

 private:
  mutable std::mutex mu_;
  std::optional<std::string> text_;  // guarded by mu_
};

// Indexes of the segments of the last dictation that failed to decode.
class FailedSegmentList {
 public:
  std::vector<int> get() const {
    std::lock_guard lock(mu_);
    return indexes_;
  }
  void set(std::vector<int> indexes) {
    std::lock_guard lock(mu_);
    indexes_ = std::move(indexes);
  }
  bool contains(int index) const {
    std::lock_guard lock(mu_);
    for (int i : indexes_) {
      if (i == index) return true;
    }
    return false;
  }

 private:
  mutable std::mutex mu_;
  std::vector<int> indexes_;  // guarded by mu_
};

// Everything the exports and the core's threads share. Each member is atomic or carries its own
// lock, held only for a copy or a swap (the history and profile stores: for one whole operation).
struct SharedState {
  // Loads the stores from the core directory; none of them fails on a bad file.
  SharedState(std::filesystem::path dir, ConfigRecord config_record)
      : core_dir(std::move(dir)),
        config(std::move(config_record)),
        history(core_dir, config.snapshot()->history_enabled, config.snapshot()->history_limit),
        hotwords(load_hotwords(hotwords_path(core_dir))),
        profiles(load_profiles(profiles_path(core_dir)), profiles_path(core_dir)) {}

  const std::filesystem::path core_dir;  // fixed at creation
  ConfigStore config;
  HistoryStore history;
  HotwordStore hotwords;
  ProfileStore profiles;
  std::atomic<bool> exiting{false};
  std::atomic<bool> test_mode{false};
  std::atomic<bool> segment_retry_running{false};
  EventSink events;
  // Recognition for every thread that recognises; the engines replace the stub at start.
  std::shared_ptr<SpeechBackend> speech = make_stub_speech_backend();
  // Started and restarted by the worker, stopped with the core.
  lan::LanServer lan;
  // The enrolled voice, built at the first dictation with voice lock; emptied by enrolment.
  VoiceGate voice_gate;
  LastResultSlot last_result;
  FailedSegmentList failed_segments;
  // Who records: a dictation (the worker) or a voice enrolment (an export's caller).
  CaptureSlot capture_slot;
  // Starts as the stub; the core installs the configured engine right after creation.
  EngineSlot engine{std::make_shared<StubEngine>()};
};

}  // namespace kesu
