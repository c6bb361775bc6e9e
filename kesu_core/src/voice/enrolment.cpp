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

EnrolOutcome failed(std::string message) { return {false, std::move(message)}; }

std::optional<std::string> missing_model(const std::filesystem::path& core_dir) {
  const std::filesystem::path model = speaker_model_path(core_dir);
  std::error_code ec;
  if (std::filesystem::is_regular_file(model, ec)) return std::nullopt;
  return "声纹模型还没下载：" + path_to_utf8(model);
}

// Computes and stores the voice print; the message on failure.
std::optional<std::string> store_print(std::span<const float> samples, const std::filesystem::path& core_dir,
                                       const Embedder& embed, std::size_t& dim) {
  const std::optional<Embedding> embedding = embed(samples);
  if (!embedding || embedding->empty()) return "这段音频算不出声纹（可能太安静或全是噪声）";
  const std::string text = render_voice_print({local_date_time(std::time(nullptr)), *embedding});
  // A voice print identifies its speaker: only the user may read it.
  if (auto error = write_whole_file(core_dir / kVoicePrintFile, text, FileAccess::owner_only)) {
    return error;
  }
  dim = embedding->size();
  return std::nullopt;
}

}  // namespace

EnrolOutcome enrol_from_wav(const std::filesystem::path& wav, const std::filesystem::path& core_dir,
                            const Embedder& embed) {
  const WavRead read = read_wav_16k_mono(wav);
  if (!read.samples) return failed(user_message(*read.error));
  if (read.samples->size() < kSecond) return failed("样本太短了：至少说 1 秒（建议 8–10 秒）");
  if (auto missing = missing_model(core_dir)) return failed(*missing);
  std::size_t dim = 0;
  if (auto error = store_print(*read.samples, core_dir, embed, dim)) return failed(*error);
  return {true, "已注册声纹（" + std::to_string(dim) + " 维，来自 " +
                    std::to_string(read.samples->size() / kSecond) + " 秒音频）"};
}

int enrolment_seconds(int requested) { return std::clamp(requested <= 0 ? 8 : requested, 3, 20); }

EnrolOutcome enrol_from_microphone(int seconds, const ConfigRecord& config, const Embedder& embed,
                                   CaptureSlot& microphone) {
  if (auto missing = missing_model(config.core_dir)) return failed(*missing);
  const CaptureSlot::Claim claim = microphone.claim(CaptureUser::enrolment);
  if (!claim) return failed("正在听写录音，说完再录声纹");
  const int length = enrolment_seconds(seconds);
  ConfigRecord system_default = config;
  system_default.audio_device.clear();
  CaptureOpen opened = open_capture(system_default);
  if (!opened.capture) return failed(user_message(*opened.error));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(length);
  while (std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  opened.capture->stop();
  std::vector<float> samples = opened.capture->buffer().take_all();
  if (samples.size() > kMaxMicSamples) samples.resize(kMaxMicSamples);
  if (samples.size() < kSecond) return failed("没录到声音：检查麦克风权限和设备");
  std::size_t dim = 0;
  if (auto error = store_print(samples, config.core_dir, embed, dim)) return failed(*error);
  return {true, "已注册声纹（" + std::to_string(dim) + " 维，录了 " + std::to_string(length) + " 秒）"};
}

}  // namespace kesu
