#include "voice/voice_print.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

namespace kesu {

std::string render_voice_print(const VoicePrint& print) {
  // Written by hand: the numbers must be the shortest round-trip form of the 32-bit values.
  nlohmann::json head = {{"created", print.created}};
  std::string out = "{\"model\":" + nlohmann::json(kSpeakerModelFile).dump() +
                    ",\"dim\":" + std::to_string(print.vec.size()) +
                    ",\"created\":" + head["created"].dump() + ",\"vec\":[";
  for (std::size_t i = 0; i < print.vec.size(); ++i) {
    if (i > 0) out += ',';
    const float v = print.vec[i];
    if (!std::isfinite(v)) {
      out += "null";
      continue;
    }
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, ec == std::errc() ? end : buf);
  }
  out += "]}";
  return out;
}

std::optional<VoicePrint> parse_voice_print(const std::string& text) {
  const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (!doc.is_object() || doc.size() != 4) return std::nullopt;
  const auto model = doc.find("model");
  const auto dim = doc.find("dim");
  const auto created = doc.find("created");
  const auto vec = doc.find("vec");
  if (model == doc.end() || !model->is_string() || *model != kSpeakerModelFile) return std::nullopt;
  if (dim == doc.end() || !dim->is_number_unsigned()) return std::nullopt;
  if (created == doc.end() || !created->is_string()) return std::nullopt;
  if (vec == doc.end() || !vec->is_array() || vec->size() != dim->get<std::size_t>()) {
    return std::nullopt;
  }
  VoicePrint print;
  print.created = created->get<std::string>();
  print.vec.reserve(vec->size());
  for (const nlohmann::json& v : *vec) {
    if (v.is_null()) {
      print.vec.push_back(std::numeric_limits<float>::quiet_NaN());
    } else if (v.is_number()) {
      print.vec.push_back(v.get<float>());
    } else {
      return std::nullopt;
    }
  }
  return print;
}

std::optional<VoicePrint> read_voice_print(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parse_voice_print(text);
}

}  // namespace kesu
