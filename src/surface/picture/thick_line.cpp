// The strokes. Pieces are set up sixteen at a time and drawn one after the
// other, each in batches of rows, each row's pixels eight at a time (a
// step). Most rows of a plant's pieces take one step: for a batch, the
// rows' spans are found first, four rows at a time, then each row's first
// step's coverage, then its blend, in loops whose rows do not wait for one
// another, so that the processor works on several rows at once; what is
// left of longer rows follows. The vector path does each of the three in a
// few AVX2 instructions, the plain path number by number; both do the same
// IEEE operations in the same order, so they give the same pixels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "surface/picture/thick_line.h"

#if defined(BOSKA_AVX2)
#include <immintrin.h>
#endif

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Pixels a step, rows a batch (a multiple of four) and pieces set up at once.
constexpr int kLanes = 8;
constexpr int kRowsAtOnce = 32;
constexpr std::size_t kPiecesAtOnce = 16;

// The boundary x = At + PerRow × dy of the points of a row dy below the
// piece's start on one side of a straight line.
struct Bound {
  double at;
  double per_row;
  double X(double dy) const { return at + per_row * dy; }
};

// The points between two pairs of parallel lines. A pair parallel to the
// rows bounds the rows instead: rows dy below the start outside [top, bottom]
// hold none.
struct Strip {
  Bound left[2] = {{-kInfinity, 0}, {-kInfinity, 0}};
  Bound right[2] = {{kInfinity, 0}, {kInfinity, 0}};
  double top = -kInfinity;
  double bottom = kInfinity;
};

// Value rounded up or down to a whole number within [Low, High]. Clamped
// first, it is rounded by converting a number that is not negative, which
// truncates as floor does: the library's rounding would cost a call on
// processors without a rounding instruction.
int CeilWithin(double Value, int Low, int High) {
  const double above = High + 1.0;
  const auto whole = static_cast<int>(above - std::clamp(Value, Low - 1.0, above));
  return std::clamp(High + 1 - whole, Low, High);
}

int FloorWithin(double Value, int Low, int High) {
  const double below = Low - 1.0;
  const auto whole = static_cast<int>(std::clamp(Value, below, High + 1.0) - below);
  return std::clamp(whole + Low - 1, Low, High);
}

// The pixels [first, last] of the row dy below the piece's start that a strip
// holds, within [0, Width): none when first > last.
struct Span {
  int first;
  int last;

  Span(const Strip& Strip, double dy, int Width)
      : first(CeilWithin(std::max(Strip.left[0].X(dy), Strip.left[1].X(dy)), 0, Width)),
        last(FloorWithin(std::min(Strip.right[0].X(dy), Strip.right[1].X(dy)), -1, Width - 1)) {
    if (dy < Strip.top || dy > Strip.bottom) last = -1;
  }
};

// A batch of rows: each row's span, where its first step starts, and the
// terms of s and c along it (see Piece).
struct Rows {
  alignas(16) std::int32_t first[kRowsAtOnce];
  alignas(16) std::int32_t last[kRowsAtOnce];
  alignas(16) std::int32_t at[kRowsAtOnce];
  alignas(16) float along[kRowsAtOnce];
  alignas(16) float across[kRowsAtOnce];
};

// A step's coverages, out of 255.
struct Alphas {
  alignas(16) std::uint16_t lane[kLanes];
};

// The pixels of the image that a line may cover: those within its outer
// radius of the box of its ends.
Box Drawn(const LinePiece& Line, int Width, int Height) {
  const double outer = Line.Width / 2 + 0.5;
  const Box drawn{CeilWithin(std::min(Line.X0, Line.X1) - outer, 0, Width),
                  CeilWithin(std::min(Line.Y0, Line.Y1) - outer, 0, Height),
                  FloorWithin(std::max(Line.X0, Line.X1) + outer, -1, Width - 1) + 1,
                  FloorWithin(std::max(Line.Y0, Line.Y1) + outer, -1, Height - 1) + 1};
  return drawn.Empty() ? Box{} : drawn;
}

