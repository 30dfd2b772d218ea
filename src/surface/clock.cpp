#include "surface/clock.h"

#include <chrono>
#include <ctime>

double SecondsSinceMidnight() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t whole = system_clock::to_time_t(now);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &whole);
#else
  localtime_r(&whole, &local);
#endif
  const duration<double> fraction = now - floor<seconds>(now);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction.count();
}
