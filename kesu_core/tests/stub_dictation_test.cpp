// One stub dictation through the end of the pipeline: the result, the insertion handshake and its
// failures, cancellation, internal failures, and the pending-result file.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;
namespace fs = std::filesystem;

class StubDictation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(sc.core, nullptr);
    rec.attach(sc.core);
  }

  // Submits text and returns its submit request.
  Json dictate(const char* text) {
    EXPECT_EQ(kesu_debug_submit_text(sc.core, text), KESU_OK);
    return rec.wait_for([&](const Json& e) {
      return e["type"] == "submit_request" && e["payload"]["text"] == text;
    });
  }

  fs::path pending_file() const { return sc.dir.path() / "pending" / "last_result.txt"; }

  EventRecorder rec;  // declared first: destroyed after the core stops calling it
  ScopedCore sc;
};

TEST_F(StubDictation, ResultAndSubmitRequestCarryTheText) {
  kesu_set_test_mode(sc.core, 1);
  ASSERT_EQ(kesu_note_foreground_app(sc.core, "notepad.exe"), KESU_OK);
  const Json request = dictate("你好，世界。");
  ASSERT_FALSE(request.is_null());
  EXPECT_EQ(request["payload"],
            Json({{"app", "notepad.exe"}, {"mode", "paste"}, {"phase", "inserting"},
                  {"task_id", "t1-1"}, {"text", "你好，世界。"}}));

  const Json result = rec.wait_for_type("result")["payload"];
  EXPECT_EQ(result["task_id"], "t1-1");
  EXPECT_EQ(result["text"], "你好，世界。");
  EXPECT_EQ(result["raw_text"], "你好，世界。");
  EXPECT_EQ(result["partial"], false);
  EXPECT_TRUE(result["segments"].is_array());
  for (const char* member : {"history_id", "speech_ms", "decode_ms", "latency_ms", "wait_ms",
                             "engine_wait_ms", "privacy"}) {
    EXPECT_TRUE(result.contains(member)) << member;
  }
  EXPECT_EQ(CoreString(kesu_get_last_result(sc.core)).str(), "你好，世界。");

  std::vector<std::string> phases;
  ASSERT_EQ(kesu_submit_result(sc.core, "t1-1", "ok", nullptr), KESU_OK);
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());
  for (const Json& e : rec.events()) {
    if (e["type"] == "state") phases.push_back(e["payload"]["phase"]);
  }
  EXPECT_EQ(phases, (std::vector<std::string>{"processing", "inserting", "idle"}));

  ASSERT_EQ(kesu_clear_last_result(sc.core), KESU_OK);
  EXPECT_EQ(kesu_get_last_result(sc.core), nullptr);
}

TEST_F(StubDictation, FailedInsertionReportsTheHostsDetailOrADefault) {
  struct Case {
    const char* status;
    const char* detail;
    const char* code;
    const char* message;
  };
  const Case cases[] = {
      {"undelivered", "目标窗口拒绝粘贴", "submit_undelivered", "目标窗口拒绝粘贴"},
      {"unknown", nullptr, "submit_unknown", "无法自动粘贴，文字已保存，可从菜单复制"},
      {"unknown", "", "submit_unknown", "无法自动粘贴，文字已保存，可从菜单复制"},
  };
  kesu_set_test_mode(sc.core, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    rec.reset();
    const Json request = dictate("没贴上");
    ASSERT_FALSE(request.is_null());
    const std::string task = request["payload"]["task_id"];
    ASSERT_EQ(kesu_submit_result(sc.core, task.c_str(), c.status, c.detail), KESU_OK);
    const Json error = rec.wait_for_error(c.code);
    ASSERT_FALSE(error.is_null());
    EXPECT_EQ(error["payload"]["message"], c.message);
    EXPECT_FALSE(rec.wait_for_phase("idle").is_null());
    EXPECT_EQ(CoreString(kesu_get_last_result(sc.core)).str(), "没贴上");  // kept for the menu
  }
}

TEST_F(StubDictation, StaleSubmitIsIgnoredAndTheTaskKeepsWaiting) {
  kesu_set_test_mode(sc.core, 1);
  ASSERT_FALSE(dictate("等待中").is_null());
  ASSERT_EQ(kesu_submit_result(sc.core, "t9-9", "ok", nullptr), KESU_OK);
  const Json stale = rec.wait_for_error("stale_submit");
  ASSERT_FALSE(stale.is_null());
  EXPECT_EQ(stale["payload"]["message"], "上屏回报与当前任务不匹配，已忽略");

  ASSERT_EQ(kesu_submit_result(sc.core, "t1-1", "ok", nullptr), KESU_OK);
  EXPECT_FALSE(rec.wait_for_phase("idle").is_null());
}

