// The frame's shrunk copy, with the plan of its vector path.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "surface/picture/pixel_rows.h"
#include "surface/picture/processor.h"

// The shrunk copy's weights are out of 1 << kShrinkWeightBits.
inline constexpr int kShrinkWeightBits = 6;

// Sixteen neighbouring output columns of the vector path, eight in each
// 128-bit half: the sixteen source pixels from base[half] hold the taps of
// that half's eight columns; the shuffle puts each column's two taps side by
// side and the weights (out of 64) go with them.
struct ShrinkStep {
  int base[2];
  alignas(32) std::int8_t shuffle[32];
  alignas(32) std::int8_t weights[32];
};

// The bilinear shrunk copy, for shrinking by less than a quarter: each
// output pixel mixes the source pixels nearest its centre, edges padded, in
// two passes with 6-bit weights: the two source rows under an output row are
// blended first, then that row is resampled across. It is the frame's copy,
// so it is made fast; stronger shrinking is AverageCopy's.
class ShrinkCopy {
 public:
  using Path = PixelPath;
  explicit ShrinkCopy(Path Use = Path::Fastest);

  // Whether this copy is one that Run does: integral destination corner,
  // neither side shrunk below three quarters nor enlarged.
  static bool Handles(double X1, double Y1, int Width1, int Height1, int Width2, int Height2);

  // Copies the rectangle (X2, Y2, Width2, Height2) of From over the
  // rectangle (X1, Y1, Width1, Height1) of To, clipped to To, as far as the
  // copy can differ from white: From is white outside Ink, and so is every
  // pixel of the copy whose taps all lie outside it (a mix of whites is
  // exactly white). Those pixels are left for the caller to make white.
  // Adds to Drawn the pixels it wrote.
  void Run(const PixelRows& From, const InkRows& Ink, const PixelRows& To, int X1, int Y1,
           int Width1, int Height1, int X2, int Y2, int Width2, int Height2, InkRows& Drawn);

 private:
  struct Tap {
    int first;
    int second;
    int weight;  // of the second, out of 64
  };
  // What the plan depends on: the images' sizes, the two rectangles and
  // how many plain columns come before the vector path's first step.
  struct Geometry {
    int from_width, from_height, to_width, to_height;
    int x1, y1, width1, height1, x2, y2, width2, height2;
    int lead;
    bool operator==(const Geometry&) const = default;
  };
  static Tap Sample(int Destination, int Start, int Length, int SourceStart, int SourceLength,
                    int Limit);
  void Plan(const Geometry& Copy, const Box& Clipped);
  void PlanColumns(const Geometry& Copy, int Right);
  static InkRows::Span Over(const std::vector<Tap>& Taps, const InkRows::Span& Source);
  InkRows::Span ColumnsOver(const InkRows::Span& Source) const;
  const std::uint8_t* BlendedRow(const PixelRows& From, const Tap& Rows,
                                 const InkRows::Span& Columns);
  void MixColumns(const std::uint8_t* Source, std::uint8_t* Out, const InkRows::Span& Columns,
                  bool Stream) const;

  bool vector_;
  // The plan, made for the copy's whole rectangle and kept while the copy
  // keeps its geometry, as it does from frame to frame; so a frame neither
  // plans nor allocates. Per output column from left_ and per output row
  // from top_ their taps, the vector path's steps (after lead_ plain
  // columns), and room for a blended row.
  std::optional<Geometry> planned_;
  int left_ = 0;
  int top_ = 0;
  std::vector<Tap> columns_;
  std::vector<Tap> rows_;
  int lead_ = 0;
  std::vector<ShrinkStep> steps_;
  std::vector<std::uint8_t> blended_;
};
