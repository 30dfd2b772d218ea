// The pixels of a surface's image, for the two drawing primitives that the
// animation spends its time in: the thick line and the shrunk copy.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Gray pixels, one byte each from 0 (black) to 255 (white), row by row;
// Stride counts bytes. The animation draws only grays, whose red, green and
// blue are equal: one channel holds the whole picture exactly, in a quarter
// of the memory and the time of three.
struct PixelRows {
  std::uint8_t* Data;
  int Width;
  int Height;
  int Stride;

  std::uint8_t* Row(int y) const { return Data + static_cast<std::ptrdiff_t>(y) * Stride; }
};

// The pixels [Left, Right) × [Top, Bottom); empty when it has no area.
struct Box {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  bool Empty() const { return Left >= Right || Top >= Bottom; }
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const Box&) const = default;
  // The smallest box that holds both.
  Box Hull(const Box& Other) const {
    if (Empty()) return Other;
    if (Other.Empty()) return *this;
    return {std::min(Left, Other.Left), std::min(Top, Other.Top), std::max(Right, Other.Right),
            std::max(Bottom, Other.Bottom)};
  }
  Box Offset(int X, int Y) const { return {Left + X, Top + Y, Right + X, Bottom + Y}; }
  Box Meet(const Box& Other) const {
    const Box meet{std::max(Left, Other.Left), std::max(Top, Other.Top),
                   std::min(Right, Other.Right), std::min(Bottom, Other.Bottom)};
    return meet.Empty() ? Box{} : meet;
  }
};

// Where an image may differ from white: for each row the columns
// [Left, Right) outside which it is white, and the box that holds them all.
// A plant covers a small part of its box, and what recedes toward the right
// edge still less: copying, clearing and showing the picture follow the rows.
class InkRows {
 public:
  struct Span {
    int Left = 0;
    int Right = 0;
    bool Empty() const { return Left >= Right; }
    // The smallest span that holds both.
    Span Hull(const Span& Other) const {
      if (Empty()) return Other;
      if (Other.Empty()) return *this;
      return {std::min(Left, Other.Left), std::max(Right, Other.Right)};
    }
  };

  // All white, for an image of Height rows.
  explicit InkRows(int Height = 0) : rows_(std::size_t(std::max(Height, 0))) {}

  Span Row(int y) const { return rows_[std::size_t(y)]; }
  const Box& Hull() const { return hull_; }
  // All white again, in the time of the rows that had ink.
  void Clear() {
    for (int y = hull_.Top; y < hull_.Bottom; ++y) rows_[std::size_t(y)] = {};
    hull_ = {};
  }
  // Row y may differ from white in Columns too.
  void Add(int y, Span Columns) { Add({Columns.Left, y, Columns.Right, y + 1}); }
  // Every pixel of Area may differ from white.
  void Add(const Box& Area) {
    if (Area.Empty()) return;
    for (int y = Area.Top; y < Area.Bottom; ++y) {
      Span& row = rows_[std::size_t(y)];
      row = row.Hull({Area.Left, Area.Right});
    }
    hull_ = hull_.Hull(Area);
  }

 private:
  std::vector<Span> rows_;
  Box hull_;
};

// The pixel work's two ways: the vector path (AVX2) where the processor has
// it, or the plain one, which gives the same pixels everywhere.
enum class PixelPath { Fastest, Plain };

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
