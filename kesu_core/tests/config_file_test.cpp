#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "config/config_file.h"
#include "config/config_toml.h"
#include "support/event_recorder.h"
#include "util/paths.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using kesu::ConfigRecord;
using kesu_test::TempDir;

std::string warning_text(const ConfigRecord& record) {
  return record.load_warning ? kesu::user_message(*record.load_warning) : std::string();
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ConfigFile, FirstStartWritesTheDefaultFile) {
  TempDir dir;
  const fs::path core_dir = dir.path() / "新目录";  // created on demand
  const ConfigRecord record = kesu::load_config(core_dir);
  EXPECT_FALSE(record.load_warning.has_value());
  EXPECT_EQ(record, kesu::default_config(core_dir));
  EXPECT_EQ(read_text(kesu::config_path(core_dir)), kesu::render_config_toml(record));
  EXPECT_FALSE(fs::exists(core_dir / "config.toml.tmp"));
}

TEST(ConfigFile, SavedValuesComeBackAndMissingKeysKeepDefaults) {
  TempDir dir;
  std::ofstream(kesu::config_path(dir.path())) << "[audio]\nmin_record_ms = 250\n[insert]\nmode = \"keystroke\"\n";
  const ConfigRecord record = kesu::load_config(dir.path());
  EXPECT_FALSE(record.load_warning.has_value());
  EXPECT_EQ(record.audio_min_record_ms, 250);
  EXPECT_EQ(record.insert_mode, "keystroke");
  EXPECT_EQ(record.history_limit, 200);
  // A file that parsed is left as the user wrote it.
  EXPECT_EQ(read_text(kesu::config_path(dir.path())).rfind("[audio]", 0), 0u);
}

TEST(ConfigFile, BrokenFileIsBackedUpAndReplacedByDefaults) {
  TempDir dir;
  const std::string broken = "[engine\nactive = \"sense\"\n";
  std::ofstream(kesu::config_path(dir.path()), std::ios::binary) << broken;
  const ConfigRecord record = kesu::load_config(dir.path());

  const fs::path backup = dir.path() / "config.toml.broken";
  EXPECT_EQ(read_text(backup), broken);
  ASSERT_TRUE(record.load_warning.has_value());
  EXPECT_EQ(record.load_warning->code, kesu::ErrorCode::config_parse_failed_backed_up);
  EXPECT_EQ(warning_text(record).rfind("config.toml 解析失败（已用默认值）：", 0), 0u);
  const std::string backup_note = "。原文件备份在 " + kesu::path_to_utf8(backup);
  EXPECT_EQ(warning_text(record).substr(warning_text(record).size() - backup_note.size()),
            backup_note);
  EXPECT_EQ(read_text(kesu::config_path(dir.path())), kesu::render_config_toml(record));
}

TEST(ConfigFile, UnreadableFileKeepsDefaultsWithAWarning) {
  TempDir dir;
  fs::create_directories(kesu::config_path(dir.path()));  // a directory where the file should be
  const ConfigRecord record = kesu::load_config(dir.path());
  ASSERT_TRUE(record.load_warning.has_value());
  EXPECT_EQ(warning_text(record), "读取 config.toml 失败（已用默认值）：config.toml 是一个目录");
  ConfigRecord expected = kesu::default_config(dir.path());
  expected.load_warning = record.load_warning;
  EXPECT_EQ(record, expected);
}

TEST(ConfigFile, DefaultsThatCannotBeSavedAreReported) {
  TempDir dir;
  fs::create_directories(dir.path() / "config.toml.tmp");  // the temporary file cannot be written
  const ConfigRecord record = kesu::load_config(dir.path());
  ASSERT_TRUE(record.load_warning.has_value());
  EXPECT_EQ(warning_text(record).rfind("无法写入默认 config.toml：写配置失败：", 0), 0u)
      << warning_text(record);
  EXPECT_FALSE(fs::exists(kesu::config_path(dir.path())));
}

// Out-of-range values in a hand-edited file are held to their rules with a warning naming them;
// the file itself is the user's text and stays as written until the next save.
TEST(ConfigFile, OutOfRangeValuesAreHeldToTheirRulesWithAWarning) {
  TempDir dir;
  const std::string text =
      "[engine]\nactive = \"bogus\"\nnum_threads = 100000\n"
      "[audio]\nvoice_lock_threshold = nan\n[lan]\nport = 80\n";
  std::ofstream(kesu::config_path(dir.path()), std::ios::binary) << text;
  const ConfigRecord record = kesu::load_config(dir.path());
  EXPECT_EQ(record.engine_active, "sense");
  EXPECT_EQ(record.engine_num_threads, 8);
  EXPECT_EQ(record.audio_voice_lock_threshold, 0.62);
  EXPECT_EQ(record.lan_port, 1024);
  ASSERT_TRUE(record.load_warning.has_value());
  EXPECT_EQ(warning_text(record),
            "config.toml 里有值不合规定，已按规则调整：engine.num_threads：100000 → 8；"
            "lan.port：80 → 1024；audio.voice_lock_threshold：nan → 0.62；"
            "engine.active：「bogus」 → 「sense」");
  EXPECT_EQ(read_text(kesu::config_path(dir.path())), text);
  EXPECT_FALSE(fs::exists(dir.path() / "config.toml.broken"));
}

