// Prints the program's sine and cosine of 100,000 angles spread over
// [-32, 32) radians, one "angle sine cosine" line each in hexadecimal, so
// that the Windows build's values can be compared with the Linux build's.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>

#include "numbers.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

int main() {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::mt19937_64 engine(12);
  for (int i = 0; i < 100000; ++i) {
    const auto whole = static_cast<std::int64_t>(engine() >> 37) - (std::int64_t(1) << 26);
    const double angle = std::ldexp(static_cast<double>(whole), -21);
    const SineCosine value = SinCos(angle);
    std::printf("%a %a %a\n", angle, value.sin, value.cos);
  }
}
