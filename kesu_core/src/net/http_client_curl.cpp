#include <mutex>

#include <curl/curl.h>

#include "net/http_client.h"

namespace kesu {

namespace {

struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

struct Easy {
  CURL* h = curl_easy_init();
  ~Easy() {
    if (h) curl_easy_cleanup(h);
  }
};

struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
};

struct Sink {
  std::string* body;
  bool too_big = false;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t n = size * count;
  if (sink->body->size() + n > kMaxResponseBytes) {
    sink->too_big = true;
    return 0;  // aborts the transfer
  }
  sink->body->append(data, n);
  return n;
}

}  // namespace

HttpResponse http_request(const HttpRequest& request) {
  static CurlGlobal global;  // libcurl's one-time set-up; not thread safe, so done once
  HttpResponse response;
  Easy easy;
  if (easy.h == nullptr) {
    response.error = Error{ErrorCode::http_init_failed, {}};
    return response;
  }
  HeaderList headers;
  for (const auto& [name, value] : request.headers) {
    curl_slist* next = curl_slist_append(headers.list, (name + ": " + value).c_str());
    if (next == nullptr) {
      response.error = Error{ErrorCode::out_of_memory, {}};
      return response;
    }
    headers.list = next;
  }
  char errbuf[CURL_ERROR_SIZE] = {0};
  Sink sink{&response.body};
  curl_easy_setopt(easy.h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy.h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  if (request.method != "GET" || !request.body.empty()) {
    curl_easy_setopt(easy.h, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(easy.h, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
  }
  curl_easy_setopt(easy.h, CURLOPT_HTTPHEADER, headers.list);
  curl_easy_setopt(easy.h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
  curl_easy_setopt(easy.h, CURLOPT_NOSIGNAL, 1L);  // threads: no SIGALRM-based time-outs
  curl_easy_setopt(easy.h, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy.h, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(easy.h, CURLOPT_ERRORBUFFER, errbuf);
  curl_easy_setopt(easy.h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy.h, CURLOPT_ACCEPT_ENCODING, "");

  const CURLcode rc = curl_easy_perform(easy.h);
  if (rc != CURLE_OK) {
    const ErrorCode code = sink.too_big                        ? ErrorCode::http_response_too_big
                           : rc == CURLE_OPERATION_TIMEDOUT ? ErrorCode::http_timed_out
                                                            : ErrorCode::http_transport_failed;
    response.error = Error{code, sink.too_big ? "" : (errbuf[0] ? errbuf : curl_easy_strerror(rc))};
    response.status = 0;
    response.body.clear();
    return response;
  }
  long status = 0;
  curl_easy_getinfo(easy.h, CURLINFO_RESPONSE_CODE, &status);
  response.status = static_cast<int>(status);
  return response;
}

}  // namespace kesu