// A straight piece with round ends, as the rows see it. Along it, s runs
// from 0 at the start to its length at the end; across it, c is the signed
// distance from its line. A point's distance from the piece is then
// sqrt(e² + c²), where e is how far s lies beyond either end. On a row,
// s = along + x' × ux and c = x' × uy - across, where x' is x less the whole
// part of the start's x: small whole numbers, exact in single precision.
class Piece {
 public:
  Piece() = default;
  Piece(const LinePiece& Line, const Box& Drawn)
      : x0_(Line.X0), y0_(Line.Y0), outer_(Line.Width / 2 + 0.5), gray_(Line.Gray) {
    const double dx = Line.X1 - Line.X0, dy = Line.Y1 - Line.Y0;
    length_ = std::sqrt(dx * dx + dy * dy);
    // A piece of no length is a disc; any direction serves.
    ux_ = 1, uy_ = 0;
    if (length_ > 0) {
      const double inverse = 1 / length_;
      ux_ = dx * inverse, uy_ = dy * inverse;
    }
    column_ = static_cast<int>(std::clamp(std::floor(x0_), -0x1p30, 0x1p30));
    const double fraction = x0_ - column_;
    fraction_ux_ = fraction * ux_, fraction_uy_ = fraction * uy_;
    // Every covered point lies within outer of the line and of the ends;
    // every point within inner of the line between the ends is fully
    // covered. Only rows longer than three steps look for the latter (see
    // DrawRest), so narrower pieces go without.
    has_full_ = outer_ > 1 && Drawn.Width() > 3 * kLanes;
    const Inverses inverses{ux_ == 0 ? 0 : 1 / ux_, uy_ == 0 ? 0 : 1 / uy_};
    reach_ = Between(inverses, -outer_, length_ + outer_, outer_);
    if (has_full_) full_ = Between(inverses, 0, length_, outer_ - 1);
  }

  bool HasFull() const { return has_full_; }
  double StartY() const { return y0_; }
  std::uint8_t Gray() const { return gray_; }
  const Strip& Full() const { return full_; }

  // Rows Index to Index + 3 of the batch, Dy to Dy + 3 below the start.
  void FindRows(Rows& Out, double Dy, int Width, int LastStep, int Index) const {
    for (int k = 0; k < 4; ++k) {
      const double dy = Dy + k;
      const Span span(reach_, dy, Width);
      Out.first[Index + k] = span.first;
      Out.last[Index + k] = span.last;
      Out.at[Index + k] = std::min(span.first, LastStep);
      Out.along[Index + k] = static_cast<float>(dy * uy_ - fraction_ux_);
      Out.across[Index + k] = static_cast<float>(dy * ux_ + fraction_uy_);
    }
  }

