#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "audio/capture.h"
#include "audio/capture_slot.h"
#include "util/error.h"
#include "voice/voice_filter.h"

namespace kesu {

// The outcome of an enrolment: the success message, or why it failed (the previous voice print
// then stays as it was).
using EnrolOutcome = Result<std::string>;

// Enrols from a WAV file of at least one second (no upper limit).
EnrolOutcome enrol_from_wav(const std::filesystem::path& wav, const std::filesystem::path& core_dir,
                            const Embedder& embed);

// How long a microphone enrolment records for the requested seconds.
int enrolment_seconds(int requested);

// Enrols from the system's default microphone, recording `seconds` (0 or less: 8; within 3..20).
// `config` gives the rest of the capture settings; its device choice is not used. Refused while
// a dictation holds `microphone`, which the enrolment holds in turn while it records.
EnrolOutcome enrol_from_microphone(int seconds, const ConfigRecord& config, const Embedder& embed,
                                   CaptureSlot& microphone);

}  // namespace kesu
