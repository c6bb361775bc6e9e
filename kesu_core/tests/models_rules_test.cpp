// The rules of the model catalog and downloads that need no network: lookups, candidate
// addresses, size probes, failure texts and proxy detection.

#include <gtest/gtest.h>

#include <map>

#ifdef _WIN32
#include <windows.h>
#endif

#include "models/catalog.h"
#include "models/download.h"
#include "models/download_rules.h"
#include "models/proxy.h"

namespace {

using namespace kesu;

TEST(CatalogTest, IdsMatchExactly) {
  ASSERT_NE(find_catalog_row("sense"), nullptr);
  EXPECT_EQ(find_catalog_row("sense")->marker,
            "sherpa-onnx-sense-voice-zh-en-ja-ko-yue-int8-2025-09-09/model.int8.onnx");
  ASSERT_NE(find_catalog_row("vad"), nullptr);
  for (const char* id : {"stub", "Sense", "sense ", "", "SENSE"}) {
    EXPECT_EQ(find_catalog_row(id), nullptr) << id;
  }
  EXPECT_EQ(download_catalog().size(), 6u);
}

TEST(CatalogTest, OfficialAddressJoinsBaseTagAndFile) {
  const CatalogRow& speaker = *find_catalog_row("speaker");
  EXPECT_EQ(
      official_url(speaker),
      "https://github.com/k2-fsa/sherpa-onnx/releases/download/"
      "speaker-recongition-models/3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx");
}

TEST(CatalogTest, OwnDirectoryOnlyForModelsInAFolder) {
  const std::filesystem::path base = "models";
  EXPECT_EQ(model_own_directory(base, *find_catalog_row("punct")),
            (base / "sherpa-onnx-punct-ct-transformer-zh-en-vocab272727-2024-04-12-int8")
                .make_preferred());
  EXPECT_EQ(model_own_directory(base, *find_catalog_row("gtcrn")), std::nullopt);
}

TEST(DownloadRulesTest, CandidateAddresses) {
  const std::string official = "https://o.example/asr-models/f.onnx";
  struct Case {
    const char* mirror;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"", {official}},
      {"  ", {official}},  // blank: no mirror
      {"/", {official}},   // only a slash: no mirror
      {"https://m.example/kesu-models", {"https://m.example/kesu-models/f.onnx", official}},
      {" https://m.example/kesu-models/// ", {"https://m.example/kesu-models/f.onnx", official}},
      {"https://o.example/asr-models", {official}},  // the mirror is the official address
  };
  for (const Case& c : cases) {
    EXPECT_EQ(candidate_urls(c.mirror, "f.onnx", official), c.expected) << '"' << c.mirror << '"';
  }
}

TEST(DownloadRulesTest, ProbeSizeTakesTheLargestLengthOfAllHops) {
  EXPECT_EQ(probe_size(""), 0u);
  EXPECT_EQ(probe_size("HTTP/1.1 200 OK\r\nServer: x\r\n\r\n"), 0u);
  EXPECT_EQ(probe_size("HTTP/1.1 302 Found\r\nContent-Length: 12\r\n\r\n"
                       "HTTP/1.1 200 OK\r\nCONTENT-LENGTH:   244000000 \r\n\r\n"),
            244000000u);
  EXPECT_EQ(probe_size("content-length: 5\ncontent-length: oops\n"), 5u);
  EXPECT_EQ(probe_size("x-content-length: 99\n"), 0u);
}

TEST(DownloadRulesTest, CurlFailureTexts) {
  struct Case {
    int code;
    const char* error_output;
    const char* proxy;
    const char* expected;
  };
  const Case cases[] = {
      {5, "", "", "下载失败（curl 5）代理地址解析不出来，检查系统代理设置；没有检测到系统代理"},
      {6, "curl: (6) Could not resolve host: x\n", "",
       "下载失败（curl 6）：curl: (6) Could not resolve host: x"
       "域名解析失败：内网可能要走代理，或 DNS 没放行；没有检测到系统代理"},
      {7, "", "http://p:8080",
       "下载失败（curl 7）连不上服务器：防火墙/代理挡了，或镜像地址不可达；代理 http://p:8080"},
      {18, "", "",
       "下载失败（curl 18）传输中断：网络不稳定或中间设备重置了连接；没有检测到系统代理"},
      {56, "", "",
       "下载失败（curl 56）传输中断：网络不稳定或中间设备重置了连接；没有检测到系统代理"},
      // The detail is the last non-empty line.
      {22, "first\r\ncurl: (22) The requested URL returned error: 404\r\n\r\n", "",
       "下载失败（curl 22）：curl: (22) The requested URL returned error: 404"
       "服务器返回错误（404/403）：镜像路径或权限不对；没有检测到系统代理"},
      {28, "", "", "下载失败（curl 28）超时：网速太慢或代理不通；没有检测到系统代理"},
      {35, "", "", "下载失败（curl 35）TLS 握手失败：可能有中间设备拦截 HTTPS；没有检测到系统代理"},
      {33, "curl: (33) cannot resume\n", "",
       "下载失败（curl 33）：curl: (33) cannot resume；没有检测到系统代理"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::user_message(curl_failure(c.code, c.error_output, c.proxy)), c.expected)
        << c.code;
  }
}

