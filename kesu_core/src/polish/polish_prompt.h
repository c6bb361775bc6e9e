#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kesu {

enum class PolishLevel { off = 0, light = 1, medium = 2, strong = 3 };

// Trimmed, ASCII-lower-cased, then the English or Chinese level words; nullopt otherwise.
std::optional<PolishLevel> parse_polish_level(std::string_view text);

// The system prompt for polishing one text at `level` for the named foreground application.
std::string polish_system_prompt(PolishLevel level, std::string_view extra_prompt,
                                 std::string_view application);

// The fixed system prompt of the selection rewrite.
std::string rewrite_system_prompt();

// Chat-completions and model-list addresses derived from a configured endpoint.
std::string chat_url(std::string_view endpoint);
std::string models_url(std::string_view endpoint);

}  // namespace kesu
