#include "surface/picture/processor.h"

#if defined(BOSKA_AVX2)
bool HasAvx2() { return __builtin_cpu_supports("avx2"); }
#else
bool HasAvx2() { return false; }
#endif
