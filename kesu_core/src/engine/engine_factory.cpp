#include "engine/engine_factory.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <vector>

#include "config/model_files.h"
#include "engine/offline_engine.h"
#include "util/log.h"
#include "util/paths.h"

namespace kesu {

namespace {

using Creator = RecognizerHandle (*)(const SherpaApi&, const std::filesystem::path&, int);

EngineCreation create_offline(std::string name, ModelKind kind, Creator creator,
                              const std::filesystem::path& dir, int num_threads,
                              const ModelLoader& loader, ErrorCode create_failed,
                              std::string_view ready_label) {
  const Result<const SherpaApi*> api = loader.require_api();
  if (!api) return api.error();
  const auto started = std::chrono::steady_clock::now();
  // The checker's reason is logged by the loader; the user hears that the model would not load.
  if (!loader.validate(kind, dir)) return Error{create_failed, {}};
  RecognizerHandle recognizer;
  try {
    recognizer = creator(**api, dir, num_threads);
  } catch (...) {
    // Reaches here only on Linux, where sherpa-onnx's exceptions can be caught at all.
  }
  if (!recognizer) return Error{create_failed, {}};
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - started)
                      .count();
  log_line(std::string(ready_label) + " 就绪，加载 " + std::to_string(ms) + "ms");
  return std::shared_ptr<Engine>(
      std::make_shared<OfflineEngine>(std::move(name), **api, std::move(recognizer)));
}

int thread_count(const ConfigRecord& config) {
  return static_cast<int>(std::clamp<std::int64_t>(config.engine_num_threads, 1, 8));
}

}  // namespace

EngineCreation create_sense_engine(const std::filesystem::path& dir, int num_threads,
                                   const ModelLoader& loader) {
  if (auto missing = missing_sense_file(dir)) return Error{ErrorCode::model_files_incomplete, *missing};
  return create_offline("sense", ModelKind::sense, &create_sense_recognizer, dir, num_threads,
                        loader, ErrorCode::sense_create_failed, "SenseVoice");
}

EngineCreation create_qwen3_engine(const std::filesystem::path& dir, int num_threads,
                                   const ModelLoader& loader) {
  if (auto missing = missing_qwen3_file(dir)) return Error{ErrorCode::model_files_incomplete, *missing};
  return create_offline("qwen3", ModelKind::qwen3, &create_qwen3_recognizer, dir, num_threads,
                        loader, ErrorCode::qwen3_create_failed, "Qwen3");
}

EngineCreation create_engine(std::string_view name, const ConfigRecord& config,
                             const ModelLoader& loader) {
  if (name == "stub") return std::shared_ptr<Engine>(std::make_shared<StubEngine>());
  if (name == "sense") {
    const std::filesystem::path dir = sense_dir(config);
    if (missing_sense_file(dir)) return Error{ErrorCode::sense_model_missing, path_to_utf8(dir)};
    return create_sense_engine(dir, thread_count(config), loader);
  }
  if (name == "qwen3") {
    const std::filesystem::path dir = qwen3_dir(config);
    if (missing_qwen3_file(dir)) return Error{ErrorCode::qwen3_model_missing, path_to_utf8(dir)};
    return create_qwen3_engine(dir, thread_count(config), loader);
  }
  return Error{ErrorCode::engine_unknown, std::string(name)};
}

namespace {
// Long enough for every recogniser to run its whole graph once.
const std::vector<float> kWarmUpSilence(8000, 0.0f);
}  // namespace

void warm_up_engine(Engine& engine) { (void)engine.recognise(kWarmUpSilence); }

void warm_up_engine(EngineSlot& slot) { (void)slot.recognise(kWarmUpSilence); }

std::shared_ptr<Engine> create_engine_or_stub(const ConfigRecord& config,
                                              const ModelLoader& loader) {
  EngineCreation created = create_engine(config.engine_active, config, loader);
  if (created) return *created;
  log_line("引擎不可用，回退 stub：" + user_message(created.error()));
  return std::make_shared<StubEngine>();
}

}  // namespace kesu
