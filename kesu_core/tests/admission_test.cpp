// Which requests the worker takes on in which situation, and what a refused user is told.

#include <gtest/gtest.h>

#include "pipeline/admission.h"

namespace {

using kesu::Activity;
using kesu::Phase;
using kesu::Request;
using kesu::Verdict;


struct Case {
  const char* what;
  Request request;
  Activity now;
  Verdict verdict;
  std::string_view message;  // with refuse
};

Activity idle() { return {}; }
Activity in(Phase phase) { return {.phase = phase}; }
// Idle again after a final decode stalled and was given up on: its thread still works.
Activity stalled() { return {.final_decode_running = true}; }
Activity enrolling() { return {.enrolment_recording = true}; }
Activity retrying_segment() { return {.segment_retry_running = true}; }
Activity metering() { return {.meter_open = true}; }

TEST(Admission, OneNotionOfBusyForEveryRequest) {
  const Case cases[] = {
      // A press: ignored during a dictation (the key repeats), refused before speaking when the
      // recording could not be recognised or the microphone is taken by an enrolment.
      {"press when idle", Request::press, idle(), Verdict::accept, {}},
      {"press while listening", Request::press, in(Phase::listening), Verdict::ignore, {}},
      {"press while processing", Request::press, in(Phase::processing), Verdict::ignore, {}},
      {"press while inserting", Request::press, in(Phase::inserting), Verdict::ignore, {}},
      {"press beside a stalled decode", Request::press, stalled(), Verdict::refuse, "上一段还在识别，请稍后再试"},
      {"press while an enrolment records", Request::press, enrolling(), Verdict::refuse, "正在录声纹，录完再按住说话"},
      {"press with the meter open takes the microphone", Request::press, metering(), Verdict::accept, {}},
      {"press beside a segment retry", Request::press, retrying_segment(), Verdict::accept, {}},
      // A release.
      {"release while listening", Request::release, in(Phase::listening), Verdict::accept, {}},
      {"release of an ignored press while processing", Request::release, in(Phase::processing), Verdict::refuse,
       "上一段还在识别，请稍后再试"},
      {"release of a refused press", Request::release, stalled(), Verdict::ignore, {}},
      {"release while idle", Request::release, idle(), Verdict::ignore, {}},
      {"release while inserting", Request::release, in(Phase::inserting), Verdict::ignore, {}},
      // Retries and files start a decode of their own: never beside another one.
      {"retry when idle", Request::retry_failed, idle(), Verdict::accept, {}},
      {"retry while listening", Request::retry_failed, in(Phase::listening), Verdict::refuse, "正在录音或识别，稍后再重试"},
      {"retry while inserting", Request::retry_failed, in(Phase::inserting), Verdict::refuse, "正在录音或识别，稍后再重试"},
      {"retry beside a stalled decode", Request::retry_failed, stalled(), Verdict::refuse, "正在录音或识别，稍后再重试"},
      {"wav when idle", Request::decode_wav, idle(), Verdict::accept, {}},
      {"wav while processing", Request::decode_wav, in(Phase::processing), Verdict::refuse, "正在处理上一次录音，稍后再试"},
      {"wav beside a stalled decode", Request::decode_wav, stalled(), Verdict::refuse, "正在处理上一次录音，稍后再试"},
      {"wav while an enrolment records", Request::decode_wav, enrolling(), Verdict::accept, {}},
      {"debug text beside a stalled decode", Request::debug_text, stalled(), Verdict::refuse, "正在处理上一次录音，稍后再试"},
      {"debug text while listening", Request::debug_text, in(Phase::listening), Verdict::refuse, "正在处理上一次录音，稍后再试"},
      {"segment retry when idle", Request::retry_segment, idle(), Verdict::accept, {}},
      {"segment retry beside a stalled decode", Request::retry_segment, stalled(), Verdict::refuse, "正在识别，稍后再重试这一段"},
      {"segment retry while processing", Request::retry_segment, in(Phase::processing), Verdict::refuse, "正在识别，稍后再重试这一段"},
      {"segment retry beside another", Request::retry_segment, retrying_segment(), Verdict::refuse, "正在识别，稍后再重试这一段"},
      // The meter never takes the microphone from a recording and is not started twice.
      {"meter when idle", Request::meter_start, idle(), Verdict::accept, {}},
      {"meter already open", Request::meter_start, metering(), Verdict::ignore, {}},
      {"meter while listening", Request::meter_start, in(Phase::listening), Verdict::ignore, {}},
      {"meter while an enrolment records", Request::meter_start, enrolling(), Verdict::ignore, {}},
      {"meter beside a stalled decode", Request::meter_start, stalled(), Verdict::accept, {}},
  };
  for (const Case& c : cases) {
    const kesu::Admission got = kesu::admit(c.request, c.now);
    EXPECT_EQ(got.verdict, c.verdict) << c.what;
    if (c.verdict == Verdict::refuse) {
      EXPECT_EQ(got.code, "busy") << c.what;
      EXPECT_EQ(got.message, c.message) << c.what;
    }
  }
}

}  // namespace
