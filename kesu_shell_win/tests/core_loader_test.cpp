#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "main/core_calls.h"
#include "main/core_loader.h"
#include "main/text.h"
#include "packed_payload.h"
#include "temp_dir.h"

using namespace kesu::shell;

namespace {

// What the fake core's exports answer and record.
struct FakeCore {
  uint32_t version = 0x0001000E;
  bool create_fails = false;
  std::vector<std::string> calls;
  std::string created_with;
};
FakeCore* g_fake = nullptr;
KesuCore* const kHandle = reinterpret_cast<KesuCore*>(0x1234);

uint32_t fake_abi_version() { return g_fake->calls.push_back("abi"), g_fake->version; }
KesuCore* fake_core_new(const char* dir) {
  g_fake->calls.push_back("new");
  g_fake->created_with = dir;
  return g_fake->create_fails ? nullptr : kHandle;
}
void fake_core_free(KesuCore*) { g_fake->calls.push_back("free"); }
void fake_any() {}

#define KESU_NAME(name) #name,
const std::vector<std::string> kAllExports = {KESU_CORE_EXPORTS(KESU_NAME)};
#undef KESU_NAME

class FakeLibrary final : public Library {
 public:
  explicit FakeLibrary(std::string missing, bool* kept) : missing_(std::move(missing)), kept_(kept) {}
  void* symbol(const char* name) override {
    const std::string n = name;
    if (n == missing_) return nullptr;
    if (n == "kesu_abi_version") return reinterpret_cast<void*>(&fake_abi_version);
    if (n == "kesu_core_new") return reinterpret_cast<void*>(&fake_core_new);
    if (n == "kesu_core_free") return reinterpret_cast<void*>(&fake_core_free);
    return reinterpret_cast<void*>(&fake_any);
  }
  void keep_loaded() override { *kept_ = true; }

 private:
  std::string missing_;
  bool* kept_;
};

class FakeOpener final : public LibraryOpener {
 public:
  std::string missing;
  bool fail = false;
  bool kept = false;
  std::filesystem::path opened;
  std::unique_ptr<Library> open(const std::filesystem::path& path, std::string& error) override {
    opened = path;
    if (fail) {
      error = "找不到指定的模块。";
      return nullptr;
    }
    return std::make_unique<FakeLibrary>(missing, &kept);
  }
};

const std::vector<unsigned char> kImage = gzip_packed("\x01\x02\x03");
const Payload kPayloads[] = {{"kesu_core.dll", PayloadKind::CoreLibrary, kImage}};

struct Loading : ::testing::Test {
  FakeCore fake;
  FakeOpener opener;
  TempDir exe, data;
  void SetUp() override { g_fake = &fake; }
  void TearDown() override { g_fake = nullptr; }
  LoadResult load() {
    return load_core(data.path(), {exe.path(), kPayloads, &opener, [](std::string_view) {}});
  }
};

}  // namespace

TEST_F(Loading, BindsEverythingCreatesTheCoreAndKeepsTheLibrary) {
  const LoadResult r = load();
  ASSERT_TRUE(r.binding) << r.error;
  EXPECT_EQ(opener.opened, data.path() / "bin" / "kesu_core.dll");
  EXPECT_EQ(r.binding->core, kHandle);
  EXPECT_EQ(fake.created_with, path_to_utf8(data.path()));
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"abi", "new"}));
  EXPECT_TRUE(opener.kept);
}

TEST_F(Loading, ErrorTextsOfEachStep) {
  struct Case {
    const char* what;
    std::function<void(Loading&)> arrange;
    std::string error;
    std::vector<std::string> calls;  // core exports reached
  };
  const std::vector<Case> cases = {
      {"os refuses", [](Loading& t) { t.opener.fail = true; }, "", {}},
      {"no version export", [](Loading& t) { t.opener.missing = "kesu_abi_version"; },
       "缺少导出 kesu_abi_version", {}},
      {"major 2", [](Loading& t) { t.fake.version = 0x00020000; },
       "ABI 主版本不匹配：dll=2，壳=1", {"abi"}},
      // Any export missing, even the last: the core is never started.
      {"export missing", [](Loading& t) { t.opener.missing = "kesu_voice_clear"; },
       "缺少导出 kesu_voice_clear", {"abi"}},
      {"creation fails", [](Loading& t) { t.fake.create_fails = true; }, kCoreNewFailed,
       {"abi", "new"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake = FakeCore{};
    opener = FakeOpener{};
    c.arrange(*this);
    const LoadResult r = load();
    EXPECT_FALSE(r.binding);
    if (opener.fail) {
      EXPECT_EQ(r.error, "LoadLibraryW(" +
                             path_to_utf8(opener.opened) +
                             ") 失败：找不到指定的模块。");
    } else {
      EXPECT_EQ(r.error, c.error);
    }
    EXPECT_EQ(fake.calls, c.calls);
    EXPECT_FALSE(opener.kept);
  }
}

TEST_F(Loading, EveryExportIsLookedUp) {
  for (const std::string& name : kAllExports) {
    fake = FakeCore{};
    opener = FakeOpener{};
    opener.missing = name;
    EXPECT_EQ(load().error, "缺少导出 " + name);
  }
}

TEST(ModelsList, InstalledIsReadFromTheCoresListAndDoubtMeansInstalled) {
  struct Case {
    const char* list;
    bool installed;
  };
  const Case cases[] = {
      {R"([{"id":"qwen3","installed":false},{"id":"sense","installed":false}])", false},
      {R"([{"id":"sense","installed":true}])", true},
      {R"([{"id":"qwen3","installed":false}])", true},  // not listed
      {R"([{"id":"sense","installed":"no"}])", true},   // not a flag
      {R"([{"id":7},"x",{"id":"sense"}])", true},
      {"", true},
      {"not json", true},
      {R"({"id":"sense","installed":false})", true},  // not a list
  };
  for (const Case& c : cases) EXPECT_EQ(listed_as_installed(c.list, "sense"), c.installed) << c.list;
}
