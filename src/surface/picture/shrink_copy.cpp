#include <algorithm>
#include <cmath>

#include "surface/picture/shrink_copy.h"
#include "surface/picture/shrink_copy_avx2.h"

namespace {

constexpr int kWeightBits = kShrinkWeightBits;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr std::size_t kStreamBytes = std::size_t(16) << 20;

// a and b mixed with b's weight out of 64, rounded.
std::uint8_t Mix(std::uint8_t a, std::uint8_t b, int weight) {
  return static_cast<std::uint8_t>((a * (kWeightOne - weight) + b * weight + kWeightOne / 2) >>
                                   kWeightBits);
}

void MixRows(const std::uint8_t* row0, const std::uint8_t* row1, const std::uint8_t* next,
             std::uint8_t* out, int count, int weight, bool vector) {
  int x = vector ? VectorMixRows(row0, row1, next, out, count, weight) : 0;
  for (; x < count; ++x) out[x] = Mix(row0[x], row1[x], weight);
}

}  // namespace

ShrinkCopy::ShrinkCopy(Path Use) : vector_(Use == Path::Fastest && HasAvx2()) {}

bool ShrinkCopy::Handles(double X1, double Y1, int Width1, int Height1, int Width2, int Height2) {
  const auto mild = [](int to, int from) { return to <= from && 4 * to >= 3 * from; };
  return X1 == std::floor(X1) && Y1 == std::floor(Y1) && mild(Width1, Width2) &&
         mild(Height1, Height2);
}

// The two source pixels (clamped to the image, as padding does) and the
// weight of the second for the centre of destination pixel Destination.
ShrinkCopy::Tap ShrinkCopy::Sample(int Destination, int Start, int Length, int SourceStart,
                                   int SourceLength, int Limit) {
  const double at = (Destination + 0.5 - Start) * SourceLength / Length + SourceStart - 0.5;
  const double whole = std::floor(at);
  const int weight = static_cast<int>((at - whole) * kWeightOne);
  const int first = static_cast<int>(whole);
  return {std::clamp(first, 0, Limit - 1), std::clamp(first + 1, 0, Limit - 1), weight};
}

// Plans the copy of Copy, whose rectangle clipped to the output image is
// Clipped, unless the plan in hand is for the same.
void ShrinkCopy::Plan(const Geometry& Copy, const Box& Clipped) {
  if (planned_ == Copy) return;
  planned_ = Copy;
  left_ = Clipped.Left;
  top_ = Clipped.Top;
  PlanColumns(Copy, Clipped.Right);
  rows_.clear();
  for (int y = Clipped.Top; y < Clipped.Bottom; ++y) {
    rows_.push_back(Sample(y, Copy.y1, Copy.height1, Copy.y2, Copy.height2, Copy.from_height));
  }
  blended_.resize(std::size_t(Copy.from_width));
}

// After the lead's plain columns, the vector path takes the columns sixteen
// at a time as long as each half's taps lie within sixteen pixels that end
// inside the row.
void ShrinkCopy::PlanColumns(const Geometry& Copy, int Right) {
  columns_.clear();
  steps_.clear();
  for (int x = left_; x < Right; ++x) {
    columns_.push_back(Sample(x, Copy.x1, Copy.width1, Copy.x2, Copy.width2, Copy.from_width));
  }
  lead_ = std::min(Copy.lead, int(columns_.size()));
  if (!vector_) return;
  for (std::size_t c = std::size_t(lead_); c + 16 <= columns_.size(); c += 16) {
    ShrinkStep step{};
    for (int half = 0; half < 2; ++half) {
      const int base = columns_[c + 8 * std::size_t(half)].first;
      if (base + 15 >= Copy.from_width) return;
      step.base[half] = base;
      for (int k = 0; k < 8; ++k) {
        const Tap& tap = columns_[c + std::size_t(8 * half + k)];
        if (tap.second - base > 15) return;
        const int at = 16 * half + 2 * k;
        step.shuffle[at] = static_cast<std::int8_t>(tap.first - base);
        step.shuffle[at + 1] = static_cast<std::int8_t>(tap.second - base);
        step.weights[at] = static_cast<std::int8_t>(kWeightOne - tap.weight);
        step.weights[at + 1] = static_cast<std::int8_t>(tap.weight);
      }
    }
    steps_.push_back(step);
  }
}

