#pragma once

// The result lines of the settings window's test modes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kesu::shell {

struct ObjectCounts {
  long long gdi = 0;
  long long user = 0;
  bool own_tally = false;  // the system gave no counts: the window's tally of what it holds
};

// "GDI before={} after={} delta={} USER before={} after={} delta={}" (signed deltas).
std::string object_count_line(const ObjectCounts& before, const ObjectCounts& after);
// "PERF page={} {} 开窗={}ms 重建={}ms"
std::string perf_page_line(int page, std::string_view label, double open_ms, double rebuild_ms);
// Where one page rebuild spent its time: reading the page's data, making and changing the
// controls, and the log line with the repaint request.
struct RebuildTimes {
  double data_ms = 0;
  double controls_ms = 0;
  double finish_ms = 0;
};

double median_of(std::vector<double> values);
// "PERF {what}{n}次 中位={}ms 最慢={}ms", to a hundredth of a millisecond.
std::string perf_spread_line(std::string_view what, const std::vector<double>& ms);
// The median and the worst of repeated rebuilds of one page.
std::string perf_rebuilds_line(int page, const std::vector<double>& rebuild_ms);
// "PERF page={} 分段中位 读数据={}ms 控件={}ms 收尾={}ms"
std::string perf_phases_line(int page, const std::vector<RebuildTimes>& rebuilds);
// "PERF ffi {}={}ms len={}"
std::string perf_ffi_line(std::string_view name, double ms, std::size_t length);

}  // namespace kesu::shell