  // The coverages of the kLanes pixels from X on, on a row with the terms
  // Along and Across, of those from First to Last; the others' are 0.
  void Cover(int X, float Along, float Across, int First, int Last, Alphas& Out) const {
    const auto length = static_cast<float>(length_), outer = static_cast<float>(outer_);
    const auto ux = static_cast<float>(ux_), uy = static_cast<float>(uy_);
    for (int k = 0; k < kLanes; ++k) {
      const auto x = static_cast<float>(X - column_ + k);
      const float s = x * ux + Along, c = x * uy - Across;
      const float e = std::max(std::max(-s, s - length), 0.0F);
      const float coverage = std::min(std::max(outer - std::sqrt(e * e + c * c), 0.0F), 1.0F);
      const bool inside = X + k >= First && X + k <= Last;
      Out.lane[k] = inside ? static_cast<std::uint16_t>(coverage * 255 + 0.5F) : 0;
    }
  }

#if defined(BOSKA_AVX2)
  [[gnu::target("avx2")]] void VectorFindRows(Rows& Out, double Dy, int Width, int LastStep,
                                              int Index) const {
    const __m256d dy = _mm256_add_pd(_mm256_set1_pd(Dy), _mm256_setr_pd(0, 1, 2, 3));
    const auto x = [dy](const Bound& bound) __attribute__((target("avx2"))) {
      return _mm256_add_pd(_mm256_set1_pd(bound.at),
                           _mm256_mul_pd(_mm256_set1_pd(bound.per_row), dy));
    };
    const __m256d left = _mm256_max_pd(x(reach_.left[0]), x(reach_.left[1]));
    const __m256d right = _mm256_min_pd(x(reach_.right[0]), x(reach_.right[1]));
    // CeilWithin(left, 0, Width) and FloorWithin(right, -1, Width - 1).
    const __m256d above = _mm256_set1_pd(Width + 1.0), below = _mm256_set1_pd(-2.0);
    const __m128i left_whole = _mm256_cvttpd_epi32(
        _mm256_sub_pd(above, _mm256_min_pd(_mm256_max_pd(left, _mm256_set1_pd(-1.0)), above)));
    const __m128i right_whole = _mm256_cvttpd_epi32(
        _mm256_sub_pd(_mm256_min_pd(_mm256_max_pd(right, below), _mm256_set1_pd(Width)), below));
    const __m128i first = _mm_min_epi32(
        _mm_max_epi32(_mm_sub_epi32(_mm_set1_epi32(Width + 1), left_whole), _mm_setzero_si128()),
        _mm_set1_epi32(Width));
    const __m128i outside = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
        _mm256_castpd_si256(
            _mm256_or_pd(_mm256_cmp_pd(dy, _mm256_set1_pd(reach_.top), _CMP_LT_OQ),
                         _mm256_cmp_pd(dy, _mm256_set1_pd(reach_.bottom), _CMP_GT_OQ))),
        _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0)));
    const __m128i last = _mm_blendv_epi8(
        _mm_min_epi32(
            _mm_max_epi32(_mm_sub_epi32(right_whole, _mm_set1_epi32(2)), _mm_set1_epi32(-1)),
            _mm_set1_epi32(Width - 1)),
        _mm_set1_epi32(-1), outside);
    _mm_store_si128(reinterpret_cast<__m128i*>(Out.first + Index), first);
    _mm_store_si128(reinterpret_cast<__m128i*>(Out.last + Index), last);
    _mm_store_si128(reinterpret_cast<__m128i*>(Out.at + Index),
                    _mm_min_epi32(first, _mm_set1_epi32(LastStep)));
    const __m256d along =
        _mm256_sub_pd(_mm256_mul_pd(dy, _mm256_set1_pd(uy_)), _mm256_set1_pd(fraction_ux_));
    const __m256d across =
        _mm256_add_pd(_mm256_mul_pd(dy, _mm256_set1_pd(ux_)), _mm256_set1_pd(fraction_uy_));
    _mm_store_ps(Out.along + Index, _mm256_cvtpd_ps(along));
    _mm_store_ps(Out.across + Index, _mm256_cvtpd_ps(across));
  }

  [[gnu::target("avx2")]] void VectorCover(int X, float Along, float Across, int First, int Last,
                                           Alphas& Out) const {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 x = _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(X - column_), lane));
    const __m256 s = _mm256_add_ps(_mm256_mul_ps(x, _mm256_set1_ps(static_cast<float>(ux_))),
                                   _mm256_set1_ps(Along));
    const __m256 c = _mm256_sub_ps(_mm256_mul_ps(x, _mm256_set1_ps(static_cast<float>(uy_))),
                                   _mm256_set1_ps(Across));
    const __m256 zero = _mm256_setzero_ps();
    const __m256 minus_s = _mm256_xor_ps(s, _mm256_set1_ps(-0.0F));
    const __m256 beyond = _mm256_sub_ps(s, _mm256_set1_ps(static_cast<float>(length_)));
    const __m256 e = _mm256_max_ps(_mm256_max_ps(minus_s, beyond), zero);
    const __m256 distance = _mm256_sqrt_ps(_mm256_add_ps(_mm256_mul_ps(e, e), _mm256_mul_ps(c, c)));
    const __m256 coverage = _mm256_min_ps(
        _mm256_max_ps(_mm256_sub_ps(_mm256_set1_ps(static_cast<float>(outer_)), distance), zero),
        _mm256_set1_ps(1.0F));
    const __m256i outside = _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(First - X), lane),
                                            _mm256_cmpgt_epi32(lane, _mm256_set1_epi32(Last - X)));
    const __m256i alpha = _mm256_andnot_si256(
        outside, _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(coverage, _mm256_set1_ps(255)),
                                                   _mm256_set1_ps(0.5F))));
    _mm_store_si128(
        reinterpret_cast<__m128i*>(Out.lane),
        _mm_packus_epi32(_mm256_castsi256_si128(alpha), _mm256_extracti128_si256(alpha, 1)));
  }
