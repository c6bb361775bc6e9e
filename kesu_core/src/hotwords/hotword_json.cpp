#include "hotwords/hotword_json.h"

#include "util/paths.h"
#include "util/utf8.h"

namespace kesu {

using Json = nlohmann::json;

Json hotwords_to_json(const HotwordTable& table) {
  Json rules = Json::array();
  for (const HotwordRule& r : table.rules()) rules.push_back({{"from", r.from}, {"to", r.to}});
  Json out = {{"rules", std::move(rules)}};
  if (table.error()) out["error"] = user_message(*table.error());
  if (table.path()) out["path"] = path_to_utf8(*table.path());
  return out;
}

Result<std::vector<HotwordRule>> hotwords_from_json(std::string_view text) {
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& e) {
    return Error{ErrorCode::hotwords_json_invalid, e.what()};
  }
  const Json* array = nullptr;
  if (root.is_array()) {
    array = &root;
  } else if (root.is_object()) {
    auto it = root.find("rules");
    if (it == root.end() || !it->is_array()) return Error{ErrorCode::hotwords_rules_missing, {}};
    array = &*it;
  } else {
    return Error{ErrorCode::hotwords_wrong_shape, {}};
  }
  std::vector<HotwordRule> rules;
  for (const Json& item : *array) {
    if (!item.is_object()) continue;
    auto from = item.find("from"), to = item.find("to");
    if (from == item.end() || to == item.end() || !from->is_string() || !to->is_string()) continue;
    std::string f = from->get<std::string>(), t = to->get<std::string>();
    // Checked trimmed, stored as given.
    if (trim_unicode(f).empty() || trim_unicode(t).empty()) continue;
    rules.push_back({std::move(f), std::move(t)});
  }
  return rules;
}

}  // namespace kesu
