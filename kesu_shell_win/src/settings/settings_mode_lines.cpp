#include "settings/settings_mode_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kesu::shell {

namespace {

std::string signed_text(long long v) { return (v > 0 ? "+" : "") + std::to_string(v); }

std::string whole_ms(double ms) { return std::to_string(std::llround(std::max(0.0, ms))); }

std::string hundredths(double ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", std::max(0.0, ms));
  return buf;
}

}  // namespace

std::string object_count_line(const ObjectCounts& before, const ObjectCounts& after) {
  std::string line = "GDI before=" + std::to_string(before.gdi) + " after=" +
                     std::to_string(after.gdi) + " delta=" + signed_text(after.gdi - before.gdi) +
                     " USER before=" + std::to_string(before.user) + " after=" +
                     std::to_string(after.user) + " delta=" + signed_text(after.user - before.user);
  if (after.own_tally) line += " (窗口自己的计数)";
  return line;
}

std::string perf_page_line(int page, std::string_view label, double open_ms, double rebuild_ms) {
  return "PERF page=" + std::to_string(page) + " " + std::string(label) + " 开窗=" +
         whole_ms(open_ms) + "ms 重建=" + whole_ms(rebuild_ms) + "ms";
}

double median_of(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

std::string perf_spread_line(std::string_view what, const std::vector<double>& ms) {
  const std::string head = "PERF " + std::string(what) + std::to_string(ms.size()) + "次";
  if (ms.empty()) return head;
  return head + " 中位=" + hundredths(median_of(ms)) + "ms 最慢=" +
         hundredths(*std::max_element(ms.begin(), ms.end())) + "ms";
}

std::string perf_rebuilds_line(int page, const std::vector<double>& rebuild_ms) {
  return perf_spread_line("page=" + std::to_string(page) + " 重建", rebuild_ms);
}

std::string perf_phases_line(int page, const std::vector<RebuildTimes>& rebuilds) {
  std::vector<double> data, controls, finish;
  for (const RebuildTimes& t : rebuilds) {
    data.push_back(t.data_ms);
    controls.push_back(t.controls_ms);
    finish.push_back(t.finish_ms);
  }
  return "PERF page=" + std::to_string(page) + " 分段中位 读数据=" + hundredths(median_of(data)) +
         "ms 控件=" + hundredths(median_of(controls)) + "ms 收尾=" + hundredths(median_of(finish)) +
         "ms";
}

std::string perf_ffi_line(std::string_view name, double ms, std::size_t length) {
  return "PERF ffi " + std::string(name) + "=" + whole_ms(ms) + "ms len=" + std::to_string(length);
}

}  // namespace kesu::shell