void ShrinkCopy::Run(const PixelRows& From, const InkRows& Ink, const PixelRows& To, int X1, int Y1,
                     int Width1, int Height1, int X2, int Y2, int Width2, int Height2,
                     InkRows& Drawn) {
  const Box clipped =
      Box{X1, Y1, X1 + Width1, Y1 + Height1}.Meet({0, 0, To.Width, To.Height});
  if (clipped.Empty()) return;
  // Plain columns first up to a 16-byte boundary of the output rows, for the
  // streaming writes.
  const std::uintptr_t first_pixel = reinterpret_cast<std::uintptr_t>(To.Data) +
                                     std::uintptr_t(clipped.Top) * std::uintptr_t(To.Stride) +
                                     std::uintptr_t(clipped.Left);
  const int lead = int((16 - first_pixel % 16) % 16);
  Plan({From.Width, From.Height, To.Width, To.Height, X1, Y1, Width1, Height1, X2, Y2, Width2,
        Height2, lead},
       clipped);
  const bool stream =
      std::size_t(To.Height) * std::size_t(To.Stride) >= kStreamBytes && To.Stride % 16 == 0;
  const InkRows::Span inked_rows = Over(rows_, {Ink.Hull().Top, Ink.Hull().Bottom});
  for (int row = inked_rows.Left; row < inked_rows.Right; ++row) {
    const Tap& taps = rows_[std::size_t(row)];
    const InkRows::Span columns = ColumnsOver(
        Ink.Row(taps.first).Hull(taps.weight == 0 ? InkRows::Span{} : Ink.Row(taps.second)));
    if (columns.Empty()) continue;
    const int y = top_ + row;
    MixColumns(BlendedRow(From, taps, columns), To.Row(y) + left_, columns, stream);
    Drawn.Add(y, {left_ + columns.Left, left_ + columns.Right});
  }
  if (stream) FinishStreaming();
}

// The taps, in order, that reach into the source pixels Source: taps never
// go back, so they are one run.
InkRows::Span ShrinkCopy::Over(const std::vector<Tap>& Taps, const InkRows::Span& Source) {
  if (Source.Empty()) return {};
  const auto first = std::partition_point(Taps.begin(), Taps.end(),
                                          [&](const Tap& tap) { return tap.second < Source.Left; });
  const auto end = std::partition_point(first, Taps.end(),
                                        [&](const Tap& tap) { return tap.first < Source.Right; });
  return {int(first - Taps.begin()), int(end - Taps.begin())};
}

// The planned columns whose taps reach into the source columns Source,
// widened to whole vector steps: the columns added mix whites into white.
InkRows::Span ShrinkCopy::ColumnsOver(const InkRows::Span& Source) const {
  auto [left, right] = Over(columns_, Source);
  if (left >= right) return {};
  const int steps_end = lead_ + 16 * int(steps_.size());
  if (left > lead_ && left < steps_end) left = lead_ + (left - lead_) / 16 * 16;
  if (right > lead_ && right < steps_end) right = lead_ + (right - lead_ + 15) / 16 * 16;
  return {left, right};
}

// The source row under an output row with the taps Rows: the first row
// itself, or the two mixed into blended_. Only the source columns under the
// taps of the planned columns Columns are mixed.
const std::uint8_t* ShrinkCopy::BlendedRow(const PixelRows& From, const Tap& Rows,
                                           const InkRows::Span& Columns) {
  const std::uint8_t* source = From.Row(Rows.first);
  if (Rows.weight == 0) return source;
  const int first = columns_[std::size_t(Columns.Left)].first;
  const int count = columns_[std::size_t(Columns.Right - 1)].second + 1 - first;
  const std::uint8_t* next = From.Row(std::min(Rows.second + 1, From.Height - 1));
  MixRows(source + first, From.Row(Rows.second) + first, next + first, blended_.data() + first,
          count, Rows.weight, vector_);
  return blended_.data();
}

// Resamples Source across into the planned columns Columns, Out being the
// first planned column's pixel: the vector path's steps that lie within
// them with it, the rest plainly.
void ShrinkCopy::MixColumns(const std::uint8_t* Source, std::uint8_t* Out,
                            const InkRows::Span& Columns, bool Stream) const {
  const auto plain = [&](int from, int to) {
    for (auto x = std::size_t(from); x < std::size_t(to); ++x) {
      Out[x] = Mix(Source[columns_[x].first], Source[columns_[x].second], columns_[x].weight);
    }
  };
  const int steps = int(steps_.size());
  const int first = std::clamp((std::max(Columns.Left, lead_) - lead_ + 15) / 16, 0, steps);
  const int last =
      std::clamp(Columns.Right < lead_ ? 0 : (Columns.Right - lead_) / 16, first, steps);
  if (first == last) return plain(Columns.Left, Columns.Right);
  const int vector_from = lead_ + 16 * first, vector_to = lead_ + 16 * last;
  plain(Columns.Left, vector_from);
  VectorMixColumns(Source, Out + vector_from, steps_.data() + first, last - first, Stream);
  plain(vector_to, Columns.Right);
}
