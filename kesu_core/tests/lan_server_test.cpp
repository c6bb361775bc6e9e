// The LAN dictation server through real sockets: access, routing, every refusal of a
// transcription, the in-flight limit, slow, silent and many clients, the request log, restarts,
// and texts made the way dictations make them.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "hotwords/hotword_file.h"
#include "lan/lan_http.h"
#include "lan/lan_server.h"
#include "lan/lan_socket.h"
#include "lib/core.h"
#include "pipeline/final_decode.h"
#include "support/event_recorder.h"
#include "support/tcp_client.h"

namespace {

using namespace kesu_test;
using namespace std::chrono_literals;

// Recognises every segment as `text` (silence, all zeros, as nothing).
class EchoSpeech final : public kesu::SpeechBackend {
 public:
  kesu::Recognition recognise(std::span<const float>) override { return {}; }
  kesu::SegmentedDecode decode_segments(std::span<const float> samples, const kesu::ConfigRecord&,
                                        const kesu::SegmentFilter&) override {
    kesu::SegmentedDecode out;
    bool silent = true;
    for (const float s : samples) silent = silent && s == 0.0f;
    kesu::DecodedSegment segment;
    segment.text = silent ? "" : " 你好 \"世界\" ";
    out.segments.push_back(std::move(segment));
    return out;
  }
  std::string punctuate(std::string t, const kesu::ConfigRecord&) override { return t; }
  std::string engine_name() const override { return "stub"; }
  bool speech_model_installed() const override { return true; }
};

// Recognises three segments, the middle one failing; joins them by its own rule, punctuates as
// the configuration says and notes which detector model it was told to use.
class SegmentedSpeech final : public kesu::SpeechBackend {
 public:
  kesu::Recognition recognise(std::span<const float>) override { return {}; }
  kesu::SegmentedDecode decode_segments(std::span<const float>, const kesu::ConfigRecord& config,
                                        const kesu::SegmentFilter&) override {
    {
      std::lock_guard lock(mu_);
      vad_seen_ = config.models_vad;
    }
    kesu::SegmentedDecode out;
    for (const std::string text : {"hello", "", "world"}) {
      kesu::DecodedSegment segment;
      segment.index = static_cast<int>(out.segments.size());
      segment.text = text;
      if (text.empty()) segment.error = kesu::Error{kesu::ErrorCode::other, "这一段坏了"};
      out.segments.push_back(std::move(segment));
    }
    return out;
  }
  std::string punctuate(std::string t, const kesu::ConfigRecord& config) override {
    return config.audio_punct ? t + "。" : t;
  }
  std::string join(const std::vector<std::string>& texts) const override {
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : " + ") + t;
    return out;
  }
  std::string engine_name() const override { return "stub"; }
  bool speech_model_installed() const override { return true; }

  std::string vad_seen() const {
    std::lock_guard lock(mu_);
    return vad_seen_;
  }

 private:
  mutable std::mutex mu_;
  std::string vad_seen_;
};

std::string wav_of(std::size_t samples, float level = 0.2f) {
  return kesu::encode_wav_16k_mono(std::vector<float>(samples, level));
}

// 8-bit mono PCM at 1000 Hz: sixteen 16 kHz samples a byte.
std::string low_rate_wav(std::uint32_t samples) {
  std::string out = "RIFF";
  const auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put(36 + samples, 4);
  out += "WAVEfmt ";
  put(16, 4);
  put(1, 2);
  put(1, 2);
  put(1000, 4);
  put(1000, 4);
  put(1, 2);
  put(8, 2);
  out += "data";
  put(samples, 4);
  out += std::string(samples, static_cast<char>(0xA0));
  return out;
}

