#include "tray/mini_layout.h"

#include <cmath>
#include <cstdlib>

namespace kesu::shell {

namespace {

bool is_recording_phase(std::string_view phase) {
  return phase == "listening" || phase == "starting";
}

bool is_working_phase(std::string_view phase) {
  return phase == "processing" || phase == "inserting" || phase == "polishing" ||
         phase == "decoding";
}

}  // namespace

int mini_scale_percent(unsigned dpi) {
  if (dpi == 0) return 100;
  return static_cast<int>(std::lround(100.0 * dpi / 96.0));
}

bool mini_button_recording(std::string_view phase) { return is_recording_phase(phase); }

MiniButtonAction mini_button_action(std::string_view phase) {
  if (is_recording_phase(phase)) return MiniButtonAction::Stop;
  if (phase.empty() || phase == "idle" || phase == "done") return MiniButtonAction::Start;
  return MiniButtonAction::Nothing;
}

std::string mini_saved_text(std::int64_t minutes) {
  return "今日已节省 " + std::to_string(minutes) + " 分";
}

MiniLayout::MiniLayout(int scale_percent) : percent_(scale_percent > 0 ? scale_percent : 100) {}

int MiniLayout::scale(int units) const {
  return static_cast<int>(std::lround(units * percent_ / 100.0));
}

MiniPoint MiniLayout::position(const MiniRect& work) const {
  return {work.right - width() - scale(18), work.bottom - height() - scale(78)};
}

MiniRect MiniLayout::mic_rect() const {
  const MiniPoint c = button_centre();
  const int h = scale(24);
  return {c.x - h, c.y - h, c.x + h, c.y + h};
}

MiniRect MiniLayout::saved_rect() const {
  return {scale(8), scale(174), width() - scale(8), scale(194)};
}

MiniRect MiniLayout::settings_rect() const { return {0, scale(198), width(), scale(222)}; }

MiniRect MiniLayout::close_rect() const {
  return {width() - scale(30), scale(6), width() - scale(8), scale(28)};
}

std::vector<MiniTextLine> MiniLayout::status_lines(std::string_view phase,
                                                   std::string_view hotkey_name) const {
  const int w = width();
  if (is_recording_phase(phase)) {
    return {{"正在听，点击停止", {scale(8), scale(142), w - scale(8), scale(166)}}};
  }
  if (is_working_phase(phase)) {
    return {{"识别中…", {scale(8), scale(142), w - scale(8), scale(166)}}};
  }
  return {{"按 " + std::string(hotkey_name), {scale(6), scale(138), w - scale(6), scale(160)}},
          {"或点击开始", {scale(6), scale(158), w - scale(6), scale(180)}}};
}

bool MiniLayout::in_button(int x, int y) const {
  const MiniPoint c = button_centre();
  const long long dx = x - c.x;
  const long long dy = y - c.y;
  const long long r = click_radius();
  return dx * dx + dy * dy <= r * r;
}

bool MiniLayout::in_close(int x, int y) const {
  return x >= width() - scale(34) && x <= width() && y >= 0 && y <= scale(30);
}

bool MiniLayout::in_settings(int x, int y) const {
  const int reach = scale(18);
  return std::abs(x - width() / 2) <= reach && std::abs(y - scale(210)) <= reach;
}

MiniHit MiniLayout::hit_test(int x, int y) const {
  return in_button(x, y) || in_close(x, y) || in_settings(x, y) ? MiniHit::Client
                                                                : MiniHit::Caption;
}

MiniClick MiniLayout::click(int x, int y) const {
  if (in_close(x, y)) return MiniClick::Close;
  if (in_settings(x, y)) return MiniClick::Settings;
  if (in_button(x, y)) return MiniClick::Button;
  return MiniClick::Nothing;
}

}  // namespace kesu::shell
