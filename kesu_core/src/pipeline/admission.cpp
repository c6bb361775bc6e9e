#include "pipeline/admission.h"

namespace kesu {
namespace {

constexpr std::string_view kBusy = "busy";

Admission refuse(std::string_view message) { return {Verdict::refuse, kBusy, message}; }
constexpr Admission kAccept{};
constexpr Admission kIgnore{Verdict::ignore, {}, {}};

}  // namespace

bool busy(const Activity& now) { return now.phase != Phase::idle || now.final_decode_running; }

Admission admit(Request request, const Activity& now) {
  switch (request) {
    case Request::press:
      if (now.phase != Phase::idle) return kIgnore;
      if (now.enrolment_recording) return refuse("正在录声纹，录完再按住说话");
      if (busy(now)) return refuse("上一段还在识别，请稍后再试");
      return kAccept;
    case Request::release:
      if (now.phase == Phase::listening) {
        return now.final_decode_running ? refuse("上一段还在识别，请稍后再试") : kAccept;
      }
      // The press was ignored because the last dictation is being recognised: say why now.
      if (now.phase == Phase::processing) return refuse("上一段还在识别，请稍后再试");
      return kIgnore;
    case Request::retry_failed:
      return busy(now) ? refuse("正在录音或识别，稍后再重试") : kAccept;
    case Request::decode_wav:
    case Request::debug_text:
      return busy(now) ? refuse("正在处理上一次录音，稍后再试") : kAccept;
    case Request::retry_segment:
      // One segment retry at a time: shutdown waits on the one flag that tracks it.
      return busy(now) || now.segment_retry_running ? refuse("正在识别，稍后再重试这一段") : kAccept;
    case Request::meter_start:
      // The meter is a preview: it never takes the microphone from a recording.
      return now.meter_open || now.phase != Phase::idle || now.enrolment_recording ? kIgnore : kAccept;
  }
  return kIgnore;
}

}  // namespace kesu
