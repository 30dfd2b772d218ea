// The program's icon: 32 × 32 pixels in black, gray and light gray, opaque.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int kIconSize = 32;

// Pixels row by row, top row first, as 0xAARRGGBB with alpha 0xFF.
using IconPixels = std::array<std::uint32_t, kIconSize * kIconSize>;

// The icon as drawn in resources/boska.xpm.
const IconPixels& Icon();
