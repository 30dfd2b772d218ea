#include "surface/image_surface.h"

#include <gtest/gtest.h>

#include "surface/offscreen_window.h"
#include "surface/random.h"

namespace {

std::uint32_t Pixel(const ImageSurface& image, int x, int y) {
  return image.Rows().Row(y)[x] & 0xFFFFFFU;
}

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

ImageSurface Tiny(int width, int height) {
  return ImageSurface(0, 0, width, height, [] {});
}

struct Point {
  float x, y;
};

// A chain of lines of one width and gray through the points.
void Chain(ImageSurface& image, Int16 width, Int16 gray, std::initializer_list<Point> points) {
  image.DrawWidth(width);
  image.CurrentX(points.begin()->x);
  image.CurrentY(points.begin()->y);
  for (auto at = points.begin() + 1; at != points.end(); ++at) {
    image.Line(at->x, at->y, RGB(gray, gray, gray));
  }
}

void Fill(ImageSurface& image, int width, int height, Int16 gray) {
  Chain(image, static_cast<std::int16_t>(2 * (width + height)), gray,
        {{0, 0}, {static_cast<float>(width), static_cast<float>(height)}});
}

TEST(ImageSurface, ClsPaintsEveryPixelWhite) {
  ImageSurface image = Tiny(4, 3);
  Fill(image, 4, 3, 0);
  image.Cls();
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(image, x, y), kWhite);
}

TEST(ImageSurface, ShrunkCopyFillsItsRectangleAndKeepsTheStripsAround) {
  ImageSurface source = Tiny(12, 10), target = Tiny(12, 10);
  Fill(source, 12, 10, 0);
  // The frame's copy in small: 100 and 50 become 4 and 2.
  target.PaintPicture(source.Image(), 4.0F, 2.0F, 8, 6, 0, 0, 12, 10);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool inside = x >= 4 && y >= 2 && y < 8;
      EXPECT_EQ(Pixel(target, x, y), inside ? kBlack : kWhite) << x << ", " << y;
    }
  }
}

TEST(ImageSurface, ShrunkCopyKeepsTheToneOfThinLines) {
  // A one-pixel black column halved in width becomes a column of mid gray,
  // not a broken or vanished line.
  ImageSurface source = Tiny(20, 20), target = Tiny(20, 20);
  Chain(source, 1, 0, {{10, 0}, {10, 20}});
  target.PaintPicture(source.Image(), 0.0F, 0.0F, 10, 20, 0, 0, 20, 20);
  for (int y = 2; y < 18; ++y) {
    const std::uint32_t sum =
        (Pixel(target, 4, y) & 0xFF) + (Pixel(target, 5, y) & 0xFF) + (Pixel(target, 6, y) & 0xFF);
    EXPECT_GT(sum, 3 * 255 - 200U) << y;
    EXPECT_LT(sum, 3 * 255 - 60U) << y;
  }
}

TEST(ImageSurface, ShrunkCopyOfAClearedPictureIsWhiteAtAnyScale) {
  for (const int size : {120, 400}) {  // Cairo's area averaging, then the bilinear copy
    ImageSurface source = Tiny(size, size), target = Tiny(size, size);
    Fill(target, size, size, 0);
    source.Cls();
    target.Cls();
    target.PaintPicture(source.Image(), 100.0F, 50.0F, static_cast<std::int16_t>(size - 100),
                        static_cast<std::int16_t>(size - 100), 0, 0,
                        static_cast<std::int16_t>(size), static_cast<std::int16_t>(size));
    for (int y = 0; y < size; y += 7)
      for (int x = 0; x < size; x += 7) ASSERT_EQ(Pixel(target, x, y), kWhite) << size;
  }
}

TEST(ImageSurface, CopyIntoARectangleWithoutAreaChangesNothing) {
  ImageSurface source = Tiny(8, 8), target = Tiny(8, 8);
  Fill(source, 8, 8, 0);
  target.PaintPicture(source.Image(), 4.0F, 2.0F, -20, 6, 0, 0, 8, 8);
  target.PaintPicture(source.Image(), 4.0F, 2.0F, 4, 0, 0, 0, 8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(target, x, y), kWhite);
}

TEST(ImageSurface, LinesRunThroughPixelCentresInTheirColour) {
  ImageSurface image = Tiny(10, 5);
  Chain(image, 1, 95, {{2, 2}, {7, 2}});
  for (int x = 3; x <= 6; ++x) {
    EXPECT_EQ(Pixel(image, x, 2), 0x5F5F5FU) << x;
    EXPECT_EQ(Pixel(image, x, 1), kWhite);
    EXPECT_EQ(Pixel(image, x, 3), kWhite);
  }
}

TEST(ImageSurface, PiecesOfAStrokeJoinWithoutNotches) {
  // A sharp zig-zag of wide pieces: round ends fill the outside of each
  // joint, which square ends would leave white.
  ImageSurface image = Tiny(40, 30);
  Chain(image, 9, 0, {{5, 25}, {20, 5}, {35, 25}});
  EXPECT_EQ(Pixel(image, 20, 2), kBlack);
  EXPECT_EQ(Pixel(image, 20, 5), kBlack);
  EXPECT_EQ(Pixel(image, 5, 28), kBlack);
}

TEST(ImageSurface, FailingOperationsRaiseTheSurfaceError) {
  ImageSurface image = Tiny(4, 4);
  EXPECT_THROW(image.DrawWidth(0), SurfaceError);
  EXPECT_THROW(image.Move(0.0F, 0, -1, 4), SurfaceError);
  EXPECT_THROW(RGB(256, 0, 0), SurfaceError);
  EXPECT_THROW(RGB(0, -1, 0), SurfaceError);
  EXPECT_EQ(RGB(1, 2, 3), 1 + 256 * 2 + 65536 * 3);
  ScriptedRandom random({});
  OffscreenWindow window({}, random);
  EXPECT_THROW(window.pb(2), SurfaceError);
  EXPECT_THROW(window.pb(-1), SurfaceError);
}

TEST(ImageSurface, MoveResizesToTheNewRectangle) {
  ImageSurface image(150, 30, 316, 241, [] {});
  image.Move(0.0F, 0, 494, 441);
  EXPECT_EQ(image.Left(), 0);
  EXPECT_EQ(image.Rows().Width, 494);
  EXPECT_EQ(image.Rows().Height, 441);
  EXPECT_EQ(Pixel(image, 493, 440), kWhite);
}

}  // namespace
