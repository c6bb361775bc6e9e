#include "punct/punct_rule.h"

#include <string_view>

#include "util/utf8.h"

namespace kesu {

namespace {

constexpr std::u32string_view kEndings = U"!,.:;?…。！，：；？";

bool is_cjk_ideograph(char32_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF);
}

}  // namespace

std::string punctuate_by_rule(std::string_view text) {
  const std::u32string chars = utf8_decode(text);
  if (chars.size() < 6) return std::string(text);
  const char32_t last = chars.back();
  if (kEndings.find(last) != std::u32string_view::npos) return std::string(text);
  if (!is_cjk_ideograph(last)) return std::string(text);
  return std::string(text) + "。";
}

}  // namespace kesu
