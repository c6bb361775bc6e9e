#pragma once

#include <string>
#include <string_view>

namespace kesu {

// The punctuation used without the model: a text of at least 6 characters that ends in a CJK
// ideograph gets "。"; everything else (short, already punctuated, ending otherwise) stays.
std::string punctuate_by_rule(std::string_view text);

}  // namespace kesu
