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
// The median and the worst of repeated rebuilds of one page, to a hundredth of a millisecond.
std::string perf_rebuilds_line(int page, std::vector<double> rebuild_ms);
// "PERF ffi {}={}ms len={}"
std::string perf_ffi_line(std::string_view name, double ms, std::size_t length);

}  // namespace kesu::shell
