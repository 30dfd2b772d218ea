#include "numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <type_traits>

namespace {

std::uint32_t Bits(Single value) { return std::bit_cast<std::uint32_t>(value.Value()); }

// The types themselves keep arithmetic honest: no silent way from Int16 to
// a wrapping int, and no way from double to Single but the rounding one.
static_assert(!std::is_convertible_v<Int16, int>);
static_assert(!std::is_constructible_v<Single, double>);
static_assert(std::is_convertible_v<Single, double>);

TEST(Int16Arithmetic, AddsAndSubtractsWithinRange) {
  EXPECT_EQ(Int16(32766) + 1, 32767);
  EXPECT_EQ(Int16(-32767) - 1, -32768);
  EXPECT_EQ(Int16(1) - Int16(0), 1);
  EXPECT_EQ(Int16(-20000) + Int16(20000), 0);
}

TEST(Int16Arithmetic, RaisesOverflowInsteadOfWrapping) {
  EXPECT_THROW(Int16(32767) + 1, OverflowError);
  EXPECT_THROW(Int16(-32768) - 1, OverflowError);
  EXPECT_THROW(Int16(20000) - Int16(-20000), OverflowError);
  EXPECT_THROW(Int16(-20000) - Int16(20000), OverflowError);
  try {
    (void)(Int16(32767) + 1);
  } catch (const OverflowError& error) {
    EXPECT_STREQ(error.what(), "overflow error: 32767 + 1 does not fit in 16 bits");
  }
}

TEST(Int16Arithmetic, RemainderTakesTheSignOfTheDividend) {
  EXPECT_EQ(Int16(190) % 170, 20);
  EXPECT_EQ(Int16(-7) % 3, -1);
  EXPECT_THROW(Int16(1) % 0, FloatingPointError);
}

TEST(RoundToInt16, RoundsHalvesToEven) {
  EXPECT_EQ(RoundToInt16(2.5), 2);
  EXPECT_EQ(RoundToInt16(3.5), 4);
  EXPECT_EQ(RoundToInt16(-2.5), -2);
  EXPECT_EQ(RoundToInt16(22.5), 22);
  EXPECT_EQ(RoundToInt16(67.5), 68);
  EXPECT_EQ(RoundToInt16(1234.5), 1234);
  EXPECT_EQ(RoundToInt16(1235.5), 1236);
  EXPECT_EQ(RoundToInt16(1234.4), 1234);
  EXPECT_EQ(RoundToInt16(0.49999999999999994), 0);
}

TEST(RoundToInt16, ChecksTheRangeAfterRounding) {
  EXPECT_EQ(RoundToInt16(32767.4), 32767);
  EXPECT_THROW(RoundToInt16(32767.5), OverflowError);
  EXPECT_EQ(RoundToInt16(-32768.5), -32768);
  EXPECT_THROW(RoundToInt16(-32768.6), OverflowError);
  EXPECT_THROW(RoundToInt16(1e300), OverflowError);
}

// The quick path of both roundings against the library's, on every quarter
// and on the neighbours of every half, near zero and near the limits.
TEST(RoundToInt16, AgreesWithTheLibrarysRoundingAcrossTheRange) {
  for (const double start : {-32769.0, -40.0, 32700.0}) {
    for (double value = start; value < start + 70; value += 0.25) {
      for (const double x : {value, std::nextafter(value, -1e9), std::nextafter(value, 1e9)}) {
        if (std::nearbyint(x) >= -32768 && std::nearbyint(x) <= 32767) {
          EXPECT_EQ(RoundToInt16(x).Value(), std::nearbyint(x)) << std::hexfloat << x;
        } else {
          EXPECT_THROW(RoundToInt16(x), OverflowError) << std::hexfloat << x;
        }
        if (std::floor(x) >= -32768 && std::floor(x) <= 32767) {
          EXPECT_EQ(FloorToInt16(x).Value(), std::floor(x)) << std::hexfloat << x;
        } else {
          EXPECT_THROW(FloorToInt16(x), OverflowError) << std::hexfloat << x;
        }
      }
    }
  }
}

TEST(FloorToInt16, TakesTheGreatestIntegerNotAbove) {
  EXPECT_EQ(FloorToInt16(8.9999), 8);
  EXPECT_EQ(FloorToInt16(-0.5), -1);
  EXPECT_EQ(FloorToInt16(32767.9), 32767);
  EXPECT_THROW(FloorToInt16(32768.0), OverflowError);
  EXPECT_EQ(FloorToInt16(-32768.0), -32768);
  EXPECT_THROW(FloorToInt16(-32768.1), OverflowError);
}

TEST(Conversions, RaiseTheFloatingPointErrorOnInfinitiesAndNaN) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const double value : {infinity, -infinity, nan}) {
    EXPECT_THROW(Finite(value), FloatingPointError);
    EXPECT_THROW(RoundToInt16(value), FloatingPointError);
    EXPECT_THROW(FloorToInt16(value), FloatingPointError);
    EXPECT_THROW(ToSingle(value), FloatingPointError);
  }
  EXPECT_EQ(Finite(-0.0), 0.0);
}

