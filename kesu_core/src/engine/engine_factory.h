#pragma once

#include <memory>
#include <string>

#include "config/config_record.h"
#include "engine/engine.h"
#include "engine/engine_slot.h"
#include "engine/model_loader.h"
#include "util/error.h"

namespace kesu {

// The built engine (never null), or why it could not be built.
using EngineCreation = Result<std::shared_ptr<Engine>>;

// Builds the engine `name` from the configured model folders, validating the model files in a
// child process first. Prints "[kesu] SenseVoice 就绪，加载 {ms}ms" (or Qwen3) on success.
EngineCreation create_engine(std::string_view name, const ConfigRecord& config,
                             const ModelLoader& loader);

// The recognisers alone, from one folder: the checks and messages shared by engine creation and
// the load self-check after a download.
EngineCreation create_sense_engine(const std::filesystem::path& dir, int num_threads,
                                   const ModelLoader& loader);
EngineCreation create_qwen3_engine(const std::filesystem::path& dir, int num_threads,
                                   const ModelLoader& loader);

// A first recognition of a little silence: onnxruntime sets much of a session up on its first
// run, which would otherwise land on the user's first dictation.
void warm_up_engine(Engine& engine);
void warm_up_engine(EngineSlot& slot);

// The engine for core start-up: the configured one, or the stub with
// "[kesu] 引擎不可用，回退 stub：{reason}" printed when it cannot be built.
std::shared_ptr<Engine> create_engine_or_stub(const ConfigRecord& config, const ModelLoader& loader);

}  // namespace kesu