#endif

 private:
  // 1 / ux and 1 / uy, worked out once for both strips.
  struct Inverses {
    double ux, uy;
  };

  // The points with Low <= s <= High and |c| <= Across.
  Strip Between(const Inverses& Inverse, double Low, double High, double Across) const {
    Strip strip;
    Bounds(ux_, Inverse.ux, uy_, Low, High, strip.left[0], strip.right[0], strip);
    Bounds(uy_, Inverse.uy, -ux_, -Across, Across, strip.left[1], strip.right[1], strip);
    return strip;
  }

  // The bounds of the points with Low <= A × (x - x0) + B × (y - y0) <= High,
  // given 1 / A: of the rows when A is 0.
  void Bounds(double A, double InverseA, double B, double Low, double High, Bound& Left,
              Bound& Right, Strip& Rows) const {
    if (A == 0) {
      Rows.top = std::max(Rows.top, std::min(Low / B, High / B));
      Rows.bottom = std::min(Rows.bottom, std::max(Low / B, High / B));
      return;
    }
    const double per_row = -B * InverseA;
    const Bound low{x0_ + Low * InverseA, per_row}, high{x0_ + High * InverseA, per_row};
    Left = A > 0 ? low : high;
    Right = A > 0 ? high : low;
  }

  double x0_, y0_;
  double outer_;  // coverage ends this far from the piece
  std::uint8_t gray_;
  double length_;
  double ux_, uy_;
  int column_;  // the whole part of x0
  double fraction_ux_, fraction_uy_;
  bool has_full_;
  Strip reach_, full_;
};

// Gray blended over the kLanes pixels by their coverages: Gray × alpha +
// under × (255 - alpha), over 255, rounded.
void Blend(std::uint8_t* Pixels, const Alphas& Alpha, std::uint8_t Gray) {
  for (int k = 0; k < kLanes; ++k) {
    const std::uint32_t alpha = Alpha.lane[k];
    const std::uint32_t mixed = Gray * alpha + Pixels[k] * (255 - alpha) + 128;
    Pixels[k] = static_cast<std::uint8_t>((mixed + (mixed >> 8)) >> 8);
  }
}

#if defined(BOSKA_AVX2)
[[gnu::target("avx2")]] void VectorBlend(std::uint8_t* Pixels, const Alphas& Alpha,
                                         std::uint8_t Gray) {
  const __m128i alpha = _mm_load_si128(reinterpret_cast<const __m128i*>(Alpha.lane));
  const __m128i under = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<__m128i*>(Pixels)));
  const __m128i mixed = _mm_add_epi16(
      _mm_add_epi16(_mm_mullo_epi16(_mm_set1_epi16(Gray), alpha),
                    _mm_mullo_epi16(under, _mm_sub_epi16(_mm_set1_epi16(255), alpha))),
      _mm_set1_epi16(128));
  const __m128i out = _mm_srli_epi16(_mm_add_epi16(mixed, _mm_srli_epi16(mixed, 8)), 8);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(Pixels), _mm_packus_epi16(out, out));
}
#endif

// The two paths, as the drawing below takes them.
struct Plain {
  static void FindRows(const Piece& piece, Rows& Out, double Dy, int Width, int LastStep,
                       int Index) {
    piece.FindRows(Out, Dy, Width, LastStep, Index);
  }
  static void Cover(const Piece& piece, int X, float Along, float Across, int First, int Last,
                    Alphas& Out) {
    piece.Cover(X, Along, Across, First, Last, Out);
  }
  static void Blend(std::uint8_t* Pixels, const Alphas& Alpha, std::uint8_t Gray) {
    ::Blend(Pixels, Alpha, Gray);
  }
};

#if defined(BOSKA_AVX2)
struct Vector {
  [[gnu::target("avx2")]] static void FindRows(const Piece& piece, Rows& Out, double Dy, int Width,
                                               int LastStep, int Index) {
    piece.VectorFindRows(Out, Dy, Width, LastStep, Index);
  }
  [[gnu::target("avx2")]] static void Cover(const Piece& piece, int X, float Along, float Across,
                                            int First, int Last, Alphas& Out) {
    piece.VectorCover(X, Along, Across, First, Last, Out);
  }
  [[gnu::target("avx2")]] static void Blend(std::uint8_t* Pixels, const Alphas& Alpha,
                                            std::uint8_t Gray) {
    VectorBlend(Pixels, Alpha, Gray);
  }
};
#endif

