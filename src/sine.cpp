// Sine and cosine rounded correctly, the same on every platform: the
// platforms' own libraries round differently in the last bit (mingw-w64's on
// about one input in 700), and a plant's branch ends come from these values.
//
// Both are worked out in double-double arithmetic (an unevaluated sum of two
// doubles, about 106 bits): the angle is reduced by the nearest multiple of
// pi/2, the reduced angle's sine and cosine found from those of the nearest
// point of a table and a short series for the rest, and each rounded to a
// double once; where that cannot settle the rounding, the whole Taylor
// series decides. Only IEEE additions and multiplications occur, each
// rounded as written (the build forbids fused multiply-adds), so every
// platform computes the same bits.
#include <array>
#include <cmath>

#include "numbers.h"

namespace {

struct Wide {
  double hi;
  double lo;
};

// a + b exactly, as a rounded sum and its error.
constexpr Wide TwoSum(double a, double b) {
  const double sum = a + b;
  const double b_part = sum - a;
  return {sum, (a - (sum - b_part)) + (b - b_part)};
}

// The same when |a| >= |b|.
constexpr Wide QuickTwoSum(double a, double b) {
  const double sum = a + b;
  return {sum, b - (sum - a)};
}

// a × b exactly, by Dekker's splitting of each factor into halves of 26 bits.
constexpr Wide TwoProduct(double a, double b) {
  const auto split = [](double x) {
    const double c = 134217729.0 * x;  // 2^27 + 1
    const double high = c - (c - x);
    return Wide{high, x - high};
  };
  const Wide as = split(a), bs = split(b);
  const double product = a * b;
  return {product, ((as.hi * bs.hi - product) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

constexpr Wide Negative(Wide x) { return {-x.hi, -x.lo}; }

constexpr Wide Add(Wide x, Wide y) {
  const Wide sum = TwoSum(x.hi, y.hi);
  return QuickTwoSum(sum.hi, sum.lo + (x.lo + y.lo));
}

constexpr Wide Multiply(Wide x, Wide y) {
  const Wide product = TwoProduct(x.hi, y.hi);
  return QuickTwoSum(product.hi, product.lo + (x.hi * y.lo + x.lo * y.hi));
}

constexpr Wide Divide(Wide x, double d) {
  const double quotient = x.hi / d;
  const Wide back = TwoProduct(quotient, d);
  return QuickTwoSum(quotient, (((x.hi - back.hi) - back.lo) + x.lo) / d);
}

// pi/2 as three doubles of 33 significant bits and a fourth, so that k times
// each of the first three is exact for |k| < 2^20.
constexpr std::array<double, 4> kHalfPi{1.57079632673412561417e+00, 6.07710050630396597660e-11,
                                        2.02226624871116645580e-21, 8.47842766036889956997e-32};
constexpr double kTwoOverPi = 6.36619772367581382433e-01;
// Beyond this many radians the multiples of pi/2 are not exact any more.
constexpr double kLargestAngle = 1.0e6;
// Terms up to x^29 / 29!: for |x| <= pi/4 the next is below 2^-110 of the
// sum.
constexpr int kLastTerm = 29;
// ±1/n! for n = 0 .. kLastTerm, signs alternating in pairs as the series
// want them: 1, 1, -1/2!, -1/3!, 1/4!, ... Worked out by the compiler, whose
// IEEE arithmetic rounds as the processor's does.
constexpr std::array<Wide, kLastTerm + 1> kTerms = [] {
  std::array<Wide, kLastTerm + 1> made{};
  Wide inverse_factorial{1.0, 0.0};
  for (int n = 0; n <= kLastTerm; ++n) {
    if (n > 0) inverse_factorial = Divide(inverse_factorial, n);
    const bool negative = n % 4 >= 2;
    made[std::size_t(n)] = negative ? Negative(inverse_factorial) : inverse_factorial;
  }
  return made;
}();

// The series of sin x (First 1) or cos x (First 0), given x²: the sum of
// the terms First, First + 2, ... up to x^29 / 29! in Horner's form over x².
constexpr Wide Series(Wide x, Wide Square, int First) {
  Wide sum{0.0, 0.0};
  for (int n = kLastTerm - (kLastTerm - First) % 2; n >= First; n -= 2) {
    sum = Add(Multiply(sum, Square), kTerms[std::size_t(n)]);
  }
  return First == 1 ? Multiply(sum, x) : sum;
}

// The sine and cosine of a at the points a = i/64 of [0, 52/64), to which
// every reduced angle lies within 1/128.
struct WideSineCosine {
  Wide sin;
  Wide cos;
};
constexpr int kPointsPerRadian = 64;
constexpr std::size_t kPointCount = 52;
constexpr std::array<WideSineCosine, kPointCount> kPoints = [] {
  std::array<WideSineCosine, kPointCount> made{};
  for (std::size_t i = 0; i < made.size(); ++i) {
    const Wide a{double(i) / kPointsPerRadian, 0.0};
    const Wide square = Multiply(a, a);
    made[i] = {Series(a, square, 1), Series(a, square, 0)};
  }
  return made;
}();

// An angle reduced by the nearest multiple k of pi/2: the remainder and k
// modulo 4.
struct Reduced {
  Wide angle;
  int quadrant;
};

// |x| is at most kLargestAngle: x × 2/pi rounds to the nearest whole number
// by adding and taking away 2^52, and k fits an int.
Reduced Reduce(double x) {
  const double turns = x * kTwoOverPi;
  const double k = std::copysign((std::fabs(turns) + 0x1p52) - 0x1p52, turns);
  // Each part of pi/2 times k is exact but the last, whose error is far
  // below anything that counts.
  Wide reduced{x, 0.0};
  if (k != 0) {
    for (const double part : kHalfPi) reduced = Add(reduced, {-k * part, 0.0});
  }
  return {reduced, (static_cast<int>(k) % 4 + 4) % 4};
}

// sin r and cos r from the nearest point a of the table and h = r - a,
// |h| <= 1/128:
//   sin r = sin a + cos a × h + (sin a × (cos h - 1) + cos a × (sin h - h))
//   cos r = cos a - sin a × h + (cos a × (cos h - 1) - sin a × (sin h - h))
// The bracketed terms are below 2^-14, so doubles carry them to well within
// 2^-64 of the values; the rest is in double-double. Either value is off by
// less than 2^-60 of itself.
WideSineCosine Quick(Wide r) {
  const int i = static_cast<int>(r.hi * kPointsPerRadian + (r.hi < 0 ? -0.5 : 0.5));
  const Wide h = Add(r, {-double(i) / kPointsPerRadian, 0.0});
  const WideSineCosine& point = kPoints[std::size_t(i < 0 ? -i : i)];
  const Wide sin_a = i < 0 ? Negative(point.sin) : point.sin;
  const Wide& cos_a = point.cos;
  const double h2 = h.hi * h.hi;
  const double cos_h_less_1 = h2 * (-0.5 + h2 * (1.0 / 24 + h2 * (-1.0 / 720)));
  const double sin_h_less_h = h.hi * h2 * (-1.0 / 6 + h2 * (1.0 / 120 + h2 * (-1.0 / 5040)));
  const Wide cos_a_h = Multiply(cos_a, h), sin_a_h = Multiply(sin_a, h);
  return {
      Add(Add(sin_a, cos_a_h), {sin_a.hi * cos_h_less_1 + cos_a.hi * sin_h_less_h, 0.0}),
      Add(Add(cos_a, Negative(sin_a_h)), {cos_a.hi * cos_h_less_1 - sin_a.hi * sin_h_less_h, 0.0})};
}

// Whether a value off by less than 2^-60 of itself rounds to the same
// double whichever way the error goes: it does unless the value lies that
// close to a midpoint between two doubles, about one value in 90.
bool Settled(Wide value) {
  const double bound = std::fabs(value.hi) * 0x1p-60;
  return value.hi + (value.lo - bound) == value.hi + (value.lo + bound);
}

// sin x when Quarter is 0, cos x when it is 1, from the quick sine or
// cosine Near of the reduced angle r for the quadrant that x + Quarter × pi/2
// lies in, or from r's whole series when the quick value does not settle
// the rounding.
double Circular(const Reduced& x, int Quarter, const WideSineCosine& Near) {
  const int quadrant = (x.quadrant + Quarter) % 4;
  const int first = quadrant % 2 == 0 ? 1 : 0;
  Wide value = first == 1 ? Near.sin : Near.cos;
  if (!Settled(value)) value = Series(x.angle, Multiply(x.angle, x.angle), first);
  return quadrant >= 2 ? -value.hi : value.hi;
}

}  // namespace

SineCosine SinCos(double x) {
  if (!(std::fabs(x) <= kLargestAngle)) return {std::sin(x), std::cos(x)};
  const Reduced reduced = Reduce(x);
  const WideSineCosine near = Quick(reduced.angle);
  return {Circular(reduced, 0, near), Circular(reduced, 1, near)};
}