TEST(ConfigFile, UnknownEngineInTheEnvironmentIsIgnored) {
  TempDir dir;
  std::ofstream(kesu::config_path(dir.path())) << "[engine]\nactive = \"qwen3\"\n";
  kesu_test::set_env("KESU_ENGINE", "bogus");
  const ConfigRecord record = kesu::load_config(dir.path());
  kesu_test::set_env("KESU_ENGINE", nullptr);
  EXPECT_EQ(record.engine_active, "qwen3");
}

TEST(ConfigFile, EnvironmentOverridesWinOverTheFile) {
  TempDir dir;
  std::ofstream(kesu::config_path(dir.path()))
      << "[engine]\nactive = \"qwen3\"\n[models]\ndir = \"/from/file\"\n";
  kesu_test::set_env("KESU_ENGINE", "stub");
  kesu_test::set_env("KESU_MODEL_DIR", "/env/sense");
  kesu_test::set_env("KESU_VAD_MODEL", "/env/vad.onnx");
  const ConfigRecord record = kesu::load_config(dir.path());
  kesu_test::set_env("KESU_ENGINE", nullptr);
  kesu_test::set_env("KESU_MODEL_DIR", nullptr);
  kesu_test::set_env("KESU_VAD_MODEL", nullptr);
  EXPECT_EQ(record.engine_active, "stub");
  EXPECT_EQ(record.models_dir, "/env/sense");
  EXPECT_EQ(record.models_vad, "/env/vad.onnx");
  EXPECT_EQ(record.models_qwen3, kesu::default_config(dir.path()).models_qwen3);
}

TEST(ConfigFile, SaveReplacesAnExistingFile) {
  TempDir dir;
  ConfigRecord record = kesu::load_config(dir.path());
  for (int i = 1; i <= 3; ++i) {
    record.history_limit = i;
    ASSERT_TRUE(kesu::save_config(record).ok());
    EXPECT_EQ(kesu::load_config(dir.path()).history_limit, i);
  }
}

#if !defined(_WIN32)
unsigned mode_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// The file holds the API key and the LAN token: no other user may read it, whatever mode an
// older version or a leftover temporary file had.
TEST(ConfigFile, OnlyTheUserMayReadTheFile) {
  TempDir dir;
  const fs::path file = kesu::config_path(dir.path());
  const fs::path tmp = dir.path() / "config.toml.tmp";

  ConfigRecord record = kesu::load_config(dir.path());  // created with the defaults
  EXPECT_EQ(mode_of(file), 0600u);

  fs::permissions(file, fs::perms(0644));
  record = kesu::load_config(dir.path());  // an older file is narrowed when it is read
  EXPECT_EQ(mode_of(file), 0600u);

  fs::permissions(file, fs::perms(0644));
  std::ofstream(tmp) << "left over";
  fs::permissions(tmp, fs::perms(0666));
  record.polish_api_key = "sk-secret";
  ASSERT_TRUE(kesu::save_config(record).ok());
  EXPECT_EQ(mode_of(file), 0600u);  // written through the narrowed temporary file
  EXPECT_FALSE(fs::exists(tmp));

  fs::permissions(file, fs::perms(0644));
  std::ofstream(file, std::ios::app) << "[broken\n";
  (void)kesu::load_config(dir.path());
  EXPECT_EQ(mode_of(dir.path() / "config.toml.broken"), 0600u);  // the backup holds the key too
  EXPECT_EQ(mode_of(file), 0600u);
}

// A process killed at any moment of a save leaves either the old or the new file, whole.
TEST(ConfigFile, KilledWhileSavingLeavesACompleteFile) {
  TempDir dir;
  ConfigRecord first = kesu::load_config(dir.path());
  ConfigRecord second = first;
  second.audio_device = std::string(20000, 'x');  // a longer file widens the window for tearing
  second.history_limit = 7;
  std::mt19937 random(12345);
  for (int round = 0; round < 40; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (unsigned i = 0;; ++i) (void)kesu::save_config(i % 2 ? second : first);
    }
    usleep(1000 + random() % 20000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const kesu::Result<ConfigRecord> parsed =
        kesu::parse_config_toml(read_text(kesu::config_path(dir.path())), first);
    ASSERT_TRUE(parsed.ok()) << "round " << round << ": " << kesu::user_message(parsed.error());
    EXPECT_TRUE(*parsed == first || *parsed == second) << "round " << round;
  }
}
#endif

}  // namespace
