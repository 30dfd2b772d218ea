// The two primitives drawn directly into the pixels must look like Cairo's
// own: anti-aliased round-capped strokes and the GOOD-filtered shrunk copy,
// compared pixel by pixel on real plants. The shrunk copies are ours because
// Cairo's general resampler is several times slower than the frame's copy
// needs to be: ShrinkCopy samples as the GOOD filter does for shrinking by
// less than a quarter (bilinear, edges padded), AverageCopy as it does
// beyond that (area averages along a strongly shrunk side).
#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "animation/form.h"
#include "surface/offscreen/offscreen_window.h"
#include "surface/picture/average_copy.h"
#include "surface/picture/shrink_copy.h"
#include "surface/picture/thick_line.h"
#include "surface/random.h"

namespace {

struct Difference {
  int largest = 0;
  double mean = 0;
};

Difference Compare(const PixelRows& ours, cairo_surface_t* theirs) {
  cairo_surface_flush(theirs);
  const unsigned char* data = cairo_image_surface_get_data(theirs);
  const int stride = cairo_image_surface_get_stride(theirs);
  Difference difference;
  long total = 0;
  for (int y = 0; y < ours.Height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
    for (int x = 0; x < ours.Width; ++x) {
      int worst = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        worst = std::max(worst, std::abs(int(ours.Row(y)[x]) - int((row[x] >> shift) & 0xFF)));
      }
      difference.largest = std::max(difference.largest, worst);
      total += worst;
    }
  }
  const double pixels = double(ours.Width) * ours.Height;
  difference.mean = double(total) / pixels;
  return difference;
}

// Our gray pixels as a Cairo image.
cairo_surface_t* CairoImage(const PixelRows& gray) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, gray.Width, gray.Height);
  unsigned char* data = cairo_image_surface_get_data(image);
  for (int y = 0; y < gray.Height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * cairo_image_surface_get_stride(image));
    for (int x = 0; x < gray.Width; ++x) row[x] = gray.Row(y)[x] * 0x010101U;
  }
  cairo_surface_mark_dirty(image);
  return image;
}

cairo_surface_t* CairoImage(int width, int height) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(image);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_destroy(cr);
  return image;
}

// Ink over the whole of a picture, for copies of all of it.
InkRows AllInk(int width, int height) {
  InkRows ink(height);
  ink.Add({0, 0, width, height});
  return ink;
}

// Six frames of seed 5 (plants in frames 1 and 4), with the trace of the
// last plant's strokes.
struct Scene {
  Scene(int width, int height)
      : random(5), window({.Width = width, .Height = height, .Frames = 1L << 40}, random) {
    f.StartUp();
    for (int frame = 0; frame < 6; ++frame) f.Frame();
  }
  Generator random;
  OffscreenWindow window;
  Form f{window};
};

TEST(CairoReference, StrokesMatchCairosRoundCappedStrokes) {
  // One plant on a white image, ours and Cairo's from the same trace.
  Generator random(11);
  std::ostringstream trace;
  OffscreenWindow window({.Width = 800, .Height = 600, .Frames = 1L << 40, .Trace = &trace},
                         random);
  Form f(window);
  f.StartUp();
  f.Frame();
  cairo_surface_t* theirs = CairoImage(800, 600);
  cairo_t* cr = cairo_create(theirs);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  std::istringstream lines(trace.str());
  std::string operation;
  double x = 0, y = 0;
  int index = 0, width = 1;
  std::vector<LinePiece> pieces;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    fields >> operation >> index;
    if (operation == "pos") {
      fields >> x >> y;
    } else if (operation == "width") {
      fields >> width;
    } else if (operation == "line") {
      double to_x = 0, to_y = 0;
      int colour = 0;
      fields >> to_x >> to_y >> colour;
      cairo_move_to(cr, x + 0.5, y + 0.5);
      cairo_line_to(cr, to_x + 0.5, to_y + 0.5);
      cairo_set_line_width(cr, width);
      cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0,
                           (colour >> 16 & 0xFF) / 255.0);
      cairo_stroke(cr);
      // The trace's decimals read back as the singles drawn.
      const auto single = [](double value) { return double(static_cast<float>(value)); };
      pieces.push_back({single(x), single(y), single(to_x), single(to_y), double(width),
                        static_cast<std::uint8_t>(colour)});
      x = to_x, y = to_y;
    }
  }
  cairo_destroy(cr);
  const PixelRows ours = window.FrontImage().Rows();
  const Difference difference = Compare(ours, theirs);
  cairo_surface_destroy(theirs);
  // The plain path, which this processor may never take otherwise, must
  // give the vector path's pixels.
  std::vector<std::uint8_t> plain(std::size_t(ours.Stride) * ours.Height, 255);
  const PixelRows plain_rows{plain.data(), ours.Width, ours.Height, ours.Stride};
  InkRows ink(ours.Height);
  DrawThickLines(plain_rows, pieces, ink, PixelPath::Plain);
  for (int row = 0; row < ours.Height; ++row) {
    ASSERT_TRUE(std::equal(ours.Row(row), ours.Row(row) + ours.Width, plain_rows.Row(row))) << row;
  }
  // Measured: largest 32, mean 0.19 (edges of thin diagonal lines, where
  // distance and area coverage differ most).
  EXPECT_LE(difference.largest, 32);
  EXPECT_LT(difference.mean, 0.2);
}

