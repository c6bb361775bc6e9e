#pragma once

#include <memory>
#include <string>

#include "audio/capture.h"
#include "engine/model_loader.h"
#include "engine/sherpa_objects.h"
#include "util/error.h"

namespace kesu {

struct DenoiserOpen {
  std::unique_ptr<AudioFilter> filter;  // null: capture runs without denoising
  std::optional<Error> error;           // why, when a model was there but did not load
};

// The GTCRN online denoiser for captured 16 kHz audio, when `audio.denoise` is on and the model
// is installed. Over a whole recording (process… then flush) the output is exactly as long as
// the input.
DenoiserOpen open_denoiser(const ConfigRecord& config, const ModelLoader& loader);

}  // namespace kesu
