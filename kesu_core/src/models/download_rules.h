#pragma once

// The text rules of a download: which addresses are tried, what a size probe says, and how a
// failed curl run is explained to the user.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/error.h"

namespace kesu {

// The mirror address (blank, "/" or trailing slashes tolerated) joined with the file name, then
// the official address unless it is the same text.
std::vector<std::string> candidate_urls(std::string_view mirror, std::string_view file_name,
                                        const std::string& official);

// Largest "content-length:" value in the headers of every hop of `curl -sIL`; 0 when none.
std::uint64_t probe_size(std::string_view head_output);

// What a curl exit code usually means, in the user's terms; empty for codes without advice.
std::string_view curl_hint(int exit_code);

// The line that explains a failed run: of the last line with any text, the part after its last
// carriage return (earlier parts are progress-meter updates), from curl's "curl: (" prefix on
// when a meter update runs straight into it. Empty when there is none.
std::string_view curl_detail_line(std::string_view error_output);

// A failed curl run: download_file_missing when it looks like the address lacks the file (so the
// next candidate may have it), download_failed otherwise. The sentence ("下载失败（curl N）…")
// holds the detail line of curl's error output, the hint and the proxy.
Error curl_failure(int exit_code, std::string_view error_output, std::string_view proxy);

// Text decoded as UTF-8 with every invalid sequence replaced by U+FFFD.
std::string lossy_utf8(std::string_view bytes);

}  // namespace kesu
