// history.json and stats.json byte for byte, corrupt files, id numbers, the latency summary and
// the statistics view.

#include <gtest/gtest.h>

#include "store/history_format.h"

namespace {

using kesu::DayRecord;
using kesu::HistoryEntry;
using kesu::Statistics;

const std::vector<HistoryEntry> kEntries = {
    {"h2", "2024-05-01T09:30:00+08:00", "你好\n\"世界\"", "pending", "notepad.exe", 7, 1500, false, 820},
    {"h1", "2024-05-01T09:29:00Z", "", "failed", "", 0, 300, true, std::nullopt},
};
constexpr const char* kHistoryText =
    R"([{"id":"h2","at":"2024-05-01T09:30:00+08:00","text":"你好\n\"世界\"","status":"pending",)"
    R"("app":"notepad.exe","chars":7,"ms":1500,"retryable":false,"latency_ms":820},)"
    R"({"id":"h1","at":"2024-05-01T09:29:00Z","text":"","status":"failed","app":"","chars":0,)"
    R"("ms":300,"retryable":true,"latency_ms":null}])";

Statistics sample_stats() {
  Statistics s;
  s.sessions = 3;
  s.segments = 4;
  s.chars = 25;
  s.speech_ms = 9000;
  s.decode_ms = 700;
  s.latencies = {300, 100};
  s.since = "2024-04-30";
  s.days["2024-05-01"] = DayRecord{"2024-05-01", 2, 20, 8000};
  s.days["2024-04-30"] = DayRecord{"2024-04-30", 1, 5, 1000};
  return s;
}
constexpr const char* kStatsText =
    R"({"sessions":3,"segments":4,"chars":25,"speech_ms":9000,"decode_ms":700,"latencies":[300,100],)"
    R"("since":"2024-04-30","days":{"2024-04-30":{"date":"2024-04-30","sessions":1,"chars":5,)"
    R"("speech_ms":1000},"2024-05-01":{"date":"2024-05-01","sessions":2,"chars":20,"speech_ms":8000}}})";

TEST(HistoryFormat, FilesAreCompactWithTheirOwnKeyOrder) {
  EXPECT_EQ(kesu::render_history(kEntries), kHistoryText);
  EXPECT_EQ(kesu::render_stats(sample_stats()), kStatsText);
  EXPECT_EQ(kesu::render_history({}), "[]");
  EXPECT_EQ(kesu::parse_history(kHistoryText), kEntries);
  EXPECT_EQ(kesu::parse_stats(kStatsText), sample_stats());
}

TEST(HistoryFormat, CorruptFilesDoNotParse) {
  const std::string history = kHistoryText;
  const std::string stats = kStatsText;
  for (const std::string& text : {
           history.substr(0, history.size() / 2),                                   // truncated
           std::string(R"({"id":"h1"})"),                                           // not an array
           std::string(R"([{"id":1,"at":"","text":"","status":"","app":"","chars":0,"ms":0,"retryable":false,"latency_ms":null}])"),
           std::string(R"([{"id":"h1","at":"","text":"","status":"","app":"","chars":-1,"ms":0,"retryable":false,"latency_ms":null}])"),
           std::string(R"([{"id":"h1","at":"","text":"","status":"","app":"","chars":0,"ms":0,"retryable":false,"latency_ms":"5"}])"),
           std::string("[{\"id\":\"h\xff\"}]"),                                     // invalid UTF-8
           std::string(""),
       }) {
    EXPECT_FALSE(kesu::parse_history(text)) << text;
  }
  for (const std::string& text : {
           stats.substr(0, stats.size() - 1),
           std::string(R"({"sessions":1})"),
           std::string(R"({"sessions":1.5,"segments":0,"chars":0,"speech_ms":0,"decode_ms":0,"latencies":[],"since":"","days":{}})"),
           std::string(R"({"sessions":1,"segments":0,"chars":0,"speech_ms":0,"decode_ms":0,"latencies":[-3],"since":"","days":{}})"),
           std::string(R"({"sessions":1,"segments":0,"chars":0,"speech_ms":0,"decode_ms":0,"latencies":[],"since":"","days":{"d":{"date":"d"}}})"),
           std::string("\xef\xbb\xbf\xff"),
       }) {
    EXPECT_FALSE(kesu::parse_stats(text)) << text;
  }
}

