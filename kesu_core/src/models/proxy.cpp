#include "models/proxy.h"

#include <cstdlib>
#include <sstream>

#include "util/child_process.h"
#include "util/utf8.h"

namespace kesu {

namespace {

constexpr const char* kInternetSettingsKey =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::optional<std::string> real_env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace

std::optional<std::string> query_internet_setting(const char* value_name) {
#ifdef _WIN32
  const ChildResult run =
      run_captured({system_tool("reg"), "query", kInternetSettingsKey, "/v", value_name});
  if (run.end != ChildResult::End::exited) return std::nullopt;
  return run.out;
#else
  (void)value_name;
  (void)kInternetSettingsKey;
  return std::nullopt;  // no registry here
#endif
}

std::optional<std::string> proxy_from_environment(const EnvReader& env) {
  for (const char* name :
       {"HTTPS_PROXY", "https_proxy", "HTTP_PROXY", "http_proxy", "ALL_PROXY", "all_proxy"}) {
    const std::optional<std::string> value = env(name);
    if (!value) continue;
    std::string trimmed = trim_unicode(*value);
    if (!trimmed.empty()) return trimmed;
  }
  return std::nullopt;
}

std::optional<std::string> reg_value_data(std::string_view reg_output,
                                          std::string_view value_name) {
  std::istringstream lines{std::string(reg_output)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string name, type;
    if (!(words >> name >> type) || name != value_name || !type.starts_with("REG_")) continue;
    std::string rest;
    std::getline(words, rest);
    return trim_unicode(rest);
  }
  return std::nullopt;
}

std::string proxy_from_server_setting(std::string_view data) {
  const std::string whole = trim_unicode(data);
  if (whole.find('=') == std::string::npos) return whole;
  std::optional<std::string> https, http;
  std::string_view rest = whole;
  while (true) {
    const std::size_t semi = rest.find(';');
    const std::string element = trim_unicode(rest.substr(0, semi));
    if (!https && element.starts_with("https=")) https = element.substr(6);
    if (!http && element.starts_with("http=")) http = element.substr(5);
    if (semi == std::string_view::npos) break;
    rest.remove_prefix(semi + 1);
  }
  if (https) return *https;
  if (http) return *http;
  return whole;
}

std::optional<std::string> detect_system_proxy(const EnvReader& env, const RegQuery& reg) {
  if (auto from_env = proxy_from_environment(env)) return from_env;
  const std::optional<std::string> enable_output = reg("ProxyEnable");
  if (!enable_output) return std::nullopt;
  const std::optional<std::string> enabled = reg_value_data(*enable_output, "ProxyEnable");
  if (!enabled || (*enabled != "0x1" && *enabled != "1")) return std::nullopt;
  const std::optional<std::string> server_output = reg("ProxyServer");
  if (!server_output) return std::nullopt;
  const std::optional<std::string> server = reg_value_data(*server_output, "ProxyServer");
  if (!server) return std::nullopt;
  std::string proxy = proxy_from_server_setting(*server);
  if (proxy.empty()) return std::nullopt;
  return proxy;
}

std::optional<std::string> detect_system_proxy() {
  return detect_system_proxy(real_env, query_internet_setting);
}

std::string effective_proxy(std::string_view setting) {
  std::string configured = trim_unicode(setting);
  if (!configured.empty()) return configured;
  return detect_system_proxy().value_or("");
}

}  // namespace kesu
