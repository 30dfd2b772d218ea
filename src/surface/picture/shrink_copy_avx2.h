// The shrunk copy's vector path, for processors with AVX2. It gives the
// same pixels as the plain path; builds for other processors have none.
#pragma once

#include <cstdint>

#include "surface/picture/shrink_copy.h"

#if defined(BOSKA_AVX2)

// Mixes row1 into row0 with the weight out of 64, from the left, 32 pixels a
// step, while asking for the row next below: returns how many pixels it did.
int VectorMixRows(const std::uint8_t* Row0, const std::uint8_t* Row1, const std::uint8_t* Next,
                  std::uint8_t* Out, int Count, int Weight);

// Writes sixteen output pixels a step from Row after the Steps' plan,
// streaming them past the caches when Stream says so.
void VectorMixColumns(const std::uint8_t* Row, std::uint8_t* Out, const ShrinkStep* Steps,
                      int Count, bool Stream);

// Orders the streaming writes before whatever follows the copy.
void FinishStreaming();

#else
inline int VectorMixRows(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                         std::uint8_t*, int, int) {
  return 0;
}
inline void VectorMixColumns(const std::uint8_t*, std::uint8_t*, const ShrinkStep*, int, bool) {}
inline void FinishStreaming() {}

#endif
