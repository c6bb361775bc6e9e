// Costs of the stores on the dictation path:
//   1. hotword application: a 2,000-character text against 500 rules;
//   2. recording one result with a 2,000-entry history, which rewrites history.json and
//      stats.json (each written to a temporary file, flushed to disk and renamed).
//
//   stores_bench [applications=2000] [records=200]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "hotwords/hotword_table.h"
#include "store/history_format.h"
#include "store/history_store.h"
#include "util/utf8.h"

namespace {

using Clock = std::chrono::steady_clock;

double micros_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

void print_figures(const char* what, std::vector<double> micros) {
  std::sort(micros.begin(), micros.end());
  std::printf("%s µs: median %.1f  p95 %.1f  max %.1f  (n=%zu)\n", what, micros[micros.size() / 2],
              micros[micros.size() * 95 / 100], micros.back(), micros.size());
}

// Common Chinese characters as filler, plus ASCII words, so rules both match and miss.
const char32_t kHan[] = U"的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严";

std::string random_han(std::mt19937& rng, int length) {
  std::string out;
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kHan) - 2);
  for (int i = 0; i < length; ++i) kesu::utf8_append(out, kHan[pick(rng)]);
  return out;
}

void bench_hotwords(int applications) {
  std::mt19937 rng(7);
  std::vector<kesu::HotwordRule> rules;
  for (int i = 0; i < 450; ++i) {
    rules.push_back({random_han(rng, 2 + i % 5), "替换" + std::to_string(i)});
  }
  for (int i = 0; i < 50; ++i) rules.push_back({"term" + std::to_string(i), "Term" + std::to_string(i)});

  // 2,000 characters: filler with a rule's text or an ASCII word dropped in now and then.
  std::string text;
  std::uniform_int_distribution<int> coin(0, 9);
  std::uniform_int_distribution<std::size_t> rule_pick(0, rules.size() - 1);
  while (kesu::utf8_char_count(text) < 2000) {
    if (coin(rng) == 0) {
      text += rules[rule_pick(rng)].from + " ";
    } else {
      text += random_han(rng, 1);
    }
  }
  while (kesu::utf8_char_count(text) > 2000) text.pop_back();
  while (!kesu::is_valid_utf8(text)) text.pop_back();

  const auto t0 = Clock::now();
  const kesu::HotwordTable table(rules, std::nullopt);
  const double build = micros_since(t0);

  std::vector<double> micros;
  std::size_t sink = 0;
  for (int i = 0; i < applications; ++i) {
    const auto t = Clock::now();
    sink += table.apply(text).size();
    micros.push_back(micros_since(t));
  }
  std::printf("hotwords: %zu rules, %zu-character text, table built in %.1f µs (output %zu bytes)\n",
              table.rules().size(), kesu::utf8_char_count(text), build, sink / applications);
  print_figures("hotword application", std::move(micros));
}

void bench_history(int records) {
  const auto dir = std::filesystem::temp_directory_path() / "kesu-stores-bench";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::mt19937 rng(11);
  std::vector<kesu::HistoryEntry> entries;
  for (int i = 2000; i >= 1; --i) {
    entries.push_back({"h" + std::to_string(i), "2024-05-01T09:30:00+08:00", random_han(rng, 40),
                       "inserted", "notepad.exe", 40, 4200, false, 650});
  }
  {
    const auto t = Clock::now();
    const std::string text = kesu::render_history(entries);
    std::printf("history: 2000 entries render to %zu bytes in %.1f µs\n", text.size(), micros_since(t));
    FILE* f = std::fopen((dir / "history.json").string().c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }

  kesu::HistoryStore store(dir, true, 2000);
  std::vector<double> micros;
  for (int i = 0; i < records; ++i) {
    const std::string sentence = random_han(rng, 40);
    const auto t = Clock::now();
    (void)store.record_result({sentence, "notepad.exe", 4200, 300, 2, 650});
    micros.push_back(micros_since(t));
  }
  print_figures("record one result (2000-entry history, both files rewritten)", std::move(micros));
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  const int applications = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  const int records = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  bench_hotwords(applications);
  bench_history(records);
  return 0;
}
