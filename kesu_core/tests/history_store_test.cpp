// The history store: what gets recorded where, numbering across runs, limits, history off,
// deletion, and local time stamps.

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include <gtest/gtest.h>

#include "store/history_format.h"
#include "store/history_store.h"
#include "store/local_time.h"
#include "support/event_recorder.h"

namespace {

namespace fs = std::filesystem;
using kesu::DictationRecord;
using kesu::HistoryEntry;
using kesu::HistoryStore;
using kesu_test::TempDir;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_text(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A clock the test moves by hand.
struct FakeClock {
  std::time_t now = 1714555800;  // 2024-05-01 09:30 UTC
  HistoryStore::Clock fn() {
    return [this] { return now; };
  }
};

// A clock that stays at the start time (owns its value, unlike a temporary FakeClock).
HistoryStore::Clock fixed_clock() {
  return [] { return FakeClock{}.now; };
}

HistoryEntry entry(std::string id) {
  return {std::move(id), "2024-05-01T09:30:00Z", "旧", "inserted", "", 1, 10, false, std::nullopt};
}

std::vector<HistoryEntry> history_of(const HistoryStore& store) {
  return *kesu::parse_history(store.newest_json(10000));
}

TEST(HistoryStore, RecordsResultsAndFailuresInBothFiles) {
  TempDir dir;
  FakeClock clock;
  HistoryStore store(dir.path(), true, 200, clock.fn());
  const std::string at = kesu::local_rfc3339(clock.now);
  const std::string today = kesu::local_date(clock.now);

  EXPECT_EQ(store.record_result({"你好世界", "notepad.exe", 1500, 300, 2, 820}), "h1");
  EXPECT_EQ(store.record_failure("word.exe", 900, true), "h2");
  EXPECT_EQ(store.record_result({"ok", "", 500, 100, 1, std::nullopt}), "h3");
  store.set_status("h1", "inserted");
  store.set_status("h404", "inserted");  // no such entry: nothing happens

  const std::vector<HistoryEntry> expected = {
      {"h3", at, "ok", "pending", "", 2, 500, false, std::nullopt},
      {"h2", at, "", "failed", "word.exe", 0, 900, true, std::nullopt},
      {"h1", at, "你好世界", "inserted", "notepad.exe", 4, 1500, false, 820},
  };
  EXPECT_EQ(read_text(dir.path() / "history.json"), kesu::render_history(expected));
  EXPECT_EQ(history_of(store), expected);

  // Failures leave the statistics alone.
  kesu::Statistics stats;
  stats.sessions = 2;
  stats.segments = 3;
  stats.chars = 6;
  stats.speech_ms = 2000;
  stats.decode_ms = 400;
  stats.latencies = {820};
  stats.since = today;
  stats.days[today] = {today, 2, 6, 2000};
  EXPECT_EQ(read_text(dir.path() / "stats.json"), kesu::render_stats(stats));
  EXPECT_FALSE(fs::exists(dir.path() / "history.tmp"));
  EXPECT_FALSE(fs::exists(dir.path() / "stats.tmp"));
}

TEST(HistoryStore, ReopenContinuesNumberingAndTrimsToTheLimit) {
  TempDir dir;
  write_text(dir.path() / "history.json",
             kesu::render_history(std::vector<HistoryEntry>{entry("hh5"), entry("+7"), entry("x99"), entry("h2"), entry("h3")}));
  HistoryStore store(dir.path(), true, 3, fixed_clock());
  const std::vector<HistoryEntry> kept = {entry("hh5"), entry("+7"), entry("x99")};
  EXPECT_EQ(history_of(store), kept);
  EXPECT_EQ(store.record_result({"新", "", 0, 0, 1, std::nullopt}), "h8");
  EXPECT_EQ(history_of(store).size(), 3u);
  EXPECT_EQ(history_of(store).front().id, "h8");
}

TEST(HistoryStore, CountLimitAndHistoryOff) {
  struct Case {
    bool enabled;
    std::int64_t limit;
    std::size_t kept;
    const char* why;
  };
  const Case cases[] = {
      {true, 2, 2, "the oldest entry falls off"},
      {true, 0, 0, "limit 0 keeps nothing"},
      {false, 200, 0, "history off keeps nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    HistoryStore store(dir.path(), c.enabled, c.limit, fixed_clock());
    EXPECT_EQ(store.record_result({"一", "", 100, 10, 1, 5}), "h1");
    EXPECT_EQ(store.record_failure("", 10, false), "h2");
    EXPECT_EQ(store.record_result({"三", "", 100, 10, 1, 5}), "h3");  // ids are consumed anyway
    EXPECT_EQ(history_of(store).size(), c.kept);
    EXPECT_EQ(fs::exists(dir.path() / "history.json"), c.kept > 0);
    const nlohmann::json stats = store.stats();
    EXPECT_EQ(stats["sessions"], 2);  // results count whether kept or not
    EXPECT_EQ(stats["history_count"], c.kept);
    EXPECT_EQ(stats["history_enabled"], c.enabled);
    EXPECT_EQ(kesu::parse_stats(read_text(dir.path() / "stats.json"))->sessions, 2u);
  }
}

TEST(HistoryStore, NewestEntriesOnRequest) {
  TempDir dir;
  HistoryStore store(dir.path(), true, 3, fixed_clock());
  for (int i = 0; i < 5; ++i) (void)store.record_failure("", 0, false);
  EXPECT_EQ(store.newest_json(0), "[]");
  EXPECT_EQ(store.newest_json(-4), "[]");
  ASSERT_EQ(kesu::parse_history(store.newest_json(1))->size(), 1u);
  EXPECT_EQ(kesu::parse_history(store.newest_json(1))->front().id, "h5");
  EXPECT_EQ(kesu::parse_history(store.newest_json(100))->size(), 3u);
}

TEST(HistoryStore, OnlySwitchingHistoryOnOrOffReopens) {
  TempDir dir;
  HistoryStore store(dir.path(), true, 5, fixed_clock());
  (void)store.record_failure("", 0, false);
  write_text(dir.path() / "history.json", kesu::render_history(std::vector<HistoryEntry>{entry("h40"), entry("h41")}));

  store.apply_settings(true, 1);  // limit alone: no reopen, the file edit is not seen
  EXPECT_EQ(history_of(store).front().id, "h1");
  store.apply_settings(false, 1);
  EXPECT_EQ(store.newest_json(10), "[]");
  store.apply_settings(true, 1);  // reopened with the file's entries and the new limit
  EXPECT_EQ(history_of(store), std::vector<HistoryEntry>{entry("h40")});
  EXPECT_EQ(store.record_failure("", 0, false), "h42");
}

TEST(HistoryStore, DeleteAndClear) {
  TempDir dir;
  HistoryStore store(dir.path(), true, 10, fixed_clock());
  (void)store.record_result({"一", "", 100, 10, 1, 5});
  (void)store.record_result({"二", "", 100, 10, 1, 5});
  const std::string before = read_text(dir.path() / "history.json");

  EXPECT_FALSE(store.remove("h9"));
  EXPECT_EQ(read_text(dir.path() / "history.json"), before);

  const std::optional<nlohmann::json> view = store.remove("h1");
  ASSERT_TRUE(view);
  EXPECT_EQ((*view)["history_count"], 1);
  EXPECT_EQ(history_of(store).front().id, "h2");

  const nlohmann::json cleared = store.clear();
  EXPECT_EQ(cleared["history_count"], 0);
  EXPECT_EQ(cleared["sessions"], 2);  // statistics are not reset
  EXPECT_EQ(read_text(dir.path() / "history.json"), "[]");
}

TEST(HistoryStore, LatenciesKeepTheLatest200) {
  TempDir dir;
  HistoryStore store(dir.path(), false, 0, fixed_clock());
  for (std::uint64_t i = 1; i <= 201; ++i) (void)store.record_result({"x", "", 0, 0, 1, i});
  const nlohmann::json latency = store.stats()["latency"];
  EXPECT_EQ(latency["count"], 200);
  EXPECT_EQ(latency["min"], 2);  // the first one went
  EXPECT_EQ(latency["max"], 201);
  const auto saved = kesu::parse_stats(read_text(dir.path() / "stats.json"));
  ASSERT_EQ(saved->latencies.size(), 200u);
  EXPECT_EQ(saved->latencies.front(), 2u);
}

TEST(HistoryStore, DayRecordsFollowTheLocalDate) {
  TempDir dir;
  FakeClock clock;
  HistoryStore store(dir.path(), true, 10, clock.fn());
  const std::string first_day = kesu::local_date(clock.now);
  (void)store.record_result({"一二", "", 1000, 10, 1, std::nullopt});
  EXPECT_EQ(store.stats()["today"]["sessions"], 1);

  clock.now += 86400;
  const std::string next_day = kesu::local_date(clock.now);
  const nlohmann::json quiet = store.stats();
  EXPECT_EQ(quiet["today"].dump(),
            R"({"chars":0,"date":")" + next_day + R"(","sessions":0,"speech_ms":0})");
  (void)store.record_result({"三", "", 500, 10, 1, std::nullopt});
  const nlohmann::json view = store.stats();
  ASSERT_EQ(view["days"].size(), 2u);
  EXPECT_EQ(view["days"][0]["date"], next_day);
  EXPECT_EQ(view["days"][1]["date"], first_day);
  EXPECT_EQ(view["days"][1]["chars"], 2);
  EXPECT_EQ(view["since"], first_day);
}

TEST(HistoryStore, CorruptFilesOpenEmpty) {
  for (std::string_view junk : {std::string_view("[{\"id\":"), std::string_view("{\"id\":\"h1\"}"),
                                std::string_view("[{\"id\":\"h\xff\"}]"), std::string_view("\x00\x01", 2)}) {
    TempDir dir;
    write_text(dir.path() / "history.json", junk);
    write_text(dir.path() / "stats.json", junk);
    FakeClock clock;
    HistoryStore store(dir.path(), true, 10, clock.fn());
    EXPECT_EQ(store.newest_json(10), "[]");
    EXPECT_EQ(store.stats()["sessions"], 0);
    EXPECT_EQ(store.stats()["since"], kesu::local_date(clock.now));
    EXPECT_EQ(store.record_failure("", 0, false), "h1");
  }
}

// A damaged file keeps the entries that read cleanly, and its original bytes are copied aside
// before the first rewrite replaces it.
TEST(HistoryStore, DamagedFilesKeepTheirGoodEntriesAndABackup) {
  const std::vector<HistoryEntry> old = {entry("h3"), entry("h2"), entry("h1")};
  const std::string history = kesu::render_history(old);
  kesu::Statistics stats;
  stats.sessions = 7;
  stats.chars = 40;
  stats.since = "2024-01-01";
  stats.days["2024-04-30"] = {"2024-04-30", 7, 40, 9000};
  const std::string stats_text = kesu::render_stats(stats);
  struct Case {
    std::string history;
    std::string stats;
    std::vector<HistoryEntry> kept;
    std::uint64_t sessions;
    const char* why;
  };
  const std::size_t cut = history.find(R"({"id":"h1")") + 20;
  std::string bad_type = history;
  bad_type.replace(bad_type.find(R"("ms":10)"), 7, R"("ms":"10")");
  const Case cases[] = {
      {history.substr(0, cut), stats_text.substr(0, stats_text.size() - 30),
       {entry("h3"), entry("h2")}, 7, "truncated files"},
      {bad_type, R"({"sessions":-1})", {entry("h2"), entry("h1")}, 0, "an entry of the wrong type"},
      {"[" + history.substr(1, history.size() - 2) + ",\xff]", stats_text + "\xff",
       {entry("h3"), entry("h2"), entry("h1")}, 7, "a stray byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    write_text(dir.path() / "history.json", c.history);
    write_text(dir.path() / "stats.json", c.stats);
    HistoryStore store(dir.path(), true, 10, fixed_clock());
    EXPECT_EQ(history_of(store), c.kept);
    EXPECT_EQ(store.stats()["sessions"], c.sessions);
    EXPECT_EQ(read_text(dir.path() / "history.json.broken"), c.history);
    EXPECT_EQ(read_text(dir.path() / "stats.json.broken"), c.stats);

    (void)store.record_result({"新", "", 100, 10, 1, std::nullopt});
    std::vector<HistoryEntry> now = history_of(store);
    EXPECT_EQ(std::vector<HistoryEntry>(now.begin() + 1, now.end()), c.kept);
    EXPECT_EQ(*kesu::parse_history(read_text(dir.path() / "history.json")), now);
    EXPECT_EQ(kesu::parse_stats(read_text(dir.path() / "stats.json"))->sessions, c.sessions + 1);
    EXPECT_EQ(read_text(dir.path() / "history.json.broken"), c.history);  // still the original
  }
}

// A later, different damaged version gets its own backup; the same damaged file read again
// (history switched off and on before any rewrite) does not get a second copy.
TEST(HistoryStore, BackupsNeverOverwriteEachOther) {
  TempDir dir;
  const fs::path file = dir.path() / "history.json";
  write_text(file, "[first");
  HistoryStore store(dir.path(), false, 10, fixed_clock());
  store.apply_settings(true, 10);  // reopens the same damaged file
  EXPECT_EQ(read_text(dir.path() / "history.json.broken"), "[first");
  EXPECT_FALSE(fs::exists(dir.path() / "history.json.broken.2"));

  write_text(file, "[second");
  store.apply_settings(false, 10);
  store.apply_settings(true, 10);
  EXPECT_EQ(read_text(dir.path() / "history.json.broken"), "[first");
  EXPECT_EQ(read_text(dir.path() / "history.json.broken.2"), "[second");
}

// When the copy cannot be made the damaged file is not replaced; the next write tries again.
TEST(HistoryStore, DamagedFileStaysUntilItsBackupIsMade) {
  TempDir dir;
  const fs::path file = dir.path() / "history.json";
  const std::string damaged = kesu::render_history(std::vector<HistoryEntry>{entry("h1")}) + "x";
  write_text(file, damaged);
  const fs::path blocker = dir.path() / "history.json.broken.tmp";
  fs::create_directories(blocker / "x");  // the backup's temporary file cannot be written
  HistoryStore store(dir.path(), true, 10, fixed_clock());
  EXPECT_EQ(store.record_failure("", 0, false), "h2");
  EXPECT_EQ(read_text(file), damaged);
  EXPECT_EQ(history_of(store).size(), 2u);  // memory stays right meanwhile

  fs::remove_all(blocker);
  EXPECT_EQ(store.record_failure("", 0, false), "h3");
  EXPECT_EQ(read_text(dir.path() / "history.json.broken"), damaged);
  EXPECT_EQ(history_of(store), *kesu::parse_history(read_text(file)));
}

#if !defined(_WIN32)
TEST(HistoryStore, OnlyTheUserMayReadTheFiles) {
  TempDir dir;
  write_text(dir.path() / "history.json", "[broken");
  fs::permissions(dir.path() / "history.json", fs::perms(0644));
  HistoryStore store(dir.path(), true, 10, fixed_clock());
  (void)store.record_result({"私人的话", "", 100, 10, 1, std::nullopt});
  for (const char* name : {"history.json", "stats.json", "history.json.broken"}) {
    EXPECT_EQ(fs::status(dir.path() / name).permissions(), fs::perms(0600)) << name;
  }
}
#endif

TEST(HistoryStore, WriteFailuresLeaveMemoryRight) {
  TempDir dir;
  write_text(dir.path() / "blocker", "a file where a directory should be");
  HistoryStore store(dir.path() / "blocker" / "data", true, 10, fixed_clock());
  EXPECT_EQ(store.record_result({"仍然记得", "", 0, 0, 1, 3}), "h1");
  EXPECT_EQ(history_of(store).front().text, "仍然记得");
  EXPECT_EQ(store.stats()["sessions"], 1);
}

TEST(LocalTime, Rfc3339WithOffsetOrZ) {
  const std::string at = kesu::local_rfc3339(std::time(nullptr));
  EXPECT_TRUE(std::regex_match(at, std::regex(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(Z|[+-]\d{2}:\d{2}))")))
      << at;
  EXPECT_EQ(at.substr(0, 10), kesu::local_date(std::time(nullptr)));
#if !defined(_WIN32)
  const char* saved = std::getenv("TZ");
  const std::string saved_tz = saved ? saved : "";
  kesu_test::set_env("TZ", "UTC0");
  tzset();
  EXPECT_EQ(kesu::local_rfc3339(1714555800), "2024-05-01T09:30:00Z");
  kesu_test::set_env("TZ", "CST-8");
  tzset();
  EXPECT_EQ(kesu::local_rfc3339(1714555800), "2024-05-01T17:30:00+08:00");
  EXPECT_EQ(kesu::local_date(1714555800 + 7 * 3600), "2024-05-02");
  kesu_test::set_env("TZ", "NST+3:30");
  tzset();
  EXPECT_EQ(kesu::local_rfc3339(1714555800), "2024-05-01T06:00:00-03:30");
  kesu_test::set_env("TZ", saved ? saved_tz.c_str() : nullptr);
  tzset();
#endif
}

}  // namespace
