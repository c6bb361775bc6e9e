// Downloads against the loopback file server with the system's curl and tar: mirror and official
// addresses, resume, failures and their messages, installing and the check after it.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "config/config_record.h"
#include "models/catalog.h"
#include "models/download.h"
#include "models/model_pull.h"
#include "util/child_process.h"
#include "support/event_recorder.h"
#include "support/test_server.h"

namespace {

namespace fs = std::filesystem;
using kesu::CatalogRow;
using kesu::ModelPuller;
using kesu_test::EventRecorder;
using kesu_test::Json;
using kesu_test::set_env;
using kesu_test::TempDir;

std::string utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

void write_file(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const CatalogRow& row(const char* id) { return *kesu::find_catalog_row(id); }

bool is_terminal(const Json& e) { return e["type"] == "model_done" || e["type"] == "model_failed"; }

class ModelDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = kesu_test::test_server_base();
    ASSERT_FALSE(server_.empty()) << "the loopback test server is not running";
    for (const char* name :
         {"HTTPS_PROXY", "https_proxy", "HTTP_PROXY", "http_proxy", "ALL_PROXY", "all_proxy"}) {
      set_env(name, nullptr);
    }
    set_env("KESU_MODEL_RELEASE_BASE", url("ok", official_root()).c_str());
  }
  void TearDown() override { set_env("KESU_MODEL_RELEASE_BASE", nullptr); }

  fs::path official_root() const { return dir_.path() / "official"; }
  fs::path mirror_root() const { return dir_.path() / "mirror"; }
  fs::path core_dir() const { return dir_.path() / "core"; }
  fs::path models_dir() const { return core_dir() / "models"; }
  fs::path download_dir() const { return models_dir() / ".download"; }
  fs::path marker(const char* id) const { return kesu::marker_path(models_dir(), row(id)); }

  // The loopback server's address of a local file, served in the given way.
  std::string url(const std::string& mode, const fs::path& local) const {
    return server_ + "/dl/" + mode + utf8(local);
  }

  void publish_official(const char* id, const std::string& bytes) {
    write_file(official_root() / std::string(row(id).release_tag) / std::string(row(id).file_name),
               bytes);
  }
  void publish_mirror(const char* id, const std::string& bytes) {
    write_file(mirror_root() / std::string(row(id).file_name), bytes);
  }

  // A .tar.bz2 holding the model's own folder with the given files.
  std::string make_archive(const char* id, const std::map<std::string, std::string>& files) {
    const fs::path src = dir_.path() / "archive-src";
    fs::remove_all(src);
    const std::string top = fs::path(std::string(row(id).marker)).begin()->string();
    for (const auto& [name, bytes] : files) write_file(src / top / name, bytes);
    const fs::path out = dir_.path() / "archive.tar.bz2";
    const kesu::ChildResult tar =
        kesu::run_captured({"tar", "-cjf", utf8(out), "-C", utf8(src), top});
    EXPECT_EQ(tar.exit_code, 0) << tar.err;
    return read_file(out);
  }

  // Runs one pull to its end; returns every event it emitted.
  std::vector<Json> pull(const char* id, const std::string& mirror,
                         kesu::ModelSelfTest self_test = kesu::check_marker_present) {
    kesu::ConfigRecord config = kesu::default_config(core_dir());
    config.models_mirror = mirror;
    auto events = std::make_shared<kesu::EventSink>();
    EventRecorder recorder;
    events->set(&EventRecorder::callback, &recorder);
    {
      ModelPuller puller({core_dir(), std::make_shared<kesu::ConfigStore>(config), events,
                          std::make_shared<std::atomic<bool>>(false)},
                         std::move(self_test));
      const ModelPuller::PullResult accepted = puller.pull(id);
      EXPECT_EQ(accepted.answer, ModelPuller::Answer::accepted) << accepted.message;
      EXPECT_FALSE(recorder.wait_for(is_terminal, std::chrono::seconds(60)).is_null());
    }
    events->clear();
    return recorder.events();
  }

  // The /dl requests the server received for files of this test.
  std::vector<Json> file_requests() const {
    const kesu::ChildResult run = kesu::run_captured({"curl", "-s", server_ + "/dl-requests"});
    std::vector<Json> mine;
    for (const Json& r : Json::parse(run.out)) {
      if (r["path"].get<std::string>().find(utf8(dir_.path())) != std::string::npos) {
        mine.push_back(r);
      }
    }
    return mine;
  }

  TempDir dir_;
  std::string server_;
};

// Payload of the terminal event; fails the test when the pull did not end exactly once.
Json terminal_payload(const std::vector<Json>& events, const char* expected_type) {
  int terminals = 0;
  for (const Json& e : events) terminals += is_terminal(e) ? 1 : 0;
  EXPECT_EQ(terminals, 1);
  if (events.empty()) return {};
  EXPECT_EQ(events.back()["type"], expected_type) << events.back().dump();
  return events.back()["payload"];
}