TEST(ToSingle, RoundsToTheNearestSingle) {
  EXPECT_EQ(Bits(ToSingle(3.141593 / 2)), 0x3FC90FDCU);
  EXPECT_EQ(Bits(ToSingle(0.8)), 0x3F4CCCCDU);
  EXPECT_EQ(Bits(ToSingle(0.9)), 0x3F666666U);
  EXPECT_EQ(Bits(ToSingle(1.0)), 0x3F800000U);
  EXPECT_EQ(double(ToSingle(100.0 + 0.9)), 100.90000152587890625);
  EXPECT_EQ(double(ToSingle(50000.0 + 0.9)), 50000.8984375);
  EXPECT_EQ(double(ToSingle(Int16(-32768))), -32768.0);
}

TEST(ToSingle, RaisesTheFloatingPointErrorWhenTheValueDoesNotFit) {
  EXPECT_THROW(ToSingle(1e39), FloatingPointError);
  EXPECT_THROW(ToSingle(-1e39), FloatingPointError);
  EXPECT_EQ(double(ToSingle(1e-50)), 0.0);
}

TEST(Single, ComputesInDoublePrecision) {
  const Single tenth = 0.1F;
  // In single precision 0.1F + 0.1F - 0.2F would be exactly 0.
  EXPECT_EQ(tenth + tenth - 0.2, 2 * double(0.1F) - 0.2);
  EXPECT_NE(tenth + tenth - 0.2, 0.0);
}

// Correctly rounded values, worked out to 200 bits: angles where a common
// library's result is a unit off in the last place, multiples of pi/4 and
// pi/2 (where the reduction cancels nearly everything), one just short of
// halfway between the first two points of the table, tiny and large angles.
TEST(SinCos, AreCorrectlyRounded) {
  const struct {
    double x, sin, cos;
  } cases[] = {
      {-0x1.33862054e7a2cp+4, -0x1.72f3df5529c4fp-2, 0x1.dd3949b74efb6p-1},
      {-0x1.378470a1d913ep+3, 0x1.3883ff9c827f1p-2, -0x1.e792b49b2194dp-1},
      {0x1.5f33970cadf30p+0, 0x1.f5e7745c90a46p-1, 0x1.94b2908216e39p-3},
      {-0x1.bfb564d0b02dcp+2, -0x1.4e9db0a64a17cp-1, 0x1.83869294e3e35p-1},
      {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53, -1},
      {0x1.921fb54442d18p+0, 1, 0x1.1a62633145c07p-54},
      {-0x1.921fb54442d18p-1, -0x1.6a09e667f3bccp-1, 0x1.6a09e667f3bcdp-1},
      {0x1.921fb54442d17p-2, 0x1.87de2a6aea962p-2, 0x1.d906bcf328d46p-1},
      {0x1.fffffffffffffp-8, 0x1.fffeaaaaeeeeep-8, 0x1.fffc000155552p-1},
      {0x1.12e0be826d695p-30, 0x1.12e0be826d695p-30, 1},
      {0x1.81cd6c8b43958p+13, -0x1.687d5890974a5p-1, 0x1.6b94c3bbe24b8p-1},
      {0x1.e847e00000000p+19, -0x1.f4677c48458b4p-1, 0x1.b165cde80ddd4p-3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SinCos(c.x).sin, c.sin) << std::hexfloat << c.x;
    EXPECT_EQ(SinCos(c.x).cos, c.cos) << std::hexfloat << c.x;
    EXPECT_EQ(SinCos(-c.x).sin, -c.sin) << std::hexfloat << c.x;
    EXPECT_EQ(SinCos(-c.x).cos, c.cos) << std::hexfloat << c.x;
  }
}

}  // namespace
