// The program's two number types and the run-time errors of its arithmetic.
//
// Every integer of the animation is a 16-bit signed Int16 whose + and - raise
// OverflowError instead of wrapping. Every floating variable is a Single: it
// stores an IEEE binary32 value but has no arithmetic of its own, so any
// expression that uses it is evaluated in double precision. Doubles come back
// to storage only through the checked conversions at the bottom of this file.
#pragma once

#include <cmath>
#include <compare>
#include <cstdint>
#include <stdexcept>
#include <string>

// Base of the three errors that end the program: overflow, floating-point
// failure, and a failing window or surface operation.
class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OverflowError : public RunTimeError {
 public:
  explicit OverflowError(const std::string& what);
};

class FloatingPointError : public RunTimeError {
 public:
  explicit FloatingPointError(const std::string& what);
};

class Int16 {
 public:
  constexpr Int16() = default;
  constexpr Int16(std::int16_t value) : value_(value) {}

  constexpr std::int16_t Value() const { return value_; }
  constexpr explicit operator double() const { return value_; }

  friend Int16 operator%(Int16 a, Int16 b);
  friend constexpr bool operator==(Int16, Int16) = default;
  friend constexpr auto operator<=>(Int16, Int16) = default;

 private:
  std::int16_t value_ = 0;
};

class Single {
 public:
  constexpr Single() = default;
  constexpr Single(float value) : value_(value) {}
  // A double must be rounded on purpose, through ToSingle.
  Single(double) = delete;

  constexpr float Value() const { return value_; }
  constexpr operator double() const { return value_; }

 private:
  float value_ = 0.0F;
};

// The failures of the helpers below, kept out of line so that the common
// path of each is a few instructions.
[[noreturn]] void ThrowOverflow(Int16 a, const char* operation, Int16 b);
[[noreturn]] void ThrowNotFinite(double value);
[[noreturn]] void ThrowBeyondSingle(double value);

// RoundToInt16 and FloorToInt16 for values of 32767 or more either way,
// whose result may not fit.
Int16 RoundToInt16Beyond(double value);
Int16 FloorToInt16Beyond(double value);

inline Int16 Checked16(int value, const char* operation, Int16 a, Int16 b) {
  if (value < -32768 || value > 32767) [[unlikely]]
    ThrowOverflow(a, operation, b);
  return static_cast<std::int16_t>(value);
}

inline Int16 operator+(Int16 a, Int16 b) { return Checked16(a.Value() + b.Value(), " + ", a, b); }
inline Int16 operator-(Int16 a, Int16 b) { return Checked16(a.Value() - b.Value(), " - ", a, b); }

// The value itself, or FloatingPointError when an expression gave an infinity
// or NaN (an invalid operation, a division by zero or an overflow).
inline double Finite(double value) {
  if (!std::isfinite(value)) [[unlikely]]
    ThrowNotFinite(value);
  return value;
}

// Round to nearest with ties to even: 2.5 gives 2, 3.5 gives 4. Below 2^52,
// adding and taking away 2^52 rounds to a whole number in the processor's
// rounding, which the program never changes from nearest-even.
inline Int16 RoundToInt16(double value) {
  if (!(std::fabs(value) < 32767)) [[unlikely]]
    return RoundToInt16Beyond(value);
  return static_cast<std::int16_t>(std::copysign((std::fabs(value) + 0x1p52) - 0x1p52, value));
}

// The greatest integer not above the value.
inline Int16 FloorToInt16(double value) {
  if (!(std::fabs(value) < 32767)) [[unlikely]]
    return FloorToInt16Beyond(value);
  const int toward_zero = static_cast<int>(value);
  return static_cast<std::int16_t>(toward_zero - (toward_zero > value));
}

// Round to the nearest single; a value too large for a single is an overflow.
inline Single ToSingle(double value) {
  const auto single = static_cast<float>(Finite(value));
  if (!std::isfinite(single)) [[unlikely]]
    ThrowBeyondSingle(value);
  return single;
}
inline Single ToSingle(Int16 value) { return static_cast<float>(value.Value()); }

// The sine and cosine of an angle in radians, correctly rounded, and so the
// same on every platform, for angles up to a million radians either way;
// beyond, the platform's own. Both come from one reduction of the angle.
struct SineCosine {
  double sin;
  double cos;
};
SineCosine SinCos(double x);
