#include <algorithm>
#include <cmath>

#include "surface/picture/pixels.h"
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

// After Lead plain columns, the vector path takes the columns sixteen at a
// time as long as each half's taps lie within sixteen pixels that end inside
// the row.
void ShrinkCopy::PlanColumns(int SourceWidth, int X1, int Width1, int X2, int Width2, int Left,
                             int Right, int Lead) {
  columns_.clear();
  steps_.clear();
  for (int x = Left; x < Right; ++x)
    columns_.push_back(Sample(x, X1, Width1, X2, Width2, SourceWidth));
  lead_ = std::min(Lead, int(columns_.size()));
  if (!vector_) return;
  for (std::size_t c = std::size_t(lead_); c + 16 <= columns_.size(); c += 16) {
    ShrinkStep step{};
    for (int half = 0; half < 2; ++half) {
      const int base = columns_[c + 8 * std::size_t(half)].first;
      if (base + 15 >= SourceWidth) return;
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

// The part of the destination rectangle, clipped to To, whose taps reach
// into Ink.
Box ShrinkCopy::InkedPart(const PixelRows& From, const Box& Ink, const PixelRows& To, int X1,
                          int Y1, int Width1, int Height1, int X2, int Y2, int Width2,
                          int Height2) {
  Box part{std::max(X1, 0), std::max(Y1, 0), std::min(X1 + Width1, To.Width),
           std::min(Y1 + Height1, To.Height)};
  const auto inked = [](const Tap& tap, int low, int high) {
    return tap.second >= low && tap.first < high;
  };
  const auto column = [&](int x) { return Sample(x, X1, Width1, X2, Width2, From.Width); };
  const auto row = [&](int y) { return Sample(y, Y1, Height1, Y2, Height2, From.Height); };
  while (!part.Empty() && !inked(column(part.Left), Ink.Left, Ink.Right)) ++part.Left;
  while (!part.Empty() && !inked(column(part.Right - 1), Ink.Left, Ink.Right)) --part.Right;
  while (!part.Empty() && !inked(row(part.Top), Ink.Top, Ink.Bottom)) ++part.Top;
  while (!part.Empty() && !inked(row(part.Bottom - 1), Ink.Top, Ink.Bottom)) --part.Bottom;
  return part.Empty() ? Box{} : part;
}

void ShrinkCopy::Run(const PixelRows& From, const InkRows& Ink, const PixelRows& To, int X1, int Y1,
                     int Width1, int Height1, int X2, int Y2, int Width2, int Height2,
                     InkRows& Drawn) {
  const Box part =
      InkedPart(From, Ink.Hull(), To, X1, Y1, Width1, Height1, X2, Y2, Width2, Height2);
  if (part.Empty()) return;
  // Plain columns first up to a 16-byte boundary of the output rows, for the
  // streaming writes.
  const int lead =
      int((16 - reinterpret_cast<std::uintptr_t>(To.Row(part.Top) + part.Left) % 16) % 16);
  PlanColumns(From.Width, X1, Width1, X2, Width2, part.Left, part.Right, lead);
  blended_.resize(std::size_t(From.Width));
  const bool stream =
      std::size_t(To.Height) * std::size_t(To.Stride) >= kStreamBytes && To.Stride % 16 == 0;
  for (int y = part.Top; y < part.Bottom; ++y) {
    const Tap rows = Sample(y, Y1, Height1, Y2, Height2, From.Height);
    const InkRows::Span columns = ColumnsOver(
        Ink.Row(rows.first).Hull(rows.weight == 0 ? InkRows::Span{} : Ink.Row(rows.second)));
    if (columns.Empty()) continue;
    MixColumns(BlendedRow(From, rows, columns), To.Row(y) + part.Left, columns, stream);
    Drawn.Add(y, {part.Left + columns.Left, part.Left + columns.Right});
  }
  if (stream) FinishStreaming();
}

// The planned columns whose taps reach into the source columns Source,
// widened to whole vector steps: the columns added mix whites into white.
InkRows::Span ShrinkCopy::ColumnsOver(const InkRows::Span& Source) const {
  if (Source.Empty()) return {};
  const auto first = std::partition_point(columns_.begin(), columns_.end(),
                                          [&](const Tap& tap) { return tap.second < Source.Left; });
  const auto end = std::partition_point(first, columns_.end(),
                                        [&](const Tap& tap) { return tap.first < Source.Right; });
  int left = int(first - columns_.begin()), right = int(end - columns_.begin());
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
