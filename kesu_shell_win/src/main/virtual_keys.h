#pragma once

// The Windows virtual-key codes the shell's platform-free logic decides on, so that logic
// needs no Windows header.

namespace kesu::shell::vk {

inline constexpr unsigned kTab = 0x09;
inline constexpr unsigned kReturn = 0x0D;
inline constexpr unsigned kControl = 0x11;
inline constexpr unsigned kEscape = 0x1B;
inline constexpr unsigned kDigit1 = 0x31;
inline constexpr unsigned kDigit9 = 0x39;
inline constexpr unsigned kE = 0x45;
inline constexpr unsigned kLeftWin = 0x5B;
inline constexpr unsigned kF1 = 0x70;
inline constexpr unsigned kF21 = 0x84;
inline constexpr unsigned kF24 = 0x87;
inline constexpr unsigned kLeftCtrl = 0xA2;
inline constexpr unsigned kLeftAlt = 0xA4;

}  // namespace kesu::shell::vk
