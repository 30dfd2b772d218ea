#include "surface/icon.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "boska.xpm"

namespace {

// Reads the XPM: a header "width height colours 1", one line per colour
// ("c c #RRGGBB"), then one line per row.
IconPixels ReadXpm(const char* const* xpm) {
  int width = 0, height = 0, colours = 0, chars = 0;
  if (std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &chars) != 4 ||
      width != kIconSize || height != kIconSize || chars != 1) {
    throw std::logic_error("the icon must be 32 x 32 with one character a pixel");
  }
  std::map<char, std::uint32_t> palette;
  for (int i = 1; i <= colours; ++i) {
    unsigned rgb = 0;
    if (std::sscanf(xpm[i] + 1, " c #%6x", &rgb) != 1) throw std::logic_error("bad icon colour");
    palette[xpm[i][0]] = 0xFF000000U | rgb;
  }
  IconPixels pixels{};
  for (int y = 0; y < kIconSize; ++y) {
    const char* row = xpm[1 + colours + y];
    if (std::strlen(row) != kIconSize) throw std::logic_error("bad icon row");
    for (int x = 0; x < kIconSize; ++x) pixels[y * kIconSize + x] = palette.at(row[x]);
  }
  return pixels;
}

}  // namespace

const IconPixels& Icon() {
  static const IconPixels pixels = ReadXpm(boska_xpm);
  return pixels;
}