TEST_F(ModelDownloadTest, FromTheMirrorWithSteadyProgress) {
  const std::string archive =
      make_archive("sense", {{"model.int8.onnx", random_bytes(200 << 10, 1)}, {"tokens.txt", "a"}});
  publish_mirror("sense", archive);
  const std::vector<Json> events = pull("sense", url("slow", mirror_root()) + "//");

  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0].dump(),
            R"({"generation":0,"payload":{"id":"sense","phase":"starting","received":0,"total":0},)"
            R"("schema":1,"seq":0,"session":0,"type":"model_progress"})");
  std::uint64_t last_received = 0;
  std::size_t downloading = 0;
  for (std::size_t i = 1; i + 1 < events.size(); ++i) {
    const Json& p = events[i]["payload"];
    ASSERT_EQ(events[i]["type"], "model_progress");
    EXPECT_EQ(p["phase"], "downloading");
    EXPECT_EQ(p["total"], archive.size());
    EXPECT_GE(p["received"].get<std::uint64_t>(), last_received);
    last_received = p["received"];
    ++downloading;
  }
  EXPECT_GE(downloading, 2u);  // at least one while curl ran, and the final one
  EXPECT_EQ(events[events.size() - 2]["payload"]["received"], archive.size());

  const Json done = terminal_payload(events, "model_done");
  EXPECT_EQ(done["path"], utf8(marker("sense")));
  EXPECT_EQ(read_file(marker("sense")), random_bytes(200 << 10, 1));
  EXPECT_TRUE(fs::is_empty(download_dir()));  // no partial, finished or error file left
  for (const Json& r : file_requests()) {
    EXPECT_NE(r["path"].get<std::string>().find("/mirror/"), std::string::npos) << r.dump();
  }
}

TEST_F(ModelDownloadTest, MirrorWithoutTheFileFallsBackToTheOfficialRelease) {
  const std::string model = random_bytes(30000, 2);
  publish_official("gtcrn", model);
  fs::create_directories(mirror_root());
  write_file(download_dir() / "gtcrn_simple.onnx.part", "stale bytes from another server");

  testing::internal::CaptureStderr();
  const std::vector<Json> events = pull("gtcrn", url("ok", mirror_root()));
  const std::string stderr_text = testing::internal::GetCapturedStderr();

  terminal_payload(events, "model_done");
  EXPECT_EQ(read_file(marker("gtcrn")), model);  // the stale partial file was not resumed
  EXPECT_NE(stderr_text.find("[kesu] 镜像没有这个文件，改走官方源：" + url("ok", mirror_root()) +
                             "/gtcrn_simple.onnx（下载失败（curl 22）"),
            std::string::npos)
      << stderr_text;
}

TEST_F(ModelDownloadTest, WhenBothAddressesFailTheOfficialErrorIsReported) {
  fs::create_directories(mirror_root());
  set_env("KESU_MODEL_RELEASE_BASE", "http://127.0.0.1:1/nothing-listens");
  const std::vector<Json> events = pull("gtcrn", url("ok", mirror_root()));
  const std::string message = terminal_payload(events, "model_failed")["message"];
  EXPECT_TRUE(message.starts_with("下载失败（curl 7）")) << message;
  EXPECT_TRUE(
      message.ends_with("连不上服务器：防火墙/代理挡了，或镜像地址不可达；没有检测到系统代理"))
      << message;
  EXPECT_FALSE(fs::exists(marker("gtcrn")));
}

TEST_F(ModelDownloadTest, WithoutContentLengthTheTotalIsWhatIsAlreadyThere) {
  const std::string model = random_bytes(150 << 10, 3);
  publish_mirror("speaker", model);
  for (std::size_t already : {std::size_t{0}, std::size_t{40000}}) {
    SCOPED_TRACE(already);
    fs::remove_all(models_dir());
    if (already > 0) {
      write_file(download_dir() / (std::string(row("speaker").file_name) + ".part"),
                 model.substr(0, already));
    }
    const std::vector<Json> events = pull("speaker", url("slow-nolength", mirror_root()));
    terminal_payload(events, "model_done");
    ASSERT_GE(events.size(), 4u);
    for (std::size_t i = 1; i + 2 < events.size(); ++i) {
      EXPECT_EQ(events[i]["payload"]["total"], already) << events[i].dump();
    }
    EXPECT_EQ(events[events.size() - 2]["payload"]["total"], model.size());
    EXPECT_EQ(read_file(marker("speaker")), model);
  }
}

TEST_F(ModelDownloadTest, ADroppedConnectionIsResumedByTheNextPull) {
  const std::string model = random_bytes(100000, 4);
  publish_mirror("speaker", model);
  const fs::path partial = download_dir() / (std::string(row("speaker").file_name) + ".part");

  const std::string message =
      terminal_payload(pull("speaker", url("drop", mirror_root())), "model_failed")["message"];
  EXPECT_TRUE(message.starts_with("下载失败（curl 18）")) << message;
  EXPECT_NE(message.find("传输中断：网络不稳定或中间设备重置了连接"), std::string::npos);
  ASSERT_TRUE(fs::exists(partial));
  const std::uintmax_t kept = fs::file_size(partial);
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, model.size());

  terminal_payload(pull("speaker", url("drop", mirror_root())), "model_done");
  EXPECT_EQ(read_file(marker("speaker")), model);
  bool resumed = false;
  for (const Json& r : file_requests()) {
    resumed |= r["method"] == "GET" && r["range"] == "bytes=" + std::to_string(kept) + "-";
  }
  EXPECT_TRUE(resumed);
}

