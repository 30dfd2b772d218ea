// make_icon DIR: writes the program's icon as a 16-colour ICO (for the
// Windows resource script), DIR/boska.ico, and as PNGs for the desktops,
// DIR/hicolor/NxN/apps/boska.png: 32 × 32 as drawn, and 64, 128 and 256
// enlarged by whole pixels, without smoothing, so that it stays crisp.
#include <cairo.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "surface/icon.h"

namespace {

// The standard 16-colour palette, as 0xRRGGBB.
constexpr std::array<std::uint32_t, 16> kPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

std::uint8_t PaletteIndex(std::uint32_t argb) {
  for (std::size_t i = 0; i < kPalette.size(); ++i) {
    if (kPalette[i] == (argb & 0xFFFFFF)) return static_cast<std::uint8_t>(i);
  }
  throw std::runtime_error("the icon uses a colour outside the 16-colour palette");
}

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::vector<std::uint8_t> Ico(const IconPixels& pixels) {
  constexpr std::uint32_t kHeader = 40, kColours = 16 * 4;
  constexpr std::uint32_t kXor = kIconSize * kIconSize / 2, kAnd = kIconSize * kIconSize / 8;
  std::vector<std::uint8_t> out;
  Put(out, 0, 2), Put(out, 1, 2), Put(out, 1, 2);  // an icon file with one image
  Put(out, kIconSize, 1), Put(out, kIconSize, 1), Put(out, 16, 1), Put(out, 0, 1);
  Put(out, 1, 2), Put(out, 4, 2), Put(out, kHeader + kColours + kXor + kAnd, 4), Put(out, 22, 4);
  Put(out, kHeader, 4), Put(out, kIconSize, 4), Put(out, 2 * kIconSize, 4);
  Put(out, 1, 2), Put(out, 4, 2), Put(out, 0, 4), Put(out, kXor + kAnd, 4);
  Put(out, 0, 4), Put(out, 0, 4), Put(out, 16, 4), Put(out, 0, 4);
  for (const std::uint32_t rgb : kPalette) Put(out, rgb, 4);  // blue, green, red, 0
  for (int y = kIconSize - 1; y >= 0; --y) {                  // rows bottom up
    for (int x = 0; x < kIconSize; x += 2) {
      const int at = y * kIconSize + x;
      Put(out, PaletteIndex(pixels[at]) << 4 | PaletteIndex(pixels[at + 1]), 1);
    }
  }
  out.insert(out.end(), kAnd, 0);  // every pixel opaque
  return out;
}

void WritePng(const IconPixels& pixels, int scale, const std::string& path) {
  const int size = kIconSize * scale;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size, size);
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < size; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (int x = 0; x < size; ++x) row[x] = pixels[y / scale * kIconSize + x / scale];
  }
  cairo_surface_mark_dirty(image);
  const cairo_status_t status = cairo_surface_write_to_png(image, path.c_str());
  cairo_surface_destroy(image);
  if (status != CAIRO_STATUS_SUCCESS) throw std::runtime_error(cairo_status_to_string(status));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_icon DIR\n";
    return 2;
  }
  try {
    const std::filesystem::path dir = argv[1];
    for (const int scale : {1, 2, 4, 8}) {
      const std::string size = std::to_string(kIconSize * scale);
      const std::filesystem::path apps = dir / "hicolor" / (size + "x" + size) / "apps";
      std::filesystem::create_directories(apps);
      WritePng(Icon(), scale, apps / "boska.png");
    }
    const std::vector<std::uint8_t> ico = Ico(Icon());
    std::ofstream(dir / "boska.ico", std::ios::binary)
        .write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "make_icon: " << error.what() << '\n';
    return 1;
  }
}
