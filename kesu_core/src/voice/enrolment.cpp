#include "voice/enrolment.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "audio/wav.h"
#include "store/local_time.h"
#include "util/atomic_file.h"
#include "util/paths.h"
#include "voice/voice_print.h"
#include "voice/voice_state.h"

namespace kesu {
namespace {

constexpr std::size_t kSecond = 16000;
constexpr std::size_t kMaxMicSamples = 20 * kSecond;

Error failed(ErrorCode code, std::string detail = {}) { return {code, std::move(detail)}; }

Status model_present(const std::filesystem::path& core_dir) {
  const std::filesystem::path model = speaker_model_path(core_dir);
  std::error_code ec;
  if (std::filesystem::is_regular_file(model, ec)) return Status::success();
  return failed(ErrorCode::voice_model_missing, path_to_utf8(model));
}

// Computes and stores the voice print; its dimension.
Result<std::size_t> store_print(std::span<const float> samples,
                                const std::filesystem::path& core_dir, const Embedder& embed) {
  const std::optional<Embedding> embedding = embed(samples);
  if (!embedding || embedding->empty()) return failed(ErrorCode::voice_print_uncomputable);
  const std::string text = render_voice_print({local_date_time(std::time(nullptr)), *embedding});
  // A voice print identifies its speaker: only the user may read it.
  if (Status written = write_whole_file(core_dir / kVoicePrintFile, text, FileAccess::owner_only);
      !written) {
    return failed(ErrorCode::voice_print_write_failed, written.error().detail);
  }
  return embedding->size();
}

}  // namespace

EnrolOutcome enrol_from_wav(const std::filesystem::path& wav, const std::filesystem::path& core_dir,
                            const Embedder& embed) {
  const WavRead read = read_wav_16k_mono(wav);
  if (!read.samples) return *read.error;
  if (read.samples->size() < kSecond) return failed(ErrorCode::voice_sample_too_short);
  if (Status model = model_present(core_dir); !model) return model.error();
  const Result<std::size_t> dim = store_print(*read.samples, core_dir, embed);
  if (!dim) return dim.error();
  return "已注册声纹（" + std::to_string(*dim) + " 维，来自 " +
         std::to_string(read.samples->size() / kSecond) + " 秒音频）";
}

int enrolment_seconds(int requested) { return std::clamp(requested <= 0 ? 8 : requested, 3, 20); }

EnrolOutcome enrol_from_microphone(int seconds, const ConfigRecord& config, const Embedder& embed,
                                   CaptureSlot& microphone) {
  if (Status model = model_present(config.core_dir); !model) return model.error();
  const CaptureSlot::Claim claim = microphone.claim(CaptureUser::enrolment);
  if (!claim) return failed(ErrorCode::voice_mic_busy);
  const int length = enrolment_seconds(seconds);
  ConfigRecord system_default = config;
  system_default.audio_device.clear();
  CaptureOpen opened = open_capture(system_default);
  if (!opened.capture) return *opened.error;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(length);
  while (std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  opened.capture->stop();
  std::vector<float> samples = opened.capture->buffer().take_all();
  if (samples.size() > kMaxMicSamples) samples.resize(kMaxMicSamples);
  if (samples.size() < kSecond) return failed(ErrorCode::voice_nothing_recorded);
  const Result<std::size_t> dim = store_print(samples, config.core_dir, embed);
  if (!dim) return dim.error();
  return "已注册声纹（" + std::to_string(*dim) + " 维，录了 " + std::to_string(length) + " 秒）";
}

}  // namespace kesu
