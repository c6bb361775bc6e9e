#pragma once

#include <filesystem>

#include "engine/model_loader.h"
#include "voice/voice_filter.h"

namespace kesu {

// Speaker embeddings through sherpa-onnx with the given speaker model (2 threads, cpu). The
// model is checked in the separate checker process before this process loads it: a model
// without its framework entry crashes the extractor on first use. When it cannot be loaded the
// embedder gives no embedding for any audio.
Embedder make_speaker_embedder(const ModelLoader& loader, const std::filesystem::path& model);

}  // namespace kesu
