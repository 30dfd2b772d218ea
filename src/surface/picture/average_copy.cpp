#include <algorithm>
#include <cmath>
#include <utility>

#include "surface/picture/average_copy.h"

namespace {

constexpr int kWeightBits = 12;
constexpr int kWeightOne = 1 << kWeightBits;

// The destination pixels whose centres lie in [Start, Start + Length), within
// the image.
std::pair<int, int> Covered(double Start, int Length, int Limit) {
  const auto edge = [&](double at) {
    return std::clamp(static_cast<int>(std::ceil(at - 0.5)), 0, Limit);
  };
  return {edge(Start), edge(Start + Length)};
}

}  // namespace

// Output pixel d's filter along one side: the source interval of width
// `reach` around d's centre, each source pixel weighted by how much of it the
// interval covers. Weights are rounded to 12 bits and made to add up to one
// exactly, so that a mix of whites stays white.
void AverageCopy::Plan(Axis& Side, int Low, int High, double Start, int Length, int SourceStart,
                       int SourceLength, int Limit) {
  const double scale = double(SourceLength) / Length;
  const double reach = scale >= 4.0 / 3.0 ? scale : 1.0;
  Side.footprints.clear();
  Side.weights.clear();
  for (int d = Low; d < High; ++d) {
    const double centre = (d + 0.5 - Start) * scale + SourceStart;
    const double from = centre - reach / 2, to = centre + reach / 2;
    const int first = static_cast<int>(std::floor(from));
    const int last = static_cast<int>(std::ceil(to)) - 1;
    // Pixels beyond the edge repeat the edge's.
    const int low = std::clamp(first, 0, Limit - 1), high = std::clamp(last, 0, Limit - 1);
    cover_.assign(std::size_t(high - low + 1), 0.0);
    for (int s = first; s <= last; ++s) {
      const double overlap = std::min(to, s + 1.0) - std::max(from, double(s));
      cover_[std::size_t(std::clamp(s, 0, Limit - 1) - low)] += overlap / reach;
    }
    const std::size_t at = Side.weights.size();
    int sum = 0;
    for (const double c : cover_) {
      Side.weights.push_back(static_cast<int>(std::lround(c * kWeightOne)));
      sum += Side.weights.back();
    }
    *std::max_element(Side.weights.begin() + std::ptrdiff_t(at), Side.weights.end()) +=
        kWeightOne - sum;
    Side.footprints.push_back({low, high - low + 1, at});
  }
}

Box AverageCopy::Run(const PixelRows& From, const PixelRows& To, double X1, double Y1, int Width1,
                     int Height1, int X2, int Y2, int Width2, int Height2) {
  const auto [left, right] = Covered(X1, Width1, To.Width);
  const auto [top, bottom] = Covered(Y1, Height1, To.Height);
  const Box drawn{left, top, right, bottom};
  if (drawn.Empty() || From.Width == 0 || From.Height == 0) return {};
  Plan(columns_, left, right, X1, Width1, X2, Width2, From.Width);
  Plan(rows_, top, bottom, Y1, Height1, Y2, Height2, From.Height);
  mixed_.resize(std::size_t(From.Width));
  for (int y = top; y < bottom; ++y) {
    const Footprint& row = rows_.footprints[std::size_t(y - top)];
    std::fill(mixed_.begin(), mixed_.end(), 0);
    for (int k = 0; k < row.count; ++k) {
      const std::uint8_t* source = From.Row(row.first + k);
      const int weight = rows_.weights[row.weights + std::size_t(k)];
      for (int x = 0; x < From.Width; ++x) mixed_[std::size_t(x)] += weight * source[x];
    }
    std::uint8_t* out = To.Row(y);
    for (int x = left; x < right; ++x) {
      const Footprint& column = columns_.footprints[std::size_t(x - left)];
      std::int64_t sum = 0;
      for (int k = 0; k < column.count; ++k) {
        sum += std::int64_t(columns_.weights[column.weights + std::size_t(k)]) *
               mixed_[std::size_t(column.first + k)];
      }
      out[x] = static_cast<std::uint8_t>((sum + (std::int64_t(1) << (2 * kWeightBits - 1))) >>
                                         (2 * kWeightBits));
    }
  }
  return drawn;
}
