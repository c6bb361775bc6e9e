#include <windows.h>
#include <winhttp.h>

#include <algorithm>

#include "net/http_client.h"
#include "kesu_version.h"

namespace kesu {

namespace {

using Clock = std::chrono::steady_clock;

struct Handle {
  HINTERNET h = nullptr;
  ~Handle() {
    if (h) WinHttpCloseHandle(h);
  }
};

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

Error transport_error(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT: return {ErrorCode::http_timed_out, {}};
    case ERROR_WINHTTP_CANNOT_CONNECT: return {ErrorCode::http_cannot_connect, {}};
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return {ErrorCode::http_name_not_resolved, {}};
    case ERROR_WINHTTP_CONNECTION_ERROR: return {ErrorCode::http_connection_broken, {}};
    case ERROR_WINHTTP_SECURE_FAILURE: return {ErrorCode::http_tls_failed, {}};
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return {ErrorCode::http_bad_url, {}};
    default: return {ErrorCode::http_network_error, std::to_string(code)};
  }
}

// WinHTTP only knows per-step time-outs: before each step give it what is left of the overall
// budget, so a server that stalls or trickles is cut off at the deadline.
bool budget(HINTERNET request, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return false;
  const int ms = static_cast<int>(std::min<long long>(left.count(), 0x7FFFFFFF));
  WinHttpSetTimeouts(request, ms, ms, ms, ms);
  DWORD value = static_cast<DWORD>(ms);
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &value, sizeof value);
  return true;
}

}  // namespace

HttpResponse http_request(const HttpRequest& request) {
  HttpResponse response;
  const Clock::time_point deadline = Clock::now() + request.timeout;
  const auto fail = [&](DWORD code) {
    response.status = 0;
    response.body.clear();
    // A step given the rest of the budget may give up a moment before the deadline, and some
    // WinHTTP versions report its time-out as a socket error (10060) or as no error at all.
    constexpr DWORD kSocketTimedOut = 10060;
    const bool timed_out = code == ERROR_WINHTTP_TIMEOUT || code == kSocketTimedOut ||
                           Clock::now() + std::chrono::milliseconds(50) >= deadline;
    response.error = timed_out ? Error{ErrorCode::http_timed_out, {}} : transport_error(code);
    return response;
  };

  std::wstring url = widen(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return fail(GetLastError());
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  Handle session{WinHttpOpen(L"Kesu/" KESU_VERSION_WIDE, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
  if (!session.h) {
    // Before Windows 8.1 the automatic proxy type does not exist.
    session.h = WinHttpOpen(L"Kesu/" KESU_VERSION_WIDE, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
  }
  if (!session.h) return fail(GetLastError());
  Handle connection{WinHttpConnect(session.h, host.c_str(), parts.nPort, 0)};
  if (!connection.h) return fail(GetLastError());
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  const std::wstring method = widen(request.method);
  Handle req{WinHttpOpenRequest(connection.h, method.c_str(), path.c_str(), nullptr,
                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags)};
  if (!req.h) return fail(GetLastError());

  std::wstring headers;
  for (const auto& [name, value] : request.headers) headers += widen(name + ": " + value + "\r\n");
  if (!budget(req.h, deadline)) return fail(ERROR_WINHTTP_TIMEOUT);
  if (!WinHttpSendRequest(req.h, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                          static_cast<DWORD>(-1L),
                          request.body.empty() ? WINHTTP_NO_REQUEST_DATA
                                               : const_cast<char*>(request.body.data()),
                          static_cast<DWORD>(request.body.size()),
                          static_cast<DWORD>(request.body.size()), 0)) {
    return fail(GetLastError());
  }
  if (!budget(req.h, deadline) || !WinHttpReceiveResponse(req.h, nullptr)) {
    return fail(GetLastError());
  }
  DWORD status = 0, size = sizeof status;
  if (!WinHttpQueryHeaders(req.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return fail(GetLastError());
  }
  // Ask what has arrived and read just that: a read for more than is there would wait for the
  // rest, however long a trickling server takes.
  std::string chunk;
  for (;;) {
    if (!budget(req.h, deadline)) return fail(ERROR_WINHTTP_TIMEOUT);
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(req.h, &available)) return fail(GetLastError());
    if (available == 0) break;
    if (response.body.size() + available > kMaxResponseBytes) {
      response.status = 0;
      response.body.clear();
      response.error = Error{ErrorCode::http_response_too_big, {}};
      return response;
    }
    chunk.resize(available);
    DWORD read = 0;
    if (!WinHttpReadData(req.h, chunk.data(), available, &read)) return fail(GetLastError());
    if (read == 0) break;
    response.body.append(chunk.data(), read);
  }
  response.status = static_cast<int>(status);
  return response;
}

}  // namespace kesu
