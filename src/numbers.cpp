#include "numbers.h"

#include <cmath>
#include <limits>
#include <sstream>

namespace {

constexpr int kMin16 = std::numeric_limits<std::int16_t>::min();
constexpr int kMax16 = std::numeric_limits<std::int16_t>::max();

std::string Describe(double value) {
  std::ostringstream text;
  text.precision(17);
  text << value;
  return text.str();
}

Int16 Whole16(double whole, double value) {
  if (!std::isfinite(value)) throw FloatingPointError(Describe(value) + " is not a number");
  if (whole < kMin16 || whole > kMax16) {
    throw OverflowError(Describe(value) + " does not fit in 16 bits");
  }
  return static_cast<std::int16_t>(whole);
}

}  // namespace

OverflowError::OverflowError(const std::string& what) : RunTimeError("overflow error: " + what) {}

FloatingPointError::FloatingPointError(const std::string& what)
    : RunTimeError("floating-point error: " + what) {}

void ThrowOverflow(Int16 a, const char* operation, Int16 b) {
  throw OverflowError(std::to_string(a.Value()) + operation + std::to_string(b.Value()) +
                      " does not fit in 16 bits");
}

void ThrowNotFinite(double value) {
  throw FloatingPointError("an expression gave " + Describe(value));
}

void ThrowBeyondSingle(double value) {
  throw FloatingPointError(Describe(value) + " does not fit a single");
}

Int16 operator%(Int16 a, Int16 b) {
  if (b == 0) throw FloatingPointError("remainder of a division by zero");
  return Checked16(a.Value() % b.Value(), " mod ", a, b);
}

// nearbyint rounds in the current rounding mode, which the program never
// changes from round-to-nearest-even.
Int16 RoundToInt16Beyond(double value) { return Whole16(std::nearbyint(value), value); }

Int16 FloorToInt16Beyond(double value) { return Whole16(std::floor(value), value); }