// One damaged spot costs only what it touches: every entry that reads cleanly is kept.
TEST(HistoryFormat, DamagedHistoryKeepsTheEntriesThatReadCleanly) {
  const std::vector<HistoryEntry> three = {
      {"h3", "2024-05-01T09:31:00Z", "三", "pending", "a", 1, 100, false, 5},
      {"h2", "2024-05-01T09:30:00Z", "二", "inserted", "b", 1, 200, false, std::nullopt},
      {"h1", "2024-05-01T09:29:00Z", "一", "failed", "c", 1, 300, true, std::nullopt},
  };
  const std::string whole = kesu::render_history(three);
  const auto replace = [&](std::string_view from, std::string_view to) {
    std::string text = whole;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  HistoryEntry repaired = three[1];
  repaired.text = "\xEF\xBF\xBD二";
  struct Case {
    std::string text;
    std::vector<HistoryEntry> kept;
    std::size_t skipped;
    const char* why;
  };
  const Case cases[] = {
      {whole, three, 0, "intact"},
      {replace(R"("app":"b","chars":1)", R"("app":"b","chars":"1")"), {three[0], three[2]}, 1,
       "wrong type"},
      {replace(R"("app":"b",)", ""), {three[0], three[2]}, 1, "missing field"},
      {replace(R"("ms":200)", R"("ms":-200)"), {three[0], three[2]}, 1, "negative number"},
      {replace("\"二\"", "\"\xFF二\""), {three[0], repaired, three[2]}, 0, "invalid UTF-8 byte"},
      {whole.substr(0, whole.find(R"("app":"c")")), {three[0], three[1]}, 1,
       "cut inside the last entry"},
      {whole.substr(0, whole.find(R"({"id":"h1")")), {three[0], three[1]}, 0,
       "cut between entries"},
      {replace(R"(},{"id":"h1")", R"(}} {"id":"h1")"), {three[0], three[1]}, 0,
       "syntax error: what came before it is kept"},
      {R"({"id":"h1"})", {}, 0, "not an array"},
      {"", {}, 0, "empty file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const auto read = kesu::salvage_history(c.text);
    EXPECT_EQ(read.content, c.kept);
    EXPECT_EQ(read.skipped, c.skipped);
    EXPECT_EQ(read.intact(), c.text == whole) << (read.damage ? kesu::user_message(*read.damage) : "");
  }
}

TEST(HistoryFormat, DamagedStatisticsKeepTheValuesThatReadCleanly) {
  const std::string whole = kStatsText;
  const auto replace = [&](std::string_view from, std::string_view to) {
    std::string text = whole;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const Statistics full = sample_stats();
  Statistics no_sessions = full;
  no_sessions.sessions = 0;
  Statistics one_latency = full;
  one_latency.latencies = {100};
  Statistics one_day = full;
  one_day.days.erase("2024-05-01");
  Statistics other_since = full;
  other_since.since = "2024-04-\xEF\xBF\xBD";
  struct Case {
    std::string text;
    Statistics kept;
    const char* why;
  };
  const Case cases[] = {
      {whole, full, "intact"},
      {replace(R"("sessions":3)", R"("sessions":-3)"), no_sessions, "negative counter"},
      {replace(R"("sessions":3,)", ""), no_sessions, "missing counter"},
      {replace("[300,100]", R"(["300",100])"), one_latency, "wrong type in the latencies"},
      {replace(R"("2024-05-01":{"date":"2024-05-01","sessions":2)",
               R"("2024-05-01":{"date":"2024-05-01","sessions":true)"),
       one_day, "one bad day record"},
      {whole.substr(0, whole.find(R"("chars":20)")), one_day, "cut inside the last day record"},
      {replace("\"2024-04-30\",\"days\"", "\"2024-04-\xFF\",\"days\""), other_since,
       "invalid UTF-8 byte"},
      {"[1,2]", Statistics{}, "not an object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const auto read = kesu::salvage_stats(c.text);
    EXPECT_EQ(read.content, c.kept);
    EXPECT_EQ(read.intact(), c.text == whole) << (read.damage ? kesu::user_message(*read.damage) : "");
  }
}

TEST(HistoryFormat, IdNumbers) {
  struct Case {
    const char* id;
    std::optional<std::uint64_t> number;
  };
  const Case cases[] = {
      {"h17", 17},  {"hh5", 5},   {"h+7", 7},      {"+7", 7},         {"42", 42},
      {"h007", 7},  {"x5", {}},   {"H5", {}},      {"h", {}},         {"h+", {}},
      {"h-3", {}},  {"h5a", {}},  {"h 5", {}},     {"h++5", {}},      {"", {}},
      {"h18446744073709551614", 18446744073709551614ull},
      {"h18446744073709551615", {}},  // no successor: would repeat an id
      {"h18446744073709551616", {}},  // overflow
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::history_id_number(c.id), c.number) << c.id;
  }
}

TEST(HistoryFormat, LatencySummaryRoundsIndexesHalfAwayFromZero) {
  struct Case {
    std::vector<std::uint64_t> latencies;
    const char* summary;
  };
  const Case cases[] = {
      {{}, R"({"count":0})"},
      {{250}, R"({"count":1,"max":250,"min":250,"p50":250,"p95":250})"},
      // i50 = round(1.5) = 2, i95 = round(2.85) = 3
      {{400, 100, 300, 200}, R"({"count":4,"max":400,"min":100,"p50":300,"p95":400})"},
      // i50 = round(0.5) = 1, i95 = round(0.95) = 1
      {{20, 10}, R"({"count":2,"max":20,"min":10,"p50":20,"p95":20})"},
      // n = 21: i50 = 10, i95 = 19
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20},
       R"({"count":21,"max":20,"min":0,"p50":10,"p95":19})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::latency_summary(c.latencies).dump(), c.summary);
  }
}

TEST(HistoryFormat, StatsViewShowsTheLatestThirtyDaysAndToday) {
  Statistics s;
  s.since = "2024-01-01";
  for (int d = 1; d <= 31; ++d) {
    char date[16];
    std::snprintf(date, sizeof date, "2024-01-%02d", d);
    s.days[date] = DayRecord{date, static_cast<std::uint64_t>(d), 0, 0};
  }
  const nlohmann::json view = kesu::stats_view(s, 5, true, "2024-01-31");
  ASSERT_EQ(view["days"].size(), 30u);
  EXPECT_EQ(view["days"].front()["date"], "2024-01-31");
  EXPECT_EQ(view["days"].back()["date"], "2024-01-02");
  EXPECT_EQ(view["today"]["sessions"], 31);
  EXPECT_EQ(view["history_count"], 5);

  const nlohmann::json later = kesu::stats_view(s, 5, false, "2024-02-01");
  EXPECT_EQ(later["today"].dump(), R"({"chars":0,"date":"2024-02-01","sessions":0,"speech_ms":0})");
  EXPECT_EQ(later["history_count"], 0);
  EXPECT_EQ(later["history_enabled"], false);

  std::vector<std::string> keys;
  for (const auto& [key, value] : view.items()) keys.push_back(key);
  const std::vector<std::string> expected = {"chars",    "days",     "decode_ms", "history_count",
                                             "history_enabled", "latency", "segments", "sessions",
                                             "since",    "speech_ms", "today"};
  EXPECT_EQ(keys, expected);
}

}  // namespace
