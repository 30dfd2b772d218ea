// The shrunk copy for strong shrinking, which averages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "surface/picture/pixel_rows.h"

// The shrunk copy at any scale: along a side
// shrunk below three quarters each output pixel averages the source area
// under it, so that a strongly shrunk plant keeps its tone and its lines stay
// whole; along a milder side it interpolates bilinearly. Edges are padded.
// Slower than ShrinkCopy, it serves the small windows that shrink strongly.
class AverageCopy {
 public:
  // Copies the rectangle (X2, Y2, Width2, Height2) of From over the
  // rectangle (X1, Y1, Width1, Height1) of To, clipped to To: every pixel
  // whose centre lies in it. Returns the box it wrote.
  Box Run(const PixelRows& From, const PixelRows& To, double X1, double Y1, int Width1, int Height1,
          int X2, int Y2, int Width2, int Height2);

 private:
  // The source pixels [first, first + count) of one output pixel, their
  // weights (out of 4096) from index `weights` of the side's list.
  struct Footprint {
    int first;
    int count;
    std::size_t weights;
  };
  struct Axis {
    std::vector<Footprint> footprints;
    std::vector<int> weights;
  };
  void Plan(Axis& Side, int Low, int High, double Start, int Length, int SourceStart,
            int SourceLength, int Limit);

  // Kept between frames, so that a frame allocates nothing once they have
  // grown.
  Axis columns_;
  Axis rows_;
  std::vector<double> cover_;
  std::vector<std::int32_t> mixed_;
};
