#include "surface/wayland/shm_bands.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A picture at (Left, Top) of the window with a few strokes of grays.
ImageSurface Strokes(int Left, int Top, int Width, int Height) {
  ImageSurface image(Left, Top, Width, Height, [] {});
  image.DrawWidth(3);
  image.CurrentX(2.0F);
  image.CurrentY(float(Height) - 2);
  image.Line(float(Width) / 2, 5.0F, RGB(95, 95, 95));
  image.Line(float(Width) - 3, float(Height) / 2, RGB(20, 20, 20));
  return image;
}

// The box of the pixels of Image that are not white within Area of the
// window, pixel by pixel.
Box InkedPixels(const ImageSurface& Image, const Box& Area) {
  const PixelRows pixels = Image.Rows();
  Box found;
  for (int y = 0; y < pixels.Height; ++y) {
    for (int x = 0; x < pixels.Width; ++x) {
      if (pixels.Row(y)[x] == 255) continue;
      found = found.Hull(Box{x, y, x + 1, y + 1}.Offset(Image.Left(), Image.Top()).Meet(Area));
    }
  }
  return found;
}

// Bands tile the surface from top to bottom, and each shows exactly the ink
// in its rows: every pixel that is not white lies in its band's box.
TEST(ShmBands, TileTheSurfaceAndHoldEveryInkedRow) {
  const ImageSurface image = Strokes(10, 40, 300, 300);
  for (const Box& shown : {Box{0, 0, 400, 400}, Box{5, 30, 200, 159}, Box{0, 0, 50, 128}}) {
    int next = shown.Top;
    for (const Box& area : BandAreas(shown)) {
      EXPECT_EQ(area.Top, next);
      EXPECT_EQ(area.Left, shown.Left);
      EXPECT_EQ(area.Right, shown.Right);
      EXPECT_LE(area.Height(), kSubsurfaceRows);
      EXPECT_GT(area.Height(), 0);
      const Box ink = InkIn(image, area);
      EXPECT_EQ(ink.Empty() ? Box{} : ink, InkedPixels(image, area));
      next = area.Bottom;
    }
    EXPECT_EQ(next, shown.Bottom);
  }
}

// Each gray becomes its XRGB pixel, Scale × Scale times, exactly; what the
// picture does not cover is white, and nothing beyond the area is written.
TEST(ShmBands, ConvertsEachGrayExactlyAtEveryScale) {
  const ImageSurface image = Strokes(3, 2, 20, 16);
  const PixelRows grays = image.Rows();
  const Box shows{0, 0, 26, 20};
  const Box area{1, 1, 25, 19};
  for (const int scale : {1, 2, 3}) {
    const int width = shows.Width() * scale;
    std::vector<std::uint32_t> pixels(std::size_t(width) * std::size_t(shows.Height() * scale), 7);
    Convert({pixels.data(), shows, scale}, grays, image.Left(), image.Top(), area);
    for (int y = 0; y < shows.Height() * scale; ++y) {
      for (int x = 0; x < width; ++x) {
        const int wx = x / scale, wy = y / scale;
        const int ix = wx - image.Left(), iy = wy - image.Top();
        const bool in_area =
            wx >= area.Left && wx < area.Right && wy >= area.Top && wy < area.Bottom;
        const bool in_image = ix >= 0 && ix < grays.Width && iy >= 0 && iy < grays.Height;
        const std::uint32_t expected = !in_area   ? 7
                                       : in_image ? grays.Row(iy)[ix] * 0x010101U
                                                  : kXrgbWhite;
        ASSERT_EQ(pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)], expected)
            << "scale " << scale << " at " << x << ", " << y;
      }
    }
  }
}

// A band writes only into a buffer that the compositor does not hold: at
// most three are made, and with all three held there is none.
TEST(ShmBands, NeverHandsOutABufferTheCompositorHolds) {
  struct Buffer {
    bool busy = false;
  };
  BufferRing<Buffer> ring;
  int made = 0;
  const auto make = [&] {
    ++made;
    return std::make_unique<Buffer>();
  };
  std::vector<Buffer*> held;
  for (int i = 0; i < 3; ++i) {
    Buffer* free = ring.Free(make);
    ASSERT_NE(free, nullptr);
    EXPECT_FALSE(free->busy);
    free->busy = true;
    held.push_back(free);
  }
  EXPECT_EQ(ring.Free(make), nullptr);
  EXPECT_EQ(made, 3);
  held[1]->busy = false;
  EXPECT_EQ(ring.Free(make), held[1]);
  EXPECT_EQ(made, 3);
}

}  // namespace
