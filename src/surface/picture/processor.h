// What the processor offers the pixel work: a vector path (AVX2) beside
// the plain one, which gives the same pixels everywhere.
#pragma once

// The pixel work's two ways: the vector path (AVX2) where the processor has
// it, or the plain one, which gives the same pixels everywhere.
enum class PixelPath { Fastest, Plain };

// Whether this processor, and this build, has the vector path.
bool HasAvx2();