TEST_F(StubDictation, CancelWhileInsertingIsRejectedAndBusyRefusesANewText) {
  kesu_set_test_mode(sc.core, 1);
  ASSERT_FALSE(dictate("正在粘贴").is_null());
  ASSERT_EQ(kesu_cancel(sc.core), KESU_OK);
  const Json rejected = rec.wait_for_error("cancel_rejected");
  ASSERT_FALSE(rejected.is_null());
  EXPECT_EQ(rejected["payload"]["message"], "文字已在粘贴中，无法取消");

  ASSERT_EQ(kesu_debug_submit_text(sc.core, "插队"), KESU_OK);
  EXPECT_FALSE(rec.wait_for_error("busy").is_null());
  ASSERT_EQ(kesu_submit_result(sc.core, "t1-1", "ok", nullptr), KESU_OK);
  EXPECT_FALSE(rec.wait_for_phase("idle").is_null());
}

TEST_F(StubDictation, InternalFailureIsReportedAndTheWorkerKeepsServing) {
  kesu_set_test_mode(sc.core, 1);
  ASSERT_FALSE(dictate("之前").is_null());
  ASSERT_EQ(kesu_debug_panic(sc.core), KESU_OK);
  const Json panic = rec.wait_for_error("worker_panic");
  ASSERT_FALSE(panic.is_null());
  EXPECT_EQ(panic["payload"]["message"], "核心内部错误，请重启 Kesu（详情见控制台日志）");
  EXPECT_FALSE(rec.wait_for_phase("idle").is_null());
  EXPECT_FALSE(dictate("之后").is_null());
}

TEST_F(StubDictation, EmptyTextEndsWithEmptyResult) {
  kesu_set_test_mode(sc.core, 1);
  ASSERT_EQ(kesu_debug_submit_text(sc.core, ""), KESU_OK);
  EXPECT_FALSE(rec.wait_for_error("empty_result").is_null());
  EXPECT_FALSE(rec.wait_for_phase("idle").is_null());
}

TEST_F(StubDictation, PendingFileFollowsTestModeAndConfirmation) {
  // Test mode persists nothing...
  kesu_set_test_mode(sc.core, 1);
  ASSERT_FALSE(dictate("测试模式").is_null());
  EXPECT_FALSE(fs::exists(pending_file()));
  ASSERT_EQ(kesu_submit_result(sc.core, "t1-1", "ok", nullptr), KESU_OK);
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());

  // ...unless KESU_KEEP_PENDING asks for the file.
  set_env("KESU_KEEP_PENDING", "1");
  rec.reset();
  ASSERT_FALSE(dictate("保留暂存").is_null());
  set_env("KESU_KEEP_PENDING", nullptr);
  ASSERT_TRUE(fs::exists(pending_file()));
  ASSERT_EQ(kesu_submit_result(sc.core, "t2-2", "ok", nullptr), KESU_OK);
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());
  EXPECT_FALSE(fs::exists(pending_file()));  // confirmed insertion removes it

  // Outside test mode an unconfirmed text stays on disk.
  kesu_set_test_mode(sc.core, 0);
  rec.reset();
  ASSERT_FALSE(dictate("未确认").is_null());
  {
    std::ifstream in(pending_file(), std::ios::binary);  // closed again: Windows keeps open files
    std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, "未确认");
  }
  ASSERT_EQ(kesu_drop_last_result(sc.core), KESU_OK);
  EXPECT_FALSE(fs::exists(pending_file()));
}

// Text that was never confirmed comes back at the next start; stale files are removed.
TEST(PendingAtStart, UnconfirmedTextIsRestoredAndOldFilesExpire) {
  TempDir dir;
  fs::create_directories(dir.path() / "pending");
  {
    std::ofstream(dir.path() / "pending" / "last_result.txt", std::ios::binary) << "上次的话";
    std::ofstream(dir.path() / "pending" / "last_failed.wav", std::ios::binary) << "RIFF";
  }
  fs::last_write_time(dir.path() / "pending" / "last_failed.wav",
                      fs::file_time_type::clock::now() - std::chrono::hours(25));

  KesuCore* core = kesu_core_new(dir.utf8().c_str());
  ASSERT_NE(core, nullptr);
  std::string restored;
  for (int i = 0; i < 400 && restored.empty(); ++i) {
    restored = CoreString(kesu_get_last_result(core)).str();
    if (restored.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(restored, "上次的话");
  kesu_core_free(core);
  EXPECT_FALSE(fs::exists(dir.path() / "pending" / "last_failed.wav"));
  EXPECT_TRUE(fs::exists(dir.path() / "pending" / "last_result.txt"));
}

}  // namespace
