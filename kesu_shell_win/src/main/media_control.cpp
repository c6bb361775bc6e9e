#include "main/media_control.h"

#include <nlohmann/json.hpp>

namespace kesu::shell {

MediaControl::MediaControl(MediaTransport& transport, std::atomic<bool>& paused_by_us,
                           std::function<void(std::string_view)> log)
    : transport_(transport), paused_by_us_(paused_by_us), log_(std::move(log)) {}

void MediaControl::on_phase(std::string_view phase) {
  if (!enabled_) return;
  if (phase == "starting" || phase == "listening") {
    // A second attempt in the same dictation finds the player paused and keeps the mark.
    if (!transport_.playing()) return;
    const auto answer = transport_.pause();
    if (!answer) return;
    if (!answer->error.empty()) {
      log_("MEDIA 暂停失败：" + answer->error);
    } else if (answer->done) {
      log_("MEDIA 已暂停播放");
      paused_by_us_ = true;
    } else {
      log_("MEDIA 暂停请求被拒绝");
    }
  } else if (phase == "idle" || phase == "processing" || phase == "inserting") {
    if (!paused_by_us_.exchange(false)) return;
    const auto answer = transport_.play();
    if (!answer) return;
    if (!answer->error.empty()) {
      log_("MEDIA 恢复失败：" + answer->error);
    } else {
      log_(answer->done ? "MEDIA 已恢复播放" : "MEDIA 恢复请求被拒绝");
    }
  }
}

bool pause_media_setting(std::string_view config_json) {
  const auto json = nlohmann::json::parse(config_json, nullptr, false);
  if (!json.is_object()) return false;
  const auto it = json.find("pause_media");
  return it != json.end() && it->is_boolean() && it->get<bool>();
}

namespace {
// No transport controls: nothing ever plays.
class NoMediaTransport final : public MediaTransport {
 public:
  bool playing() override { return false; }
  std::optional<Answer> pause() override { return std::nullopt; }
  std::optional<Answer> play() override { return std::nullopt; }
};
}  // namespace

std::unique_ptr<MediaTransport> open_media_transport() { return std::make_unique<NoMediaTransport>(); }

}  // namespace kesu::shell
