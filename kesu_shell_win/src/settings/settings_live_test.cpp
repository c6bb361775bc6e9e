#include "settings/settings_live_test.h"

#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "main/core_calls.h"

namespace kesu::shell {

using Json = nlohmann::json;

namespace {

constexpr std::string_view kNoCore = "core 没起来";
constexpr std::string_view kTestEndpoint = "http://127.0.0.1:9/kesu-live-test";

Json config_of(const CoreCalls& core) {
  Json config = Json::parse(core.get_config_json(), nullptr, false);
  return config.is_object() ? config : Json::object();
}

Json member(const Json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? Json() : *it;
}

struct Row {
  const char* label;
  const char* key;
  Json value;
};

int count_of(std::string_view text, std::string_view piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string_view::npos;
       at = text.find(piece, at + piece.size())) {
    ++n;
  }
  return n;
}

template <class Fail>
void run_checks(const CoreCalls& core, std::span<const Row> rows, std::vector<std::string>& checks,
                Fail&& fail) {
  const Json start = config_of(core);

  for (const Row& row : rows) {
    const CallResult r = core.set_config_json(Json{{row.key, row.value}}.dump());
    if (r.code != 0) {
      fail(std::string(row.label) + "=FAIL 写入被拒(" + r.message + ")");
      continue;
    }
    const Json actual = member(config_of(core), row.key);
    if (actual == row.value) {
      checks.push_back(std::string(row.label) + "=OK");
    } else {
      fail(std::string(row.label) + "=FAIL 期望 " + row.value.dump() + " 实际 " + actual.dump());
    }
  }

  // The user's own hotwords are put back afterwards: a test must not cost them their table.
  Json saved_rules = member(Json::parse(core.get_hotwords(), nullptr, false), "rules");
  if (!saved_rules.is_array()) saved_rules = Json::array();
  const CallResult written = core.set_hotwords(
      Json{{"rules", Json::array({Json{{"from", "测试错字"}, {"to", "测试正字"}}})}}.dump());
  const int hits = count_of(core.get_hotwords(), "测试错字");
  if (written.code == 0 && hits == 1) {
    checks.push_back("hotwords=OK");
  } else {
    fail("hotwords=FAIL code=" + std::to_string(written.code) + " 命中=" + std::to_string(hits));
  }
  (void)core.set_hotwords(Json{{"rules", saved_rules}}.dump());

  const Json endpoint = member(start, "polish_endpoint");
  (void)core.set_config_json(Json{{"polish_endpoint", kTestEndpoint}}.dump());
  (void)core.set_config_json(
      Json{{"polish_endpoint", endpoint.is_string() ? endpoint : Json("")}}.dump());

  Json restore = Json::object();
  for (const char* key : {"engine", "device", "min_record_ms", "privacy_mode", "denoise", "insert_mode"}) {
    if (start.contains(key)) restore[key] = start[key];
  }
  (void)core.set_config_json(restore.dump());
}

}  // namespace

std::string settings_live_test(const CoreBinding* binding) {
  std::vector<std::string> checks;
  bool all_ok = true;
  auto fail = [&](std::string text) {
    all_ok = false;
    checks.push_back(std::move(text));
  };
  const Row rows[] = {
      {"min_record_ms", "min_record_ms", 450},   {"insert_mode", "insert_mode", "keystroke"},
      {"insert_mode_back", "insert_mode", "paste"}, {"privacy_on", "privacy_mode", true},
      {"privacy_off", "privacy_mode", false},     {"denoise_off", "denoise", false},
      {"denoise_on", "denoise", true},
  };
  if (binding == nullptr) {
    for (const Row& row : rows) fail(std::string(row.label) + "=FAIL 写入被拒(" + std::string(kNoCore) + ")");
    fail("hotwords=FAIL code=-1 命中=0");
  } else {
    run_checks(CoreCalls(*binding), rows, checks, fail);
  }
  std::string line = std::string("SETTINGSLIVE ") + (all_ok ? "OK" : "FAIL");
  for (const std::string& c : checks) line += " " + c;
  return line;
}

}  // namespace kesu::shell
