#include "main/media_control.h"

#include <nlohmann/json.hpp>

#include "main/json_members.h"

namespace kesu::shell {

bool pause_media_wanted(std::string_view config_json) {
  return bool_member(nlohmann::json::parse(config_json, nullptr, false), "pause_media");
}

std::atomic<bool>& media_pause_setting() {
  static std::atomic<bool> setting{false};
  return setting;
}

void MediaControl::on_phase(std::string_view phase) {
  if (!enabled_.load()) return;  // off means no resume either
  if (phase == "starting" || phase == "listening") {
    pause();
  } else if (phase == "idle" || phase == "processing" || phase == "inserting") {
    resume();
  }
}

void MediaControl::pause() {
  const PlaybackQuery query = transport_.playback();
  if (query.state == Playback::Failed) {
    main_log_("MEDIA 暂停失败：" + query.error);
    return;
  }
  // Nothing playing (or already paused by us in this dictation): the mark keeps its value.
  if (query.state != Playback::Playing) return;
  const TransportResult r = transport_.try_pause();
  switch (r.answer) {
    case TransportAnswer::Accepted:
      main_log_("MEDIA 已暂停播放");
      paused_by_us_ = true;
      break;
    case TransportAnswer::Refused:
      main_log_("MEDIA 暂停请求被拒绝");
      break;
    case TransportAnswer::Failed:
      main_log_("MEDIA 暂停失败：" + r.error);
      break;
    case TransportAnswer::NoSession:
      break;
  }
}

void MediaControl::resume() {
  if (!paused_by_us_.exchange(false)) return;
  const TransportResult r = transport_.try_play();
  switch (r.answer) {
    case TransportAnswer::Accepted:
      main_log_("MEDIA 已恢复播放");
      break;
    case TransportAnswer::Refused:
      main_log_("MEDIA 恢复请求被拒绝");
      break;
    case TransportAnswer::Failed:
      main_log_("MEDIA 恢复失败：" + r.error);
      break;
    case TransportAnswer::NoSession:
      break;
  }
}

}  // namespace kesu::shell
