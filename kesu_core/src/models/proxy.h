#pragma once

// Which proxy a download uses when the configuration names none.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kesu {

// Reads an environment variable (nullopt when unset).
using EnvReader = std::function<std::optional<std::string>(const char* name)>;
// Runs `reg query <Internet Settings> /v <value>` and returns its standard output, or nullopt
// where reg is unavailable or cannot be started.
using RegQuery = std::function<std::optional<std::string>(const char* value_name)>;

// The first of HTTPS_PROXY, https_proxy, HTTP_PROXY, http_proxy, ALL_PROXY, all_proxy that is
// not blank, trimmed.
std::optional<std::string> proxy_from_environment(const EnvReader& env);

// From `reg query` output: the data after the "REG_…" type token on the line naming the value.
std::optional<std::string> reg_value_data(std::string_view reg_output, std::string_view value_name);

// ProxyServer data: a per-protocol list ("http=a:1;https=b:2") gives the https entry, else the
// http entry, else the whole text; a plain "host:port" is used as it is.
std::string proxy_from_server_setting(std::string_view data);

// The real RegQuery: runs the system's reg (nullopt on systems without a registry).
std::optional<std::string> query_internet_setting(const char* value_name);

// Environment first, then the per-user Internet settings; nullopt when there is no proxy.
std::optional<std::string> detect_system_proxy(const EnvReader& env, const RegQuery& reg);
std::optional<std::string> detect_system_proxy();

// The proxy setting trimmed, or the detected system proxy when the setting is blank; "" for none.
std::string effective_proxy(std::string_view setting);

}  // namespace kesu
