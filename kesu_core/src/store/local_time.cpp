#include "store/local_time.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace kesu {
namespace {

std::tm local_tm(std::time_t t) {
  std::tm out{};
#if defined(_WIN32)
  localtime_s(&out, &t);
#else
  localtime_r(&t, &out);
#endif
  return out;
}

std::tm utc_tm(std::time_t t) {
  std::tm out{};
#if defined(_WIN32)
  gmtime_s(&out, &t);
#else
  gmtime_r(&t, &out);
#endif
  return out;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t seconds_of(const std::tm& tm) {
  return days_from_civil(tm.tm_year + 1900LL, static_cast<unsigned>(tm.tm_mon + 1),
                         static_cast<unsigned>(tm.tm_mday)) *
             86400 +
         tm.tm_hour * 3600LL + tm.tm_min * 60LL + tm.tm_sec;
}

}  // namespace

std::string local_date(std::time_t t) {
  const std::tm tm = local_tm(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return buf;
}

std::string local_date_time(std::time_t t) {
  const std::tm tm = local_tm(t);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string local_rfc3339(std::time_t t) {
  const std::tm local = local_tm(t);
  // The offset is the difference of the two broken-down times: portable, unlike tm_gmtoff.
  const std::int64_t offset = seconds_of(local) - seconds_of(utc_tm(t));
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  std::string out = buf;
  if (offset == 0) return out + "Z";
  const std::int64_t magnitude = std::llabs(offset) / 60;
  std::snprintf(buf, sizeof buf, "%c%02d:%02d", offset < 0 ? '-' : '+',
                static_cast<int>(magnitude / 60), static_cast<int>(magnitude % 60));
  return out + buf;
}

}  // namespace kesu
