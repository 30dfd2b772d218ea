#include "surface/picture/image_surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "surface/offscreen/offscreen_window.h"
#include "surface/random.h"

namespace {

int Pixel(const ImageSurface& image, int x, int y) { return image.Rows().Row(y)[x]; }

constexpr int kWhite = 255;
constexpr int kBlack = 0;

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

// The frame's copy in small, at a scale that Cairo does (2/3) and at one that
// the surface's own copy does (3/4): the cleared target's strips are white,
// its rectangle is the source's black.
TEST(ImageSurface, ShrunkCopyFillsItsRectangleAndKeepsTheStripsAround) {
  for (const auto& [width, height, left, top] :
       {std::array<std::int16_t, 4>{12, 10, 4, 2}, {16, 12, 4, 1}}) {
    ImageSurface source = Tiny(width, height), target = Tiny(width, height);
    Fill(source, width, height, 0);
    Fill(target, width, height, 95);
    target.Cls();
    target.PaintPicture(source.Image(), float(left), float(top), Int16(width) - left,
                        Int16(height) - top - top, 0, 0, width, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const bool inside = x >= left && y >= top && y < height - top;
        ASSERT_EQ(Pixel(target, x, y), inside ? kBlack : kWhite) << width << ": " << x << ", " << y;
      }
    }
  }
}

// Nothing of the cleared picture survives a copy of a picture that is white
// but for a line near its left edge, on either copy path.
TEST(ImageSurface, ClearedPictureLeavesNoTraceBesideACopyOfALine) {
  for (const std::int16_t size : {std::int16_t{12}, std::int16_t{16}}) {
    ImageSurface source = Tiny(size, size), target = Tiny(size, size);
    Chain(source, 1, 0, {{2, 0}, {2, float(size)}});
    Fill(target, size, size, 95);
    target.Cls();
    target.PaintPicture(source.Image(), 4.0F, 1.0F, size - 4, size - 2, 0, 0, size, size);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) ASSERT_NE(Pixel(target, x, y), 95) << size << ": " << x;
  }
}

// A one-pixel black column shrunk in width becomes a softer column of the
// same total tone, not a broken or vanished line: halved by Cairo, to 4/5 by
// the surface's own copy.
TEST(ImageSurface, ShrunkCopyKeepsTheToneOfThinLines) {
  for (const std::int16_t narrow : {std::int16_t{10}, std::int16_t{16}}) {
    ImageSurface source = Tiny(20, 20), target = Tiny(20, 20);
    Chain(source, 1, 0, {{10, 0}, {10, 20}});
    target.PaintPicture(source.Image(), 0.0F, 0.0F, narrow, 20, 0, 0, 20, 20);
    const double tone = 255.0 * narrow / 20;
    for (int y = 2; y < 18; ++y) {
      double darkness = 0;
      for (int x = 0; x < narrow; ++x) darkness += 255 - Pixel(target, x, y);
      EXPECT_GT(darkness, 0.7 * tone) << narrow << ", " << y;
      EXPECT_LT(darkness, 1.2 * tone) << narrow << ", " << y;
    }
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
    EXPECT_EQ(Pixel(image, x, 2), 95) << x;
    EXPECT_EQ(Pixel(image, x, 1), kWhite);
    EXPECT_EQ(Pixel(image, x, 3), kWhite);
  }
}

// Lines wait to be drawn several at a time, but never past a copy: one drawn
// after a clearing and before a copy lies under the copy and beside it.
TEST(ImageSurface, LinesDrawnBeforeACopyLieUnderIt) {
  ImageSurface source = Tiny(16, 12), target = Tiny(16, 12);
  target.Cls();
  Fill(target, 16, 12, 0);
  target.PaintPicture(source.Image(), 4.0F, 1.0F, 12, 10, 0, 0, 16, 12);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool copied = x >= 4 && y >= 1 && y < 11;
      ASSERT_EQ(Pixel(target, x, y), copied ? kWhite : kBlack) << x << ", " << y;
    }
  }
}

// Each piece alone on white against the coverage worked out for every pixel
// in double precision, within a unit: pieces along and across the rows, thick
// ones with fully covered runs, a disc, pieces over every edge of images whose
// width leaves the last step short, and one wider than its image. Both paths
// give the same pixels.
TEST(ThickLines, CoverWhatTheirDistanceSaysOnBothPaths) {
  const struct {
    int width, height;
    LinePiece line;
  } cases[] = {
      {40, 30, {12.3, 27.0, 15.6, 3.2, 1, 0}},    {40, 30, {2.0, 14.5, 37.0, 14.5, 9, 0}},
      {40, 40, {20.0, 37.0, 20.0, 8.0, 30, 95}},  {37, 20, {30.5, 3.0, 45.0, 16.0, 3, 0}},
      {37, 20, {-6.0, 18.0, 9.0, -3.0, 5, 40}},   {20, 20, {9.5, 9.5, 9.5, 9.5, 5, 0}},
      {50, 40, {25.0, 20.0, 30.0, 22.0, 200, 0}}, {64, 12, {1.0, 2.0, 62.0, 9.0, 3, 0}},
      {3, 2, {0.0, 0.0, 2.0, 1.0, 2, 0}},
  };
  for (const auto& c : cases) {
    const int stride = (c.width + 15) / 16 * 16;
    std::vector<std::uint8_t> pixels[2];
    for (const PixelPath path : {PixelPath::Fastest, PixelPath::Plain}) {
      auto& image = pixels[path == PixelPath::Plain];
      image.assign(std::size_t(stride) * c.height, kWhite);
      InkRows ink(c.height);
      DrawThickLines({image.data(), c.width, c.height, stride}, {&c.line, 1}, ink, path);
    }
    EXPECT_TRUE(pixels[0] == pixels[1]) << c.width << " x " << c.height;
    const LinePiece& l = c.line;
    const double dx = l.X1 - l.X0, dy = l.Y1 - l.Y0, outer = l.Width / 2 + 0.5;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const double t =
            dx == 0 && dy == 0
                ? 0
                : std::clamp(((x - l.X0) * dx + (y - l.Y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        const double distance = std::hypot(x - l.X0 - t * dx, y - l.Y0 - t * dy);
        const double alpha = std::round(std::clamp(outer - distance, 0.0, 1.0) * 255);
        const double expected = (l.Gray * alpha + kWhite * (255 - alpha)) / 255;
        ASSERT_NEAR(pixels[0][std::size_t(y * stride + x)], expected, 1.01)
            << c.width << " x " << c.height << ": " << x << ", " << y;
      }
    }
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
  EXPECT_THROW(image.Line(1.0F, 1.0F, RGB(95, 95, 96)), SurfaceError);
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