std::string post_transcribe(const std::string& body, const std::string& extra_headers = "") {
  return "POST /transcribe HTTP/1.1\r\nHost: x\r\n" + extra_headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class LanServer : public ::testing::Test {
 protected:
  virtual std::shared_ptr<kesu::SpeechBackend> make_speech() { return std::make_shared<EchoSpeech>(); }

  void SetUp() override {
    speech = make_speech();
    core = std::make_unique<kesu::Core>(dir.path(), kesu::CoreOptions{{}, speech, {}});
    core->shared().events.set(&EventRecorder::callback, &rec);
  }
  void TearDown() override { core.reset(); }

  void change(const std::function<void(kesu::ConfigRecord&)>& edit) {
    const auto replaced = core->shared().config.update([&](const kesu::ConfigRecord& current) {
      auto next = std::make_shared<kesu::ConfigRecord>(current);
      edit(*next);
      return next;
    });
    ASSERT_EQ(core->post(kesu::cmd::ConfigChanged{replaced.record, replaced.generation}),
              kesu::PostResult::queued);
  }

  // Switches the server on at a free port; returns it.
  std::uint16_t start(const std::string& token = "", bool allow_lan = false) {
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 10; ++attempt) {
      const auto port = static_cast<std::uint16_t>(20000 + random() % 40000);
      rec.reset();
      change([&](kesu::ConfigRecord& c) {
        c.lan_enabled = true;
        c.lan_port = port;
        c.lan_token = token;
        c.lan_allow_lan = allow_lan;
      });
      const Json outcome = rec.wait_for([](const Json& e) {
        return (e["type"] == "notice" && e["payload"]["code"] == "lan_listening") ||
               (e["type"] == "error" && e["payload"]["code"] == "lan_failed");
      });
      if (!outcome.is_null() && outcome["type"] == "notice") return port;
    }
    ADD_FAILURE() << "no free port";
    return 0;
  }

  std::string get(std::uint16_t port, const std::string& target, const std::string& headers = "") {
    return http_exchange(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
  }

  TempDir dir;
  EventRecorder rec;
  std::shared_ptr<kesu::SpeechBackend> speech;
  std::unique_ptr<kesu::Core> core;
};

TEST_F(LanServer, WithoutATokenTheLocalMachineNeedsNone) {
  const std::uint16_t port = start();
  const std::string notice = rec.wait_for_type("notice")["payload"]["message"];
  EXPECT_EQ(notice, "局域网听写接口已开：http://127.0.0.1:" + std::to_string(port) +
                        "（POST /transcribe，不上屏、不写历史）");
  EXPECT_EQ(get(port, "/health"),
            "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: 58\r\n"
            "Connection: close\r\n\r\n{\"ok\":true,\"engine\":\"stub\",\"vad_ready\":false,\"protocol\":1}");
  const std::string page = get(port, "/index.html");
  EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: ", 0), 0u);
  EXPECT_NE(page.find("Cache-Control: no-store\r\n"), std::string::npos);
  EXPECT_NE(page.find("<title>Kesu 听写</title>"), std::string::npos);
  // The audio goes to the computer the core runs on, whatever system that is.
  EXPECT_NE(page.find("音频发到这台电脑，用它的本地模型转文字（不上传任何云端）。"), std::string::npos);
  EXPECT_NE(page.find("placeholder=\"token（这台电脑上设过的那个）\""), std::string::npos);
  EXPECT_EQ(page.find("Mac"), std::string::npos);
  EXPECT_EQ(body_of(get(port, "/Health")),
            R"({"ok":false,"code":"not_found","message":"只支持 GET /health 和 POST /transcribe"})");
  EXPECT_EQ(body_of(http_exchange(port, "GARBAGE\r\n\r\n")),
            R"({"ok":false,"code":"bad_request","message":"请求行看不懂"})");
}

TEST_F(LanServer, ATokenGuardsEverythingButThePage) {
  const std::uint16_t port = start("s3cret");
  const std::string forbidden = R"({"ok":false,"code":"forbidden","message":"token 不对：请在请求头加 x-kesu-token"})";
  EXPECT_EQ(get(port, "/").substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(body_of(get(port, "/health")), forbidden);
  EXPECT_EQ(body_of(get(port, "/health", "x-kesu-token: wrong\r\n")), forbidden);
  EXPECT_EQ(body_of(get(port, "/nowhere")), forbidden) << "the check comes before routing";
  EXPECT_EQ(get(port, "/health?a=1&token=s3cret").substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(get(port, "/health", "X-Kesu-Token:  s3cret \r\n").substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(get(port, "/nowhere?token=s3cret").substr(0, 22), "HTTP/1.1 404 Not Found");
}

TEST_F(LanServer, TranscriptionRefusals) {
  const std::uint16_t port = start();
  struct Case {
    const char* what;
    std::string request;
    std::string answer_start;
  };
  std::string rifx = wav_of(8000);
  rifx[3] = 'X';
  const Case cases[] = {
      {"no length", "POST /transcribe HTTP/1.1\r\n\r\n",
       "HTTP/1.1 400 Bad Request\r\n"},
      {"negative length", "POST /transcribe HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
       "HTTP/1.1 400 Bad Request\r\n"},
      {"one byte over the limit", "POST /transcribe HTTP/1.1\r\ncontent-length: 26214401\r\n\r\n",
       "HTTP/1.1 413 Payload Too Large\r\n"},
      {"RIFX", post_transcribe(rifx), "HTTP/1.1 400 Bad Request\r\n"},
      {"43 bytes", post_transcribe(wav_of(100).substr(0, 43)), "HTTP/1.1 400 Bad Request\r\n"},
      {"3999 samples", post_transcribe(wav_of(3999)), "HTTP/1.1 400 Bad Request\r\n"},
  };
  const std::string bodies[] = {
      R"({"ok":false,"code":"empty_body","message":"请求体是空的：请把 WAV 文件内容放在 body 里"})",
      R"({"ok":false,"code":"empty_body","message":"请求体是空的：请把 WAV 文件内容放在 body 里"})",
      R"({"ok":false,"code":"too_large","message":"太长了（26214401 字节）：上限 25MB（约 13 分钟 16k 音频）"})",
      R"({"ok":false,"code":"bad_wav","message":"不是 WAV 文件（要从 RIFF 开头）"})",
      R"({"ok":false,"code":"bad_wav","message":"不是 WAV 文件（要从 RIFF 开头）"})",
      R"({"ok":false,"code":"too_short","message":"音频太短了：至少 0.25 秒"})",
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string answer = http_exchange(port, cases[i].request);
    EXPECT_EQ(answer.rfind(cases[i].answer_start, 0), 0u) << cases[i].what << ": " << answer;
    EXPECT_EQ(body_of(answer), bodies[i]) << cases[i].what;
  }
}

TEST_F(LanServer, TranscriptionAnswers) {
  const std::uint16_t port = start();
  const Json text = Json::parse(body_of(http_exchange(port, post_transcribe(wav_of(4000)))));
  EXPECT_EQ(text["ok"], true);
  EXPECT_EQ(text["text"], "你好 \"世界\"");
  EXPECT_EQ(text["segments"], 1);
  EXPECT_EQ(text["chars"], 7);
  EXPECT_TRUE(text["ms"].is_number());
  EXPECT_EQ(body_of(http_exchange(port, post_transcribe(wav_of(16000, 0.0f)))),
            R"({"ok":true,"text":"","ms":0,"empty":true})");
}

TEST_F(LanServer, AThirdConnectionIsTurnedAwayAndLogged) {
  const std::uint16_t port = start();
  // Two clients that announce a body and never send it hold both places.
  TcpClient first(port), second(port);
  ASSERT_TRUE(first.send(std::string("POST /transcribe HTTP/1.1\r\nContent-Length: 100\r\n\r\n")));
  ASSERT_TRUE(second.send(std::string("POST /transcribe HTTP/1.1\r\nContent-Length: 100\r\n\r\n")));
  std::this_thread::sleep_for(600ms);
  const std::string busy = http_exchange(port, "GET /health HTTP/1.1\r\n\r\n");
  EXPECT_EQ(busy.rfind("HTTP/1.1 503 Internal Server Error\r\n", 0), 0u) << busy;
  EXPECT_EQ(body_of(busy), std::string(kesu::lan::kBusyBody));
  EXPECT_EQ(kesu::lan::kBusyBody.size(), 89u);

  Json log = Json::array();
  for (int i = 0; i < 200 && log.empty(); ++i) {
    std::this_thread::sleep_for(10ms);  // logged once the client has gone
    log = Json::parse(core->shared().lan.log_json());
  }
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back()["code"], 503);
  EXPECT_EQ(log.back()["bytes"], 89);
  EXPECT_EQ(log.back()["path"], "/health");
  EXPECT_EQ(log.back()["src"].get<std::string>().rfind("127.0.0.1:", 0), 0u);
}

TEST_F(LanServer, ASlowClientDoesNotHoldUpTheOthers) {
  const std::uint16_t port = start();
  TcpClient slow(port);
  ASSERT_TRUE(slow.send(std::string("G")));  // and nothing more for now
  for (int i = 0; i < 5; ++i) EXPECT_EQ(get(port, "/health").substr(0, 15), "HTTP/1.1 200 OK");
  ASSERT_TRUE(slow.send(std::string("ET /health HTTP/1.1\r\n\r\n")));
  EXPECT_EQ(slow.receive_all().substr(0, 15), "HTTP/1.1 200 OK");
}

// A low sample rate carries far more audio per byte than 16 kHz: the audio is judged by its
// length, read from the header before anything is decoded, not only by its bytes.
TEST_F(LanServer, AudioIsLimitedByItsLength) {
  const std::uint16_t port = start();
  const std::string over = http_exchange(port, post_transcribe(low_rate_wav(820'000)));  // 820 s in 820 kB
  EXPECT_EQ(over.rfind("HTTP/1.1 413 Payload Too Large\r\n", 0), 0u) << over;
  EXPECT_EQ(body_of(over), R"({"ok":false,"code":"too_long","message":"音频太长了（820 秒）：上限 819 秒（约 13 分钟）"})");
  const std::string at_limit = http_exchange(port, post_transcribe(low_rate_wav(819'200)));  // 819.2 s
  EXPECT_EQ(at_limit.substr(0, 15), "HTTP/1.1 200 OK") << body_of(at_limit);
}

// A head sent a byte at a time is cut off when its time is up, however steadily it trickles.
TEST_F(LanServer, ASlowHeadIsCutOffAtItsDeadline) {
  const std::uint16_t port = start();
  TcpClient slow(port);
  std::atomic<bool> answered{false};
  std::thread trickle([&] {
    const std::string head = "GET /health HTTP/1.1\r\nX-Pad: " + std::string(100, 'a');  // 26 s at this pace
    for (std::size_t i = 0; i < head.size() && !answered.load(); ++i) {
      if (!slow.send(head.substr(i, 1))) break;
      std::this_thread::sleep_for(200ms);
    }
  });
  const auto began = std::chrono::steady_clock::now();
  const std::string answer = slow.receive_all();
  const auto took = std::chrono::steady_clock::now() - began;
  answered.store(true);
  trickle.join();
  EXPECT_EQ(answer.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << answer;
  EXPECT_EQ(body_of(answer), R"({"ok":false,"code":"timeout","message":"收数据太慢了，已断开"})");
  EXPECT_LT(took, kesu::lan::kHeadTimeLimit + 10s) << "a generous bound";
}

// Clients that hold connections with an unfinished head (two) or nothing at all (ten) keep
// nobody out: a complete request is answered, and at once.
TEST_F(LanServer, SlowAndSilentClientsKeepNobodyOut) {
  const std::uint16_t port = start();
  std::vector<std::unique_ptr<TcpClient>> holders;
  for (int i = 0; i < 12; ++i) {
    holders.push_back(std::make_unique<TcpClient>(port));
    if (i < 2) {
      ASSERT_TRUE(holders.back()->send(std::string("GET /health HTTP/1.1\r\nX-Pad: a")));
    }
  }
  std::this_thread::sleep_for(300ms);
  for (int i = 0; i < 3; ++i) {
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(get(port, "/health").substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_LT(std::chrono::steady_clock::now() - began, 3s) << "a generous bound";
  }
}

// Beyond the connections the server gives threads to, a new one is answered busy at once; the
// accept loop never waits on a client that says nothing.
TEST_F(LanServer, ConnectionsBeyondTheLimitAreTurnedAwayAtOnce) {
  const std::uint16_t port = start();
  std::vector<std::unique_ptr<TcpClient>> silent;
  for (int i = 0; i < kesu::lan::kMaxConnections + 10; ++i) silent.push_back(std::make_unique<TcpClient>(port));
  std::this_thread::sleep_for(300ms);
  const auto began = std::chrono::steady_clock::now();
  const std::string busy = get(port, "/health");
  EXPECT_LT(std::chrono::steady_clock::now() - began, 3s) << "a generous bound";
  EXPECT_EQ(body_of(busy), std::string(kesu::lan::kBusyBody));

  silent.clear();  // their places come back as they leave
  std::string answer;
  for (int i = 0; i < 100 && answer.rfind("HTTP/1.1 200", 0) != 0; ++i) {
    std::this_thread::sleep_for(50ms);
    answer = get(port, "/health");
  }
  EXPECT_EQ(answer.substr(0, 15), "HTTP/1.1 200 OK");
}

// Many clients connecting at the same moment each get an answer (busy at worst), never a reset.
TEST_F(LanServer, ManyClientsConnectingAtOnceAllGetAnAnswer) {
  const std::uint16_t port = start();
  constexpr int kClients = 100;
  std::vector<std::string> answers(kClients);
  std::atomic<int> ready{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < kClients) std::this_thread::yield();
      answers[static_cast<std::size_t>(i)] = get(port, "/health");
    });
  }
  for (std::thread& t : clients) t.join();
  int answered = 0;
  for (const std::string& a : answers) {
    answered += a.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 || a.rfind("HTTP/1.1 503 ", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(answered, kClients);
}

TEST_F(LanServer, TheLogKeepsTheLatestForty) {
  EXPECT_EQ(core->shared().lan.log_json(), "[]");
  const std::uint16_t port = start();
  for (int i = 0; i < 45; ++i) get(port, "/health?n=" + std::to_string(i));
  for (int i = 0; i < 100 && Json::parse(core->shared().lan.log_json()).size() < 40; ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(50ms);
  const Json log = Json::parse(core->shared().lan.log_json());
  ASSERT_EQ(log.size(), 40u);
  EXPECT_EQ(log.front().begin().key(), "at") << "keys in their fixed order";
  EXPECT_EQ(log.back()["code"], 200);
  EXPECT_EQ(log.back()["path"], "/health");
}

TEST_F(LanServer, RestartsOnlyWhenItsSettingsChange) {
  const std::uint16_t port = start();
  rec.reset();
  change([](kesu::ConfigRecord& c) { c.audio_min_record_ms = 500; });
  ASSERT_FALSE(rec.wait_for_type("config_changed").is_null());
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(rec.wait_for_type("notice", 0ms).is_null()) << "an unrelated change leaves it alone";

  const std::uint16_t moved = start();
  ASSERT_NE(moved, 0);
  if (moved != port) {
    EXPECT_EQ(get(port, "/health"), "") << "the old port is closed";
  }
  EXPECT_EQ(get(moved, "/health").substr(0, 15), "HTTP/1.1 200 OK");

  rec.reset();
  change([](kesu::ConfigRecord& c) {
    c.lan_token = "";
    c.lan_allow_lan = true;
  });
  EXPECT_EQ(rec.wait_for_error("lan_no_token")["payload"]["message"],
            "局域网接口开了「允许其它设备访问」，但没设 token：为了安全没有启动。请在设置 → 音频里设一个 token（或关掉「允许局域网」只给本机用）。");
  EXPECT_EQ(get(moved, "/health"), "");
}

// A port another program holds: the report names the address and the system's reason.
TEST_F(LanServer, APortInUseIsReportedWithItsAddress) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  rec.reset();
  change([](kesu::ConfigRecord& c) { c.lan_enabled = false; });
  ASSERT_FALSE(rec.wait_for_type("config_changed").is_null());
  // The server lets go of the port once the change is applied.
  kesu::Result<std::unique_ptr<kesu::lan::Listener>> holder = kesu::lan::Listener::open("127.0.0.1", port);
  for (int i = 0; i < 100 && !holder; ++i) {
    std::this_thread::sleep_for(20ms);
    holder = kesu::lan::Listener::open("127.0.0.1", port);
  }
  ASSERT_TRUE(holder) << kesu::user_message(holder.error());

  rec.reset();
  change([](kesu::ConfigRecord& c) { c.lan_enabled = true; });
  const std::string message = rec.wait_for_error("lan_failed")["payload"]["message"];
  const std::string lead = "局域网听写接口起不来：监听 127.0.0.1:" + std::to_string(port) + " 失败：";
  EXPECT_EQ(message.rfind(lead, 0), 0u) << message;
  EXPECT_GT(message.size(), lead.size()) << "the system's reason follows";
}

#ifndef _WIN32
std::size_t open_descriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST_F(LanServer, AThousandRequestsLeaveNothingBehind) {
  const std::uint16_t port = start();
  get(port, "/health");
  std::this_thread::sleep_for(100ms);
  const std::size_t before = open_descriptors();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(get(port, "/health").substr(0, 15), "HTTP/1.1 200 OK") << i;
  }
  std::this_thread::sleep_for(200ms);  // the last request threads finish
  EXPECT_LE(open_descriptors(), before);
}
#endif

class LanServerText : public LanServer {
 protected:
  std::shared_ptr<kesu::SpeechBackend> make_speech() override { return std::make_shared<SegmentedSpeech>(); }

  // The text a dictation makes of the same audio with the configuration and hotwords in force.
  std::string dictation_text(const std::vector<float>& audio) {
    kesu::FinalDecodeJob job;
    job.rest = audio;
    job.config = core->shared().config.snapshot();
    return kesu::run_final_decode(job, *speech, core->shared().hotwords, {}).text;
  }
};

// A request's text is joined the way a dictation's is (the engine's joining, failed segments left
// out) with the settings in force when the request comes, not those of the server's start. Unlike
// a dictation it gets no hotwords and no punctuation.
TEST_F(LanServerText, RequestsJoinLikeDictationsWithTheCurrentSettings) {
  const std::uint16_t port = start();
  const std::vector<float> audio(16000, 0.2f);
  const auto lan_text = [&] {
    const std::string answer = http_exchange(port, post_transcribe(kesu::encode_wav_16k_mono(audio)));
    return Json::parse(body_of(answer)).value("text", "(" + answer + ")");
  };
  EXPECT_EQ(dictation_text(audio), "hello + world。");
  EXPECT_EQ(lan_text(), "hello + world");

  ASSERT_TRUE(core->shared().hotwords.save_and_replace(
      kesu::HotwordTable({{"hello", "Hello"}}, kesu::hotwords_path(dir.path()))).ok());
  rec.reset();
  change([](kesu::ConfigRecord& c) {
    c.audio_punct = false;
    c.models_vad = "/elsewhere/silero_vad.onnx";
  });
  ASSERT_FALSE(rec.wait_for_type("config_changed").is_null());
  EXPECT_TRUE(rec.wait_for_type("notice", 0ms).is_null()) << "the server was not restarted";
  EXPECT_EQ(dictation_text(audio), "Hello + world");
  EXPECT_EQ(lan_text(), "hello + world");
  EXPECT_EQ(static_cast<SegmentedSpeech&>(*speech).vad_seen(), "/elsewhere/silero_vad.onnx");
}

}  // namespace
