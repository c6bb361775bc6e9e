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

std::string perf_rebuilds_line(int page, std::vector<double> rebuild_ms) {
  if (rebuild_ms.empty()) return "PERF page=" + std::to_string(page) + " 重建0次";
  std::sort(rebuild_ms.begin(), rebuild_ms.end());
  const std::size_t n = rebuild_ms.size();
  const double median =
      n % 2 == 1 ? rebuild_ms[n / 2] : (rebuild_ms[n / 2 - 1] + rebuild_ms[n / 2]) / 2.0;
  return "PERF page=" + std::to_string(page) + " 重建" + std::to_string(n) + "次 中位=" +
         hundredths(median) + "ms 最慢=" + hundredths(rebuild_ms.back()) + "ms";
}

std::string perf_ffi_line(std::string_view name, double ms, std::size_t length) {
  return "PERF ffi " + std::string(name) + "=" + whole_ms(ms) + "ms len=" + std::to_string(length);
}

}  // namespace kesu::shell
