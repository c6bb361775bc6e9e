#pragma once

#include <ctime>
#include <string>

namespace kesu {

// Local calendar date of `t` as "YYYY-MM-DD".
std::string local_date(std::time_t t);

// Local time of `t` as "YYYY-MM-DD HH:MM:SS".
std::string local_date_time(std::time_t t);
// Local time of `t` as RFC 3339 with whole seconds and the local UTC offset, "Z" when the
// offset is zero (2024-05-01T09:30:00+08:00).
std::string local_rfc3339(std::time_t t);

}  // namespace kesu