// The frame's copy of the whole picture, as Cairo's GOOD filter makes it.
cairo_surface_t* CairosShrunkCopy(const PixelRows& source) {
  const int width = source.Width, height = source.Height;
  cairo_surface_t* from = CairoImage(source);
  cairo_surface_t* theirs = CairoImage(width, height);
  cairo_t* cr = cairo_create(theirs);
  cairo_rectangle(cr, 100, 50, width - 100, height - 100);
  cairo_clip(cr);
  cairo_translate(cr, 100, 50);
  cairo_scale(cr, double(width - 100) / width, double(height - 100) / height);
  cairo_set_source_surface(cr, from, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(from);
  return theirs;
}

TEST(CairoReference, ShrunkCopyMatchesCairosGoodFilter) {
  // The same copiers for both sizes: the plan kept from the first must not
  // serve the second.
  std::array<ShrinkCopy, 2> copiers{ShrinkCopy(ShrinkCopy::Path::Fastest),
                                    ShrinkCopy(ShrinkCopy::Path::Plain)};
  for (const auto& [width, height] : {std::pair(494, 441), std::pair(1280, 720)}) {
    Scene scene(width, height);
    const PixelRows source = scene.window.FrontImage().Rows();
    cairo_surface_t* theirs = CairosShrunkCopy(source);

    // The plain path, which this processor may never take otherwise, must
    // give the vector path's pixels.
    std::vector<std::vector<std::uint8_t>> copies;
    for (ShrinkCopy& copier : copiers) {
      std::vector<std::uint8_t>& pixels = copies.emplace_back(std::size_t(width) * height, 255);
      InkRows drawn(height);
      copier.Run(source, AllInk(width, height), {pixels.data(), width, height, width}, 100, 50,
                 width - 100, height - 100, 0, 0, width, height, drawn);
    }
    EXPECT_TRUE(copies[0] == copies[1]) << width;
    const Difference difference = Compare({copies[0].data(), width, height, width}, theirs);
    cairo_surface_destroy(theirs);
    // Measured: largest 3, mean 0.05 (6-bit against 7-bit weights).
    EXPECT_LE(difference.largest, 3) << width;
    EXPECT_LT(difference.mean, 0.06) << width;
  }
}

// Small windows shrink their copy strongly: each side of a preview-sized
// window, of one shrunk strongly across only, and of a copy that is one row
// high.
TEST(CairoReference, StronglyShrunkCopyMatchesCairosAreaAverages) {
  for (const auto& [width, height] :
       {std::pair(152, 112), std::pair(200, 160), std::pair(390, 300), std::pair(300, 441)}) {
    Scene scene(width, height);
    const PixelRows source = scene.window.FrontImage().Rows();
    cairo_surface_t* theirs = CairosShrunkCopy(source);
    std::vector<std::uint8_t> pixels(std::size_t(width) * height, 255);
    const PixelRows ours{pixels.data(), width, height, width};
    AverageCopy().Run(source, ours, 100, 50, width - 100, height - 100, 0, 0, width, height);
    const Difference difference = Compare(ours, theirs);
    cairo_surface_destroy(theirs);
    // Measured: largest 1, mean under 0.008.
    EXPECT_LE(difference.largest, 2) << width;
    EXPECT_LT(difference.mean, 0.02) << width;
  }
}

}  // namespace

namespace {

// Every pixel outside its row's ink is white.
bool InkHoldsEveryGray(const ImageSurface& picture) {
  const PixelRows rows = picture.Rows();
  const InkRows& ink = picture.InkByRow();
  for (int y = 0; y < rows.Height; ++y) {
    const InkRows::Span span = ink.Row(y);
    for (int x = 0; x < rows.Width; ++x) {
      if ((x < span.Left || x >= span.Right) && rows.Row(y)[x] != 255) return false;
    }
  }
  return true;
}

// The ink holds every stroke, and the frame's copy, confined to the ink,
// gives the pixels of the copy of the whole picture.
TEST(ShrunkCopy, ConfinedToTheInkGivesTheWholeCopysPixels) {
  const int width = 1280, height = 720;
  Scene scene(width, height);
  for (int frame = 7; frame <= 9; ++frame) {  // a plant in frame 7
    const PixelRows before = scene.window.FrontImage().Rows();
    std::vector<std::uint8_t> whole(std::size_t(width) * height, 255);
    InkRows drawn(height);
    ShrinkCopy(ShrinkCopy::Path::Plain)
        .Run(before, AllInk(width, height), {whole.data(), width, height, width}, 100, 50,
             width - 100, height - 100, 0, 0, width, height, drawn);
    scene.f.Frame();
    const ImageSurface& after = scene.window.FrontImage();
    ASSERT_TRUE(InkHoldsEveryGray(after)) << frame;
    if (frame == 7) continue;
    for (int y = 0; y < height; ++y) {
      ASSERT_TRUE(std::equal(whole.begin() + y * width, whole.begin() + (y + 1) * width,
                             after.Rows().Row(y)))
          << frame << ": row " << y;
    }
  }
}

}  // namespace
