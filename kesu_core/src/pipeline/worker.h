#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/capture.h"
#include "audio/meter.h"
#include "pipeline/shared_state.h"
#include "pipeline/admission.h"
#include "pipeline/aux_threads.h"
#include "audio/capture_slot.h"
#include "pipeline/command_queue.h"
#include "pipeline/final_decode.h"
#include "pipeline/pending_files.h"
#include "pipeline/phase.h"
#include "pipeline/task_tracker.h"
#include "polish/polish_client.h"

namespace kesu {

// Limits the worker works by; tests shorten them, the product uses the defaults.
struct WorkerTimings {
  std::chrono::milliseconds decode_stall = kDecodeStallLimit;
  std::chrono::milliseconds submit_answer = kSubmitAnswerLimit;
  std::chrono::milliseconds piece_wait{200};        // for a background piece at release
  std::chrono::milliseconds helpers_at_exit{5000};  // for helper threads at shutdown
};

// The dictation worker. It runs on its own thread, owns all dictation state, reads the command
// queue and reports everything it does as events. Nothing here is touched by other threads;
// helper threads get copies and answer through the queue.
class Worker {
 public:
  Worker(std::shared_ptr<SharedState> shared, std::shared_ptr<CommandQueue> queue,
         WorkerTimings timings = {}, HttpTransport polish_transport = {});
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // The thread body: returns on Shutdown or when the queue closes, and closes the queue on the
  // way out so that later posts fail instead of piling up.
  void run();

 private:
  struct PieceInFlight {
    std::uint64_t id = 0;
    bool final = false;
  };
  // The dictation being recorded.
  struct Recording {
    CaptureSlot::Claim microphone;  // held while the capture is open
    std::unique_ptr<Capture> capture;
    SteadyClock::time_point started;
    std::optional<SteadyClock::time_point> auto_stop;   // the configured length limit
    std::optional<SteadyClock::time_point> debug_stop;  // a debug recording's own length
    std::size_t committed = 0;
    std::vector<CommittedPiece> pieces;
    std::optional<PieceInFlight> in_flight;
    SteadyClock::time_point next_piece_at{};
    std::chrono::milliseconds last_piece_decode{0};
    MeterPacer meter;
    bool filter_possible = false;  // a speaker filter may apply: previews only, no final pieces
  };
  // The dictation between release and the end of its insertion.
  struct Session {
    std::string task_id;
    ConfigPtr config;
    std::vector<float> audio;  // the whole recording, kept in case recognition fails
    bool had_speech = true;
    std::uint64_t wait_ms = 0;
    SteadyClock::time_point released{};
    std::string history_id;
    bool voice_lock = false;  // the voice lock filters this dictation
  };

  void start_up();
  void apply_lan_settings(ConfigPtr config);
  void handle(Command& command);
  void run_periodic_duties();
  void run_recording_duties();
  void check_task_deadlines();

  void on(cmd::HotkeyDown&);
  void on(cmd::HotkeyUp&);
  void on(cmd::Cancel&);
  void on(cmd::SubmitResult& submit);
  void on(cmd::DecodeDone& done);
  void on(cmd::DebugSubmitText& debug);
  void on(cmd::DebugRecord& debug);
  void on(cmd::DecodeWav& decode);
  void on(cmd::RetryFailed&);
  void on(cmd::PieceDone& piece);
  void on(cmd::RetrySegment& retry);
  void on(cmd::SegmentRetryFailed& failed);
  void on(cmd::SegmentRetryDone& done);
  void on(cmd::MeterStart&);
  void on(cmd::MeterStop&);
  void on(cmd::ConfigChanged& change);
  void on(cmd::HotwordsChanged& change);
  void on(cmd::NoteForegroundApp& note);
  void on(cmd::SetEngine& request);
  void on(cmd::EngineBuilt& built);
  void on(cmd::DebugPanic&);
  void on(cmd::Shutdown&);

  // Recording.
  void start_recording(std::optional<std::chrono::milliseconds> debug_length);
  void release();
  void wait_for_piece_in_flight(std::uint64_t& waited_ms);
  void schedule_piece();
  void emit_meter();

  // From release to insertion.
  std::string begin_dictation();
  // A dictation that starts at the decode (no recording): retries, WAV files, debug text.
  void start_session(std::vector<float> audio);
  void start_final_decode(FinalDecodeJob job);
  FinalDecodeJob make_job(std::vector<CommittedPiece> pieces, std::vector<float> rest);
  void report_failure(const FinalDecodeOutcome& outcome);
  void report_failed_segments(const FinalDecodeOutcome& outcome);
  void deliver(const FinalDecodeOutcome& outcome);
  void back_to_idle();
  void save_engine_choice(const std::string& name);
  void join_engine_builder();

  // What the worker is doing, for the admission of a request; admitted() reports a refusal.
  Activity activity() const;
  bool admitted(Request request);

  void run_meter_mode();
  void close_meter();
  void stop_recording();
  void set_phase(Phase phase);
  void emit(std::string_view type, nlohmann::json payload);
  void emit_error(std::string_view code, std::string_view message);
  // A microphone that would not open; the host tells a disconnected device from other causes.
  void emit_mic_unavailable(const CaptureOpen& opened);
  void emit_notice(std::string_view code, std::string_view message);
  bool keep_pending_file(const ConfigRecord& config) const;
  bool audio_stays_in_memory(const ConfigRecord& config) const;

  std::shared_ptr<SharedState> shared_;
  std::shared_ptr<CommandQueue> queue_;
  WorkerTimings timings_;
  HttpTransport polish_transport_;
  PendingFiles pending_files_;
  AuxThreads helpers_;

  bool stop_ = false;
  Phase phase_ = Phase::idle;
  std::uint64_t seq_ = 0;
  std::uint64_t session_ = 0;
  std::uint64_t generation_ = 0;
  std::uint64_t task_counter_ = 0;
  std::uint64_t piece_counter_ = 0;
  TaskTracker tracker_;
  std::optional<Recording> recording_;
  std::optional<Session> current_;
  // The dictation whose final-decode thread still works, also after it stalled and was given
  // up on; forgotten only when its answer arrives or the user cancels that dictation.
  std::optional<std::uint64_t> decoding_;
  std::string pending_submit_;             // task id waiting for the host's answer
  std::vector<DecodedSegment> segments_;   // of the last decoded dictation
  std::optional<std::vector<float>> failed_audio_;  // the last failed recording, this run only
  std::string foreground_app_;
  std::unique_ptr<Capture> meter_capture_;  // open only in meter mode
  MeterPacer meter_pacer_;
  std::thread engine_builder_;  // kesu-engine while a switch is being built
  // kesu-warmup after start. Joined at shutdown like the engine builder: it runs code of the
  // model libraries, which must not outlive the core.
  std::thread warm_up_;
  std::string engine_before_switch_;
};

}  // namespace kesu