TEST_F(ModelDownloadTest, ACorruptArchiveIsReportedAndNotKeptForTheRetry) {
  publish_mirror("punct", random_bytes(5000, 5));
  const std::string message =
      terminal_payload(pull("punct", url("ok", mirror_root())), "model_failed")["message"];
  EXPECT_TRUE(message.starts_with("解包失败（")) << message;
  EXPECT_FALSE(fs::exists(marker("punct")));
  EXPECT_FALSE(fs::exists(download_dir() / std::string(row("punct").file_name)));
}

TEST_F(ModelDownloadTest, AModelThatDoesNotLoadIsDeletedAndOthersAreKept) {
  struct Case {
    const char* id;
    bool archive;
  };
  for (const Case c : {Case{"punct", true}, Case{"gtcrn", false}}) {
    SCOPED_TRACE(c.id);
    fs::remove_all(models_dir());
    const fs::path neighbour_dir = models_dir() / "other-model";
    write_file(neighbour_dir / "keep.onnx", "k");
    write_file(models_dir() / "silero_vad.onnx", "v");
    publish_mirror(c.id, c.archive ? make_archive(c.id, {{"model.int8.onnx", "m"}}) : "m");

    fs::path tested_dir;
    const Json failed = terminal_payload(
        pull(c.id, url("ok", mirror_root()),
             [&](const CatalogRow& r, const fs::path& d) -> kesu::Status {
               EXPECT_EQ(r.id, c.id);
               tested_dir = d;
               return kesu::Error{kesu::ErrorCode::other, "模型加载失败"};
             }),
        "model_failed");
    EXPECT_EQ(failed["message"],
              "下载的文件打不开（可能是网络断了或代理坏了），已删除，请重试：模型加载失败");
    EXPECT_EQ(failed["path"], utf8(marker(c.id)));
    EXPECT_EQ(tested_dir, marker(c.id).parent_path());
    EXPECT_FALSE(fs::exists(marker(c.id)));
    if (auto own = kesu::model_own_directory(models_dir(), row(c.id))) {
      EXPECT_FALSE(fs::exists(*own));
    }
    EXPECT_TRUE(fs::exists(neighbour_dir / "keep.onnx"));
    EXPECT_TRUE(fs::exists(models_dir() / "silero_vad.onnx"));
  }
}

TEST_F(ModelDownloadTest, AnArchiveWithoutTheMainFileFailsTheCheck) {
  publish_mirror("sense", make_archive("sense", {{"tokens.txt", "t"}}));
  const Json failed = terminal_payload(pull("sense", url("ok", mirror_root())), "model_failed");
  EXPECT_EQ(failed["message"],
            "下载的文件打不开（可能是网络断了或代理坏了），已删除，请重试：解包后没找到 " +
                utf8(marker("sense")));
  EXPECT_FALSE(fs::exists(*kesu::model_own_directory(models_dir(), row("sense"))));
}

TEST_F(ModelDownloadTest, AFinishedDownloadIsInstalledWithoutTheNetwork) {
  set_env("KESU_MODEL_RELEASE_BASE", "http://127.0.0.1:1/nothing-listens");
  write_file(download_dir() / "gtcrn_simple.onnx", "finished");
  write_file(download_dir() / "gtcrn_simple.onnx.part", "older");
  terminal_payload(pull("gtcrn", ""), "model_done");
  EXPECT_EQ(read_file(marker("gtcrn")), "finished");
  EXPECT_TRUE(fs::is_empty(download_dir()));
}

TEST_F(ModelDownloadTest, LocalFailuresNameWhatWentWrong) {
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  struct Case {
    const char* name;
    std::function<void()> prepare;
    const char* id;
    const char* message_start;
  };
  const Case cases[] = {
      {"models folder is a file", [&] { write_file(models_dir(), "x"); }, "gtcrn",
       "建下载目录失败："},
      {"no curl", [&] { set_env("PATH", utf8(dir_.path() / "empty").c_str()); }, "gtcrn",
       "启动 curl 失败："},
      {"no tar",
       [&] {
         write_file(download_dir() / std::string(row("punct").file_name), "archive");
         set_env("PATH", utf8(dir_.path() / "empty").c_str());
       },
       "punct", "调用 tar 失败："},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(models_dir());
    c.prepare();
    const std::string message =
        terminal_payload(pull(c.id, url("ok", mirror_root())), "model_failed")["message"];
    set_env("PATH", path.c_str());
    EXPECT_TRUE(message.starts_with(c.message_start)) << message;
  }
}

}  // namespace
