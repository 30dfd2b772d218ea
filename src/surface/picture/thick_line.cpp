#include <algorithm>
#include <cmath>
#include <limits>

#include "surface/picture/pixels.h"

namespace {

struct Interval {
  double left = -std::numeric_limits<double>::infinity();
  double right = std::numeric_limits<double>::infinity();
  bool Empty() const { return !(left <= right); }
  Interval Meet(Interval other) const {
    return {std::max(left, other.left), std::min(right, other.right)};
  }
  Interval Hull(Interval other) const {
    if (Empty()) return other;
    if (other.Empty()) return *this;
    return {std::min(left, other.left), std::max(right, other.right)};
  }
};

constexpr Interval kNothing{1, 0};

// The x for which Low <= Slope * x + Offset <= High, given 1 / Slope.
Interval Between(double Slope, double InverseSlope, double Offset, double Low, double High) {
  if (Slope == 0) return Low <= Offset && Offset <= High ? Interval{} : kNothing;
  const double a = (Low - Offset) * InverseSlope, b = (High - Offset) * InverseSlope;
  return {std::min(a, b), std::max(a, b)};
}

// The points of row y within Radius of the point (Cx, Cy).
Interval Disc(double Cx, double Cy, double Radius, double y) {
  const double h = Radius * Radius - (y - Cy) * (y - Cy);
  if (h < 0) return kNothing;
  const double half = std::sqrt(h);
  return {Cx - half, Cx + half};
}

class Segment {
 public:
  Segment(double X0, double Y0, double X1, double Y1)
      : x0_(X0), y0_(Y0), x1_(X1), y1_(Y1), dx_(X1 - X0), dy_(Y1 - Y0) {
    const double squared = dx_ * dx_ + dy_ * dy_;
    length_ = std::sqrt(squared);
    if (length_ > 0) {
      inverse_squared_ = 1 / squared;
      ux_ = dx_ / length_;
      uy_ = dy_ / length_;
      inverse_ux_ = ux_ != 0 ? 1 / ux_ : 0;
      inverse_uy_ = uy_ != 0 ? 1 / uy_ : 0;
    }
  }

  // The points of row y within Radius of the segment: an interval, since the
  // set is convex. Along the segment the projection lies in 0 to its length
  // and the offset across it within Radius; the round ends add two discs.
  Interval Row(double y, double Radius) const {
    const Interval ends = Disc(x0_, y0_, Radius, y).Hull(Disc(x1_, y1_, Radius, y));
    if (length_ == 0) return ends;
    const double ry = y - y0_;
    const Interval band = Between(ux_, inverse_ux_, ry * uy_, 0, length_)
                              .Meet(Between(uy_, inverse_uy_, -ry * ux_, -Radius, Radius));
    return ends.Hull({band.left + x0_, band.right + x0_});
  }

  double DistanceSquared(double x, double y) const {
    const double px = x - x0_, py = y - y0_;
    const double t = std::clamp((px * dx_ + py * dy_) * inverse_squared_, 0.0, 1.0);
    const double ex = px - t * dx_, ey = py - t * dy_;
    return ex * ex + ey * ey;
  }

  double Top(double Radius) const { return std::min(y0_, y1_) - Radius; }
  double Bottom(double Radius) const { return std::max(y0_, y1_) + Radius; }

 private:
  double x0_, y0_, x1_, y1_, dx_, dy_;
  double length_ = 0, inverse_squared_ = 0, ux_ = 0, uy_ = 0, inverse_ux_ = 0, inverse_uy_ = 0;
};

// Over blended on Under with Alpha out of 255, rounded.
std::uint8_t Blend(std::uint32_t Under, std::uint32_t Over, std::uint32_t Alpha) {
  const std::uint32_t x = Over * Alpha + Under * (255 - Alpha);
  return static_cast<std::uint8_t>((x + 128 + ((x + 128) >> 8)) >> 8);  // x / 255, rounded
}

int Clamp(double value, int low, int high) {
  return static_cast<int>(std::clamp(value, double(low), double(high)));
}

}  // namespace

Box DrawThickLine(const PixelRows& Image, double X0, double Y0, double X1, double Y1, double Width,
                  std::uint8_t Gray) {
  const Segment segment(X0, Y0, X1, Y1);
  const double outer = Width / 2 + 0.5;  // coverage ends here
  const double inner = outer - 1;        // full coverage up to here
  const double outer_squared = outer * outer;
  const int top = Clamp(std::ceil(segment.Top(outer)), 0, Image.Height);
  const int bottom = Clamp(std::floor(segment.Bottom(outer)), -1, Image.Height - 1);
  Box drawn;
  for (int y = top; y <= bottom; ++y) {
    const Interval edge = segment.Row(y, outer);
    if (edge.Empty()) continue;
    const Interval full = inner > 0 ? segment.Row(y, inner) : kNothing;
    const int left = Clamp(std::ceil(edge.left), 0, Image.Width);
    const int right = Clamp(std::floor(edge.right), -1, Image.Width - 1);
    const int full_left = full.Empty() ? right + 1 : Clamp(std::ceil(full.left), left, right + 1);
    const int full_right =
        full.Empty() ? right : Clamp(std::floor(full.right), full_left - 1, right);
    drawn = drawn.Hull({left, y, right + 1, y + 1});
    std::uint8_t* row = Image.Row(y);
    const auto edge_pixel = [&](int x) {
      const double squared = segment.DistanceSquared(x, y);
      if (squared >= outer_squared) return;
      const double coverage = std::min(outer - std::sqrt(squared), 1.0);
      const auto alpha = static_cast<std::uint32_t>(coverage * 255 + 0.5);
      if (alpha != 0) row[x] = Blend(row[x], Gray, alpha);
    };
    for (int x = left; x < full_left; ++x) edge_pixel(x);
    std::fill(row + full_left, row + full_right + 1, Gray);
    for (int x = full_right + 1; x <= right; ++x) edge_pixel(x);
  }
  return drawn;
}
