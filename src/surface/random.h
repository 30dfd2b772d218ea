// Sources of the program's one random sequence: numbers in [0, 1), each a
// single.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "numbers.h"

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void Randomize(Single Seed) = 0;
  virtual Single Next() = 0;
};

// The program's own generator: a Mersenne Twister whose top 24 bits give the
// single. Randomize seeds it from the bits of the number it is given, unless
// a seed was pinned at construction (for reproducible runs).
class Generator final : public RandomSource {
 public:
  explicit Generator(std::optional<std::uint32_t> PinnedSeed = std::nullopt);
  void Randomize(Single Seed) override;
  Single Next() override {
    constexpr float kTwoToMinus24 = 0x1p-24F;
    return static_cast<float>(engine_() >> 8) * kTwoToMinus24;
  }

 private:
  std::optional<std::uint32_t> pinned_seed_;
  // std::mt19937's numbers, but kept in 32-bit words (the standard's are as
  // wide as the platform's fastest type, 64 bits here), which the compiler
  // refills several at a time.
  std::mersenne_twister_engine<std::uint32_t, 32, 624, 397, 31, 0x9908b0dfU, 11, 0xffffffffU, 7,
                               0x9d2c5680U, 15, 0xefc60000U, 18, 1812433253U>
      engine_;
};

class RandomExhausted : public std::runtime_error {
 public:
  RandomExhausted() : std::runtime_error("the random numbers ran out") {}
};

// Hands out given numbers in order; seeding takes none. Running out raises
// RandomExhausted.
class ScriptedRandom final : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<float> Numbers) : numbers_(std::move(Numbers)) {}
  void Randomize(Single) override {}
  Single Next() override;
  std::size_t Used() const { return next_; }

 private:
  std::vector<float> numbers_;
  std::size_t next_ = 0;
};
