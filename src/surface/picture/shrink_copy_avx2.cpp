#include "surface/picture/shrink_copy_avx2.h"

#include <immintrin.h>

namespace {

constexpr int kWeightBits = kShrinkWeightBits;
constexpr int kWeightOne = 1 << kWeightBits;

__attribute__((target("avx2"))) __m256i Load2(const void* low, const void* high) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(low))),
      _mm_loadu_si128(static_cast<const __m128i*>(high)), 1);
}

// 32 pixels a step; returns how many it did. Asks for the next row while
// it works: the copy reads a whole image that is rarely still cached, and the
// memory waits dominate otherwise.
__attribute__((target("avx2"))) int MixRows32(const std::uint8_t* row0, const std::uint8_t* row1,
                                              const std::uint8_t* next, std::uint8_t* out,
                                              int count, int weight) {
  const __m256i weights =
      _mm256_set1_epi16(static_cast<short>(weight << 8 | (kWeightOne - weight)));
  const __m256i round = _mm256_set1_epi16(kWeightOne / 2);
  int x = 0;
  for (; x + 32 <= count; x += 32) {
    _mm_prefetch(reinterpret_cast<const char*>(next + x), _MM_HINT_T0);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row0 + x));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row1 + x));
    const __m256i low = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), weights);
    const __m256i high = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), weights);
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(out + x),
        _mm256_packus_epi16(_mm256_srli_epi16(_mm256_add_epi16(low, round), kWeightBits),
                            _mm256_srli_epi16(_mm256_add_epi16(high, round), kWeightBits)));
  }
  return x;
}

// Sixteen output pixels a step. Streaming writes past the caches pays only
// for images larger than they are, and needs 16-byte aligned rows.
template <bool Stream>
__attribute__((target("avx2"))) void Store16(std::uint8_t* at, __m128i pixels) {
  if constexpr (Stream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(at), pixels);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pixels);
  }
}

template <bool Stream>
__attribute__((target("avx2"))) void MixColumns16(const std::uint8_t* row, std::uint8_t* out,
                                                  const ShrinkStep* steps, int count) {
  const __m256i round = _mm256_set1_epi16(kWeightOne / 2);
  for (int s = 0; s < count; ++s, out += 16) {
    const ShrinkStep& step = steps[s];
    const __m256i taps =
        _mm256_shuffle_epi8(Load2(row + step.base[0], row + step.base[1]),
                            _mm256_load_si256(reinterpret_cast<const __m256i*>(step.shuffle)));
    const __m256i mixed = _mm256_srli_epi16(
        _mm256_add_epi16(
            _mm256_maddubs_epi16(taps,
                                 _mm256_load_si256(reinterpret_cast<const __m256i*>(step.weights))),
            round),
        kWeightBits);
    // Each half's eight pixels sit in the low 8 bytes of its lane.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(mixed, mixed), 0x08);
    Store16<Stream>(out, _mm256_castsi256_si128(packed));
  }
}

}  // namespace

int VectorMixRows(const std::uint8_t* Row0, const std::uint8_t* Row1, const std::uint8_t* Next,
                  std::uint8_t* Out, int Count, int Weight) {
  return MixRows32(Row0, Row1, Next, Out, Count, Weight);
}

void VectorMixColumns(const std::uint8_t* Row, std::uint8_t* Out, const ShrinkStep* Steps,
                      int Count, bool Stream) {
  if (Stream) {
    MixColumns16<true>(Row, Out, Steps, Count);
  } else {
    MixColumns16<false>(Row, Out, Steps, Count);
  }
}

void FinishStreaming() { _mm_sfence(); }