// Row R of the batch from From to its last pixel, after its first step: a
// step at a time, but for a run of fully covered pixels in the middle of a
// long row, which take the gray as it is. The drawing is written once for
// both paths and compiled into each, so every function down to the steps is
// inlined.
template <class Path>
[[gnu::always_inline]] inline void DrawRest(const PixelRows& Image, const Piece& piece,
                                            const Rows& Batch, int R, int y, int From) {
  const int last = Batch.last[R];
  const auto step = [&](int x, int Last) __attribute__((always_inline)) {
    const int at = std::min(x, Image.Stride - kLanes);
    Alphas alphas;
    Path::Cover(piece, at, Batch.along[R], Batch.across[R], x, std::min(Last, x + kLanes - 1),
                alphas);
    Path::Blend(Image.Row(y) + at, alphas, piece.Gray());
  };
  int full_first = last + 1, full_last = last;
  if (piece.HasFull() && last - From >= 2 * kLanes) {
    const Span full(piece.Full(), y - piece.StartY(), Image.Width);
    full_first = std::clamp(full.first, From, last + 1);
    full_last = std::clamp(full.last, full_first - 1, last);
  }
  for (int x = From; x < full_first; x += kLanes) step(x, full_first - 1);
  if (full_first <= full_last) {
    std::fill(Image.Row(y) + full_first, Image.Row(y) + full_last + 1, piece.Gray());
  }
  for (int x = std::max(full_first, full_last + 1); x <= last; x += kLanes) step(x, last);
}

template <class Path>
[[gnu::always_inline]] inline void DrawPiece(const PixelRows& Image, const Piece& piece,
                                             const Box& Drawn) {
  const int last_step = Image.Stride - kLanes;
  Rows batch;
  Alphas alphas[kRowsAtOnce];
  for (int top = Drawn.Top; top < Drawn.Bottom; top += kRowsAtOnce) {
    const int rows = std::min(kRowsAtOnce, Drawn.Bottom - top);
    for (int r = 0; r < rows; r += 4) {
      Path::FindRows(piece, batch, top + r - piece.StartY(), Image.Width, last_step, r);
    }
    for (int r = 0; r < rows; ++r) {
      Path::Cover(piece, batch.at[r], batch.along[r], batch.across[r], batch.first[r],
                  batch.last[r], alphas[r]);
    }
    for (int r = 0; r < rows; ++r) {
      Path::Blend(Image.Row(top + r) + batch.at[r], alphas[r], piece.Gray());
    }
    for (int r = 0; r < rows; ++r) {
      if (batch.last[r] >= batch.at[r] + kLanes) {
        DrawRest<Path>(Image, piece, batch, r, top + r, batch.at[r] + kLanes);
      }
    }
  }
}

// Lines that miss the image are passed over before they are set up.
template <class Path>
[[gnu::always_inline]] inline void DrawPieces(const PixelRows& Image,
                                              std::span<const LinePiece> Lines, InkRows& Ink) {
  Piece pieces[kPiecesAtOnce];
  Box boxes[kPiecesAtOnce];
  for (std::size_t next = 0; next < Lines.size();) {
    std::size_t count = 0;
    for (; count < kPiecesAtOnce && next < Lines.size(); ++next) {
      boxes[count] = Drawn(Lines[next], Image.Width, Image.Height);
      if (boxes[count].Empty()) continue;
      pieces[count] = Piece(Lines[next], boxes[count]);
      ++count;
    }
    for (std::size_t i = 0; i < count; ++i) {
      DrawPiece<Path>(Image, pieces[i], boxes[i]);
      Ink.Add(boxes[i]);
    }
  }
}

void DrawPiecesPlain(const PixelRows& Image, std::span<const LinePiece> Lines, InkRows& Ink) {
  DrawPieces<Plain>(Image, Lines, Ink);
}

#if defined(BOSKA_AVX2)
[[gnu::target("avx2")]] void DrawPiecesVector(const PixelRows& Image,
                                              std::span<const LinePiece> Lines, InkRows& Ink) {
  DrawPieces<Vector>(Image, Lines, Ink);
}
#else
void DrawPiecesVector(const PixelRows& Image, std::span<const LinePiece> Lines, InkRows& Ink) {
  DrawPiecesPlain(Image, Lines, Ink);
}
#endif

}  // namespace

void DrawThickLines(const PixelRows& Image, std::span<const LinePiece> Lines, InkRows& Ink,
                    PixelPath Use) {
  static const bool vector = HasAvx2();
  if (Use == PixelPath::Fastest && vector) return DrawPiecesVector(Image, Lines, Ink);
  DrawPiecesPlain(Image, Lines, Ink);
}
