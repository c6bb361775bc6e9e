#pragma once

#include <string_view>

#include "pipeline/phase.h"

namespace kesu {

// What the worker is doing, as far as a new request cares.
struct Activity {
  Phase phase = Phase::idle;
  // A final decode's thread still works: also one given up on after it stalled, whose
  // recogniser may still hold the engine.
  bool final_decode_running = false;
  bool segment_retry_running = false;
  bool enrolment_recording = false;  // a voice enrolment holds the microphone
  bool meter_open = false;
};

// The requests that start work or need the microphone.
enum class Request {
  press,          // HotkeyDown, DebugRecord
  release,        // HotkeyUp, and the end of a recording by itself
  retry_failed,   // RetryFailed
  decode_wav,     // DecodeWav
  debug_text,     // DebugSubmitText
  retry_segment,  // RetrySegment
  meter_start,    // MeterStart
};

enum class Verdict { accept, ignore, refuse };

struct Admission {
  Verdict verdict = Verdict::accept;
  std::string_view code;     // with refuse: the error code
  std::string_view message;  // with refuse: what the user is told
};

// The worker is busy while a dictation is under way (any phase but idle) or a final decode's
// thread still works. Every request is judged against this one notion; they differ only in
// what the user is told, and in that a press during a dictation is ignored (a held key
// repeats) while a press that cannot be served now is refused so the user knows before
// speaking.
bool busy(const Activity& now);

Admission admit(Request request, const Activity& now);

}  // namespace kesu
