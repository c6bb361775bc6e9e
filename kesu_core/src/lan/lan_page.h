#pragma once

#include <string_view>

namespace kesu::lan {

// The self-contained dictation page served at "/": record or pick a file, send it as a 16 kHz
// WAV, show the text.
std::string_view dictation_page();

}  // namespace kesu::lan
