// Sine and cosine rounded correctly, the same on every platform: the
// platforms' own libraries round differently in the last bit (mingw-w64's on
// about one input in 700), and a plant's branch ends come from these values.
//
// Both are worked out in double-double arithmetic (an unevaluated sum of two
// doubles, about 106 bits): the angle is reduced by the nearest multiple of
// pi/2, the reduced angle's sine or cosine summed as a Taylor series, and the
// sum rounded to a double once. Only IEEE additions and multiplications
// occur, each rounded as written (the build forbids fused multiply-adds), so
// every platform computes the same bits.
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
// The quick sum: its terms after the third are below 2^-14 of the value, so
// that summing them in doubles costs less than 2^-62 of it, and those after
// x^19 / 19! below 2^-62 of it.
constexpr int kQuickTerms = 3;
constexpr int kQuickLastTerm = 19;
constexpr double kQuickError = 0x1p-60;

// ±1/n! for n = 0 .. kLastTerm, signs alternating in pairs as the series
// want them: 1, 1, -1/2!, -1/3!, 1/4!, ... Worked out by the compiler, whose
// IEEE arithmetic rounds as the processor's does.
constexpr std::array<Wide, kLastTerm + 1> kTerms = [] {
  std::array<Wide, kLastTerm + 1> made{};
  Wide inverse_factorial{1.0, 0.0};
  for (int n = 0; n <= kLastTerm; ++n) {
    if (n > 0) inverse_factorial = Divide(inverse_factorial, n);
    const bool negative = n % 4 >= 2;
    made[std::size_t(n)] =
        negative ? Wide{-inverse_factorial.hi, -inverse_factorial.lo} : inverse_factorial;
  }
  return made;
}();

// The series of sin x (First 1) or cos x (First 0), given x²: the sum of
// the terms First, First + 2, ... up to Last in Horner's form over x². Its
// first WideTerms terms are summed in double-double, the smaller ones after
// them in doubles.
Wide Series(Wide x, Wide Square, int First, int Last, int WideTerms) {
  int n = Last - (Last - First) % 2;
  double narrow = 0;
  for (; n > First + 2 * (WideTerms - 1); n -= 2) {
    narrow = narrow * Square.hi + kTerms[std::size_t(n)].hi;
  }
  Wide sum{narrow, 0.0};
  for (; n >= First; n -= 2) sum = Add(Multiply(sum, Square), kTerms[std::size_t(n)]);
  return First == 1 ? Multiply(sum, x) : sum;
}

// An angle reduced by the nearest multiple k of pi/2: the remainder and k
// modulo 4.
struct Reduced {
  Wide angle;
  Wide square;
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
  return {reduced, Multiply(reduced, reduced), (static_cast<int>(k) % 4 + 4) % 4};
}

// sin x when Quarter is 0, cos x when it is 1: the reduced angle's series
// of the quadrant that x + Quarter × pi/2 lies in. A quick sum first, with
// only three terms in double-double, is off by less than 2^-60 of the value:
// it settles the rounding unless the value lies that close to a midpoint
// between two doubles (about one angle in 80), when the whole series does.
double Circular(const Reduced& x, int Quarter) {
  const int quadrant = (x.quadrant + Quarter) % 4;
  const int first = quadrant % 2 == 0 ? 1 : 0;
  Wide value = Series(x.angle, x.square, first, kQuickLastTerm, kQuickTerms);
  const double bound = std::fabs(value.hi) * kQuickError;
  if (value.hi + (value.lo - bound) != value.hi + (value.lo + bound)) {
    value = Series(x.angle, x.square, first, kLastTerm, kLastTerm);
  }
  return quadrant >= 2 ? -value.hi : value.hi;
}

}  // namespace

SineCosine SinCos(double x) {
  if (!(std::fabs(x) <= kLargestAngle)) return {std::sin(x), std::cos(x)};
  const Reduced reduced = Reduce(x);
  return {Circular(reduced, 0), Circular(reduced, 1)};
}
