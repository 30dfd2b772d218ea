// The strokes: anti-aliased thick lines, the drawing primitive that a
// plant's growth spends its time in.
#pragma once

#include <cstdint>
#include <span>

#include "surface/picture/pixel_rows.h"
#include "surface/picture/processor.h"

// A straight segment from (X0, Y0) to (X1, Y1), Width pixels wide with round
// ends, in Gray. Pixel (x, y) of the image is the point (x, y): a line one
// pixel wide through pixel centres covers exactly those pixels. Coverage
// falls off linearly over the last pixel of distance from the segment, which
// matches area coverage closely at any angle.
struct LinePiece {
  double X0, Y0, X1, Y1;
  double Width;
  std::uint8_t Gray;
};

// Draws the pieces anti-aliased and blended over what is there, each over
// the ones before it, and adds to Ink the pixels it may have drawn. The
// image's stride must be at least 8 bytes.
void DrawThickLines(const PixelRows& Image, std::span<const LinePiece> Lines, InkRows& Ink,
                    PixelPath Use = PixelPath::Fastest);
