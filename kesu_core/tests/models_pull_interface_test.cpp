// kesu_models_pull through the header: one download at a time, and a core shut down in the
// middle of a download.

#include <gtest/gtest.h>

#include <fstream>

#include "kesu_core.h"
#include "support/event_recorder.h"
#include "support/test_server.h"

namespace {

namespace fs = std::filesystem;
using kesu_test::CoreString;
using kesu_test::EventRecorder;
using kesu_test::Json;
using kesu_test::set_env;
using kesu_test::TempDir;

std::string utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

void write_file(const fs::path& p, std::size_t size) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << std::string(size, 'z');
}

bool terminal_for(const Json& e, const std::string& id) {
  return (e["type"] == "model_done" || e["type"] == "model_failed") && e["payload"]["id"] == id;
}

// Processes whose command line mentions `text`.
int processes_mentioning(const std::string& text) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (cmdline.find(text) != std::string::npos) ++count;
  }
  return count;
}

class ModelPullInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string server = kesu_test::test_server_base();
    ASSERT_FALSE(server.empty()) << "the loopback test server is not running";
    for (const char* name :
         {"HTTPS_PROXY", "https_proxy", "HTTP_PROXY", "http_proxy", "ALL_PROXY", "all_proxy"}) {
      set_env(name, nullptr);
    }
    // Every file is served slowly (16 KiB per 100 ms), so a download lasts as long as needed.
    set_env("KESU_MODEL_RELEASE_BASE", (server + "/dl/slow" + utf8(releases_.path())).c_str());
  }
  void TearDown() override { set_env("KESU_MODEL_RELEASE_BASE", nullptr); }

  void publish(const char* tag, const char* file, std::size_t size) {
    write_file(releases_.path() / tag / file, size);
  }

  TempDir releases_;
};

TEST_F(ModelPullInterfaceTest, OneDownloadAtATimeAndTheUnlistedVadModelCanBePulled) {
  publish("asr-models", "silero_vad.onnx", 100 << 10);
  publish("speech-enhancement-models", "gtcrn_simple.onnx", 1000);
  EventRecorder recorder;
  kesu_test::ScopedCore c;
  recorder.attach(c.core);

  ASSERT_EQ(kesu_models_pull(c.core, "vad", nullptr), KESU_OK);
  char* err = nullptr;
  EXPECT_EQ(kesu_models_pull(c.core, "gtcrn", &err), KESU_ERR_DOWNLOAD_BUSY);
  EXPECT_EQ(CoreString(err).str(), "已经有模型在下载了，等它完成");
  EXPECT_EQ(kesu_models_pull(c.core, "vad", nullptr), KESU_ERR_DOWNLOAD_BUSY);

  const Json vad = recorder.wait_for([](const Json& e) { return terminal_for(e, "vad"); },
                                     std::chrono::seconds(30));
  EXPECT_EQ(vad["type"], "model_done") << vad.dump();
  EXPECT_TRUE(fs::exists(c.dir.path() / "models" / "silero_vad.onnx"));
  // As soon as the first has ended, the next is accepted.
  ASSERT_EQ(kesu_models_pull(c.core, "gtcrn", nullptr), KESU_OK);
  const Json gtcrn = recorder.wait_for([](const Json& e) { return terminal_for(e, "gtcrn"); },
                                       std::chrono::seconds(30));
  EXPECT_EQ(gtcrn["type"], "model_done") << gtcrn.dump();
  EXPECT_EQ(kesu_models_pull(c.core, "gtcrn", nullptr), KESU_ERR_ALREADY_INSTALLED);
}

TEST_F(ModelPullInterfaceTest, ShuttingDownCancelsTheDownloadAndLeavesNoCurlBehind) {
  publish("asr-models", "silero_vad.onnx", 4 << 20);  // about 25 s at the server's pace
  EventRecorder recorder;
  TempDir dir;
  KesuCore* core = kesu_core_new(dir.utf8().c_str());
  ASSERT_NE(core, nullptr);
  recorder.attach(core);
  ASSERT_EQ(kesu_models_pull(core, "vad", nullptr), KESU_OK);
  const Json running = recorder.wait_for([](const Json& e) {
    return e["type"] == "model_progress" && e["payload"]["phase"] == "downloading";
  });
  ASSERT_FALSE(running.is_null());
  const std::string partial = utf8(dir.path() / "models" / ".download" / "silero_vad.onnx.part");
  EXPECT_EQ(processes_mentioning(partial), 1);

  kesu_core_free(core);
  const std::vector<Json> events = recorder.events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["type"], "model_failed");
  EXPECT_EQ(events.back()["payload"]["message"], "已取消");
  EXPECT_EQ(processes_mentioning(partial), 0);
  EXPECT_TRUE(fs::exists(partial));  // kept for the next start to resume
}

}  // namespace
