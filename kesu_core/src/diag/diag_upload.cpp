#include "diag/diag_upload.h"

#include <algorithm>
#include <chrono>

#include "config/config_rules.h"
#include "util/utf8.h"
#include "kesu_version.h"

namespace kesu {
namespace {

constexpr std::size_t kReplyBytes = 2000;
constexpr std::size_t kReplyChars = 500;

// The start of a reply as text: invalid UTF-8 replaced, at most 500 characters.
std::string reply_excerpt(std::string_view body) {
  const std::u32string chars = utf8_decode(utf8_lossy(body.substr(0, std::min(body.size(), kReplyBytes))));
  std::string out;
  for (std::size_t i = 0; i < chars.size() && i < kReplyChars; ++i) utf8_append(out, chars[i]);
  return out;
}

UploadOutcome failed(std::string message) { return {false, std::move(message)}; }

}  // namespace

UploadOutcome upload_diagnostics(std::string_view url, std::string_view bundle,
                                 const HttpTransport& send) {
  const std::string target = trim(url);
  if (target.empty()) {
    return failed("没设上传地址（[diag] upload_url）：诊断包已存在本地，可以直接发给我");
  }
  HttpRequest request;
  request.method = "POST";
  request.url = target;
  request.headers = {{"Content-Type", "application/json; charset=utf-8"},
                     {"User-Agent", "Kesu/" KESU_VERSION}};
  request.body = std::string(bundle);
  request.timeout = std::chrono::seconds(15);
  const HttpResponse response = send(request);
  if (response.status == 0) {
    const std::string reason = response.error ? user_message(*response.error) : std::string();
    return failed("上传失败：" + reason + "（网络不通或地址写错）");
  }
  const int status = response.status;
  if (status == 404) return failed("服务端还没有开放诊断上传（404）：诊断包已存本地，把它发给我即可");
  if (status == 413) return failed("诊断包太大，服务端拒收（413）");
  if (status >= 400) return failed("上传失败：HTTP " + std::to_string(status));
  if (status < 200 || status >= 300) return failed("服务端返回 HTTP " + std::to_string(status));
  return {true, reply_excerpt(response.body)};
}

}  // namespace kesu
