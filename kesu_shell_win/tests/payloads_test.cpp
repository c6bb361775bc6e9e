#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "main/payloads.h"
#include "packed_payload.h"
#include "temp_dir.h"

using namespace kesu::shell;
namespace fs = std::filesystem;

namespace {

const std::vector<unsigned char> kCore = gzip_packed("core");
const std::vector<unsigned char> kRuntime = gzip_packed("rt");
const std::vector<unsigned char> kModel = gzip_packed("model");

const Payload kPayloads[] = {
    {"core.lib", PayloadKind::CoreLibrary, kCore},
    {"dep.lib", PayloadKind::Runtime, kRuntime},
    {"vad.onnx", PayloadKind::Model, kModel},
};

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const fs::path& p, std::string_view text) {
  std::ofstream(p, std::ios::binary) << text;
}

struct Fixture : ::testing::Test {
  TempDir exe, data;
  std::vector<std::string> logged;
  LogFn log = [this](std::string_view t) { logged.emplace_back(t); };
  Placement place() { return place_core_library(exe.path(), data.path(), kPayloads, log); }
};

}  // namespace

TEST(Stamp, Fnv1aAndEveryLibraryCovered) {
  const unsigned char a[] = {'a'};
  EXPECT_EQ(fnv1a64({}), 0xcbf29ce484222325ull);
  EXPECT_EQ(fnv1a64(a), 0xaf63dc4c8601ec8cull);
  const std::string stamp = expected_stamp(kPayloads);
  EXPECT_EQ(stamp.rfind(std::to_string(kCore.size()) + "-", 0), 0u);
  EXPECT_NE(stamp.find(" dep.lib=" + std::to_string(kRuntime.size()) + "-"), std::string::npos);
  EXPECT_EQ(stamp.find("vad.onnx"), std::string::npos);
}

using Placing = Fixture;

TEST_F(Placing, WritesOnceThenTrustsTheStampEvenWithATrailingBreak) {
  const Placement first = place();
  ASSERT_EQ(first.error, "");
  EXPECT_EQ(first.library, data.path() / "bin" / "core.lib");
  EXPECT_EQ(read(data.path() / "bin" / "dep.lib"), "rt");
  ASSERT_EQ(logged.size(), 1u);

  write(data.path() / "bin" / "kesu_core.stamp", expected_stamp(kPayloads) + "\r\n");
  write(data.path() / "bin" / "core.lib", "edited");  // same stamp: left alone
  EXPECT_EQ(place().error, "");
  EXPECT_EQ(read(data.path() / "bin" / "core.lib"), "edited");
  EXPECT_EQ(logged.size(), 1u);
}

TEST_F(Placing, RewritesWhenALibraryIsMissingOrTheStampDiffers) {
  ASSERT_EQ(place().error, "");
  fs::remove(data.path() / "bin" / "dep.lib");
  ASSERT_EQ(place().error, "");
  EXPECT_EQ(read(data.path() / "bin" / "dep.lib"), "rt");

  write(data.path() / "bin" / "kesu_core.stamp", "4-0000000000000000");
  write(data.path() / "bin" / "core.lib", "old");
  ASSERT_EQ(place().error, "");
  EXPECT_EQ(read(data.path() / "bin" / "core.lib"), "core");
}

TEST_F(Placing, LibraryBesideTheExecutableWinsAndNothingIsWritten) {
  write(exe.path() / "core.lib", "local build");
  const Placement p = place();
  EXPECT_EQ(p.library, exe.path() / "core.lib");
  EXPECT_FALSE(fs::exists(data.path() / "bin"));
  EXPECT_EQ(place_core_library(std::nullopt, data.path(), kPayloads, log).error,
            "拿不到 exe 所在目录");
}

TEST_F(Placing, UnwritableFolderIsReported) {
  write(data.path() / "bin", "a file where the folder should be");
  EXPECT_EQ(place().error.rfind("建目录失败：", 0), 0u);
}

TEST_F(Placing, ModelsAreComparedBySizeOnly) {
  fs::create_directories(data.path() / "models");
  write(data.path() / "models" / "vad.onnx", "MODEL");  // right size, other bytes: kept
  write_models(data.path(), kPayloads, log);
  EXPECT_EQ(read(data.path() / "models" / "vad.onnx"), "MODEL");
  EXPECT_TRUE(logged.empty());

  write(data.path() / "models" / "vad.onnx", "mod");  // truncated: rewritten
  write_models(data.path(), kPayloads, log);
  EXPECT_EQ(read(data.path() / "models" / "vad.onnx"), "model");
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].rfind("内置模型已解出：", 0), 0u);
}

TEST_F(Placing, ADamagedPayloadFailsLoudlyAndLeavesNoFile) {
  std::vector<unsigned char> cut = kCore;
  cut.erase(cut.begin() + 12, cut.begin() + 16);  // bytes lost from the middle of the stream
  const Payload damaged[] = {{"core.lib", PayloadKind::CoreLibrary, cut}};
  const Placement p = place_core_library(exe.path(), data.path(), damaged, log);
  EXPECT_EQ(p.error, "写 dll 失败：内置文件已损坏");
  EXPECT_FALSE(fs::exists(data.path() / "bin" / "core.lib"));
  EXPECT_FALSE(fs::exists(data.path() / "bin" / "kesu_core.stamp"));
}