// Only a failure that looks like a missing file lets the download try the next address; the
// proxy's text never counts, whatever digits it holds.
TEST(DownloadRulesTest, AMissingFileIsToldByCurlNotByTheMessage) {
  using kesu::ErrorCode;
  struct Case {
    int code;
    const char* error_output;
    const char* proxy;
    ErrorCode expected;
  };
  const Case cases[] = {
      {22, "", "", ErrorCode::download_file_missing},
      {22, "curl: (22) The requested URL returned error: 403\n", "", ErrorCode::download_file_missing},
      {56, "curl: (56) CONNECT tunnel failed, response 403\n", "", ErrorCode::download_file_missing},
      {7, "", "", ErrorCode::download_failed},
      {7, "", "http://proxy:4040", ErrorCode::download_failed},
      {28, "curl: (28) Operation timed out\n", "http://10.0.0.1:8403", ErrorCode::download_failed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(curl_failure(c.code, c.error_output, c.proxy).code, c.expected)
        << c.code << " " << c.error_output << " " << c.proxy;
  }
}

TEST(DownloadRulesTest, CurlDetailLineLeavesTheProgressMeterOut) {
  // What curl writes to its error output when the download fails: meter updates separated by
  // carriage returns, then the message on the same line.
  const std::string meter =
      "  % Total    % Received % Xferd  Average Speed   Time    Time     Time  Current\n"
      "                                 Dload  Upload   Total   Spent    Left  Speed\n"
      "\r  0     0    0     0    0     0      0      0 --:--:-- --:--:-- --:--:--     0"
      "\r  0     0    0     0    0     0      0      0 --:--:--  0:00:01 --:--:--     0";
  struct Case {
    std::string error_output;
    const char* detail;
    const char* why;
  };
  const Case cases[] = {
      {meter + "\rcurl: (6) Could not resolve host: example.invalid\n",
       "curl: (6) Could not resolve host: example.invalid", "message after a return"},
      {meter + "curl: (6) Could not resolve host: example.invalid\n",
       "curl: (6) Could not resolve host: example.invalid", "message straight after the meter"},
      {meter + "\ncurl: (7) Failed to connect\n", "curl: (7) Failed to connect",
       "message on a line of its own"},
      {meter + "curl: (6) Could not resolve host: x\r\n", "curl: (6) Could not resolve host: x",
       "Windows line ending"},
      {meter + "\rcurl: (22) The requested URL returned error: 404\n\n\n",
       "curl: (22) The requested URL returned error: 404", "blank lines after the message"},
      {"curl: (7) Failed to connect\n\r\r\n", "curl: (7) Failed to connect",
       "a line of returns alone carries no text: the one before counts"},
      {"  0     0\r", "  0     0", "a meter alone is still the last text"},
      {"first\nsecond", "second", "no line ending at all"},
      {"", "", "no output"},
      {"\r\n\r\r\n", "", "only line endings"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(curl_detail_line(c.error_output), c.detail) << c.why;
  }
  EXPECT_EQ(kesu::user_message(curl_failure(6, meter + "curl: (6) Could not resolve host: x\n", "")),
            "下载失败（curl 6）：curl: (6) Could not resolve host: x"
            "域名解析失败：内网可能要走代理，或 DNS 没放行；没有检测到系统代理");
}

TEST(DownloadRulesTest, LossyDecodingKeepsValidTextAndMarksBadBytes) {
  EXPECT_EQ(lossy_utf8("解包 ok"), "解包 ok");
  EXPECT_EQ(lossy_utf8("a\xFF"
                       "b\xE8\xA7"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

// Environment and registry fakes; the registry one records which values were asked for.
struct FakeSystem {
  std::map<std::string, std::string> env;
  std::map<std::string, std::string> reg;  // value name -> reg query output
  std::vector<std::string> asked;

  EnvReader env_reader() {
    return [this](const char* name) -> std::optional<std::string> {
      auto it = env.find(name);
      return it == env.end() ? std::nullopt : std::optional(it->second);
    };
  }
  RegQuery reg_query() {
    return [this](const char* value) -> std::optional<std::string> {
      asked.push_back(value);
      auto it = reg.find(value);
      return it == reg.end() ? std::nullopt : std::optional(it->second);
    };
  }
  std::optional<std::string> detect() { return detect_system_proxy(env_reader(), reg_query()); }
};

std::string reg_output(const std::string& name, const std::string& type, const std::string& data) {
  return "\r\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
         "Settings\r\n"
         "    " +
         name + "    " + type + "    " + data + "\r\n\r\n";
}

TEST(ProxyTest, EnvironmentVariablesInOrderAndBlankOnesSkipped) {
  FakeSystem sys;
  sys.env = {{"all_proxy", "socks5://a:1"}, {"HTTP_PROXY", "  "}, {"http_proxy", " http://h:2 "}};
  EXPECT_EQ(sys.detect(), "http://h:2");
  sys.env["https_proxy"] = "http://s:3";
  EXPECT_EQ(sys.detect(), "http://s:3");
  sys.env["HTTPS_PROXY"] = "http://S:4";
  EXPECT_EQ(sys.detect(), "http://S:4");
  EXPECT_TRUE(sys.asked.empty());  // the registry is not consulted when the environment answers
}

TEST(ProxyTest, RegistryOnlyWhenEnabled) {
  struct Case {
    const char* enable;  // ProxyEnable data, nullptr: reg unavailable
    const char* server;  // ProxyServer data
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {nullptr, "p:1", std::nullopt},
      {"0x0", "p:1", std::nullopt},
      {"0x1", "p:1", "p:1"},
      {"1", "p:1", "p:1"},
      {"0x1", "http=h:80;https=s:443;ftp=f:21", "s:443"},
      {"0x1", "ftp=f:21;http=h:80", "h:80"},
      {"0x1", "ftp=f:21;socks=k:1", "ftp=f:21;socks=k:1"},
  };
  for (const Case& c : cases) {
    FakeSystem sys;
    if (c.enable) sys.reg["ProxyEnable"] = reg_output("ProxyEnable", "REG_DWORD", c.enable);
    sys.reg["ProxyServer"] = reg_output("ProxyServer", "REG_SZ", c.server);
    EXPECT_EQ(sys.detect(), c.expected) << (c.enable ? c.enable : "none") << " " << c.server;
    const bool enabled =
        c.enable && (std::string(c.enable) == "0x1" || std::string(c.enable) == "1");
    EXPECT_EQ(sys.asked.size(), enabled ? 2u : 1u);  // ProxyServer only after ProxyEnable says so
  }
}

TEST(ProxyTest, RegOutputParsing) {
  EXPECT_EQ(reg_value_data(reg_output("ProxyServer", "REG_SZ", "h:1"), "ProxyServer"), "h:1");
  EXPECT_EQ(reg_value_data("ERROR: The system was unable to find the specified registry key",
                           "ProxyServer"),
            std::nullopt);
  EXPECT_EQ(reg_value_data(reg_output("ProxyOverride", "REG_SZ", "<local>"), "ProxyServer"),
            std::nullopt);
}

TEST(ProxyTest, ConfiguredProxyWinsOverDetection) {
  EXPECT_EQ(effective_proxy("  http://configured:1  "), "http://configured:1");
}

#ifdef _WIN32
// The real `reg query` round trip. It changes the user's proxy settings for a moment, so it runs
// only in the throw-away Wine prefix of the test runs.
TEST(ProxyTest, SystemSettingsAreReadThroughReg) {
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr) {
    GTEST_SKIP() << "only under Wine";
  }
  const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  HKEY settings = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &settings, nullptr),
            ERROR_SUCCESS);
  const auto set = [&](DWORD enable, const std::wstring& server) {
    RegSetValueExW(settings, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                   sizeof enable);
    RegSetValueExW(settings, L"ProxyServer", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
  };
  const EnvReader no_env = [](const char*) -> std::optional<std::string> { return std::nullopt; };
  set(1, L"http=h.example:80;https=s.example:443");
  EXPECT_EQ(detect_system_proxy(no_env, query_internet_setting), "s.example:443");
  set(0, L"p.example:8080");
  EXPECT_EQ(detect_system_proxy(no_env, query_internet_setting), std::nullopt);
  RegDeleteValueW(settings, L"ProxyEnable");
  RegDeleteValueW(settings, L"ProxyServer");
  RegCloseKey(settings);
}
#endif

}  // namespace
