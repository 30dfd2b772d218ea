#include "surface/random.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

// The generator's numbers must spread evenly over the whole of [0, 1): every
// tenth of the range gets its share, and each number is a whole multiple of
// 2^-24, the spacing of singles just below 1.
TEST(Generator, SpreadsItsNumbersEvenlyOverZeroToOne) {
  constexpr int kDraws = 100000;
  // A pinned seed, and a seed from a clock reading.
  for (const std::optional<std::uint32_t> seed :
       {std::optional(7U), std::optional<std::uint32_t>()}) {
    Generator random(seed);
    random.Randomize(45296.5F);
    std::array<int, 10> tenths{};
    double sum = 0;
    for (int i = 0; i < kDraws; ++i) {
      const double number = random.Next();
      ASSERT_TRUE(number >= 0 && number < 1) << number;
      ASSERT_EQ(std::ldexp(number, 24), std::floor(std::ldexp(number, 24))) << number;
      ++tenths[static_cast<std::size_t>(number * 10)];
      sum += number;
    }
    EXPECT_NEAR(sum / kDraws, 0.5, 0.005);
    for (const int count : tenths) EXPECT_NEAR(count, kDraws / 10, kDraws / 200);
  }
}

// Each clock reading seeds a sequence of its own, and the same reading the
// same sequence: every run of the program draws other plants.
TEST(Generator, SeedsItsSequenceFromTheClockReading) {
  const auto first_numbers = [](float reading) {
    Generator random;
    random.Randomize(reading);
    std::vector<float> numbers;
    for (int i = 0; i < 8; ++i) numbers.push_back(random.Next().Value());
    return numbers;
  };
  EXPECT_EQ(first_numbers(45296.5F), first_numbers(45296.5F));
  EXPECT_NE(first_numbers(45296.5F), first_numbers(45296.508F));
}

}  // namespace
