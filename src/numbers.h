// The program's two number types and the run-time errors of its arithmetic.
//
// Every integer of the animation is a 16-bit signed Int16 whose + and - raise
// OverflowError instead of wrapping. Every floating variable is a Single: it
// stores an IEEE binary32 value but has no arithmetic of its own, so any
// expression that uses it is evaluated in double precision. Doubles come back
// to storage only through the checked conversions at the bottom of this file.
#pragma once

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

  friend Int16 operator+(Int16 a, Int16 b);
  friend Int16 operator-(Int16 a, Int16 b);
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

// The value itself, or FloatingPointError when an expression gave an infinity
// or NaN (an invalid operation, a division by zero or an overflow).
double Finite(double value);

// Round to nearest with ties to even: 2.5 gives 2, 3.5 gives 4.
Int16 RoundToInt16(double value);
// The greatest integer not above the value.
Int16 FloorToInt16(double value);
// Round to the nearest single; a value too large for a single is an overflow.
Single ToSingle(double value);
inline Single ToSingle(Int16 value) { return static_cast<float>(value.Value()); }

// The sine and cosine of an angle in radians, correctly rounded, and so the
// same on every platform, for angles up to a million radians either way;
// beyond, the platform's own.
double Sin(double x);
double Cos(double x);
