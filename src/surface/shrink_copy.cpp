#include <algorithm>
#include <cmath>

#include "surface/pixels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr int kWeightBits = 6;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr std::size_t kStreamBytes = std::size_t(16) << 20;

// a and b mixed with b's weight out of 64, rounded.
std::uint8_t Mix(std::uint8_t a, std::uint8_t b, int weight) {
  return static_cast<std::uint8_t>((a * (kWeightOne - weight) + b * weight + kWeightOne / 2) >>
                                   kWeightBits);
}

bool HasAvx2() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) __m256i Load2(const void* low, const void* high) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(low))),
      _mm_loadu_si128(static_cast<const __m128i*>(high)), 1);
}

// 32 pixels a step; returns how many it did. Asks for the next row while
// it works: the copy reads a whole image that is rarely still cached, and the
// memory waits dominate otherwise.
__attribute__((target("avx2"))) int VectorMixRows(const std::uint8_t* row0,
                                                  const std::uint8_t* row1,
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
__attribute__((target("avx2"))) void VectorMixColumns(const std::uint8_t* row, std::uint8_t* out,
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
#endif

void MixRows(const std::uint8_t* row0, const std::uint8_t* row1, const std::uint8_t* next,
             std::uint8_t* out, int count, int weight, bool vector) {
  int x = 0;
#if defined(__x86_64__)
  if (vector) x = VectorMixRows(row0, row1, next, out, count, weight);
#endif
  for (; x < count; ++x) out[x] = Mix(row0[x], row1[x], weight);
}

}  // namespace

ShrinkCopy::ShrinkCopy(Path Use) : vector_(Use == Path::Fastest && HasAvx2()) {}

bool ShrinkCopy::Handles(double X1, double Y1, int Width1, int Height1, int Width2, int Height2) {
  const auto mild = [](int to, int from) { return to <= from && 4 * to >= 3 * from; };
  return X1 == std::floor(X1) && Y1 == std::floor(Y1) && mild(Width1, Width2) &&
         mild(Height1, Height2);
}

// The two source pixels (clamped to the image, as padding does) and the
// weight of the second for the centre of destination pixel Destination.
ShrinkCopy::Tap ShrinkCopy::Sample(int Destination, int Start, int Length, int SourceStart,
                                   int SourceLength, int Limit) {
  const double at = (Destination + 0.5 - Start) * SourceLength / Length + SourceStart - 0.5;
  const double whole = std::floor(at);
  const int weight = static_cast<int>((at - whole) * kWeightOne);
  const int first = static_cast<int>(whole);
  return {std::clamp(first, 0, Limit - 1), std::clamp(first + 1, 0, Limit - 1), weight};
}

// After Lead plain columns, the vector path takes the columns sixteen at a
// time as long as each half's taps lie within sixteen pixels that end inside
// the row.
void ShrinkCopy::PlanColumns(int SourceWidth, int X1, int Width1, int X2, int Width2, int Left,
                             int Right, int Lead) {
  columns_.clear();
  steps_.clear();
  for (int x = Left; x < Right; ++x)
    columns_.push_back(Sample(x, X1, Width1, X2, Width2, SourceWidth));
  lead_ = std::min(Lead, int(columns_.size()));
#if defined(__x86_64__)
  if (!vector_) return;
  for (std::size_t c = std::size_t(lead_); c + 16 <= columns_.size(); c += 16) {
    ShrinkStep step{};
    for (int half = 0; half < 2; ++half) {
      const int base = columns_[c + 8 * std::size_t(half)].first;
      if (base + 15 >= SourceWidth) return;
      step.base[half] = base;
      for (int k = 0; k < 8; ++k) {
        const Tap& tap = columns_[c + std::size_t(8 * half + k)];
        if (tap.second - base > 15) return;
        const int at = 16 * half + 2 * k;
        step.shuffle[at] = static_cast<std::int8_t>(tap.first - base);
        step.shuffle[at + 1] = static_cast<std::int8_t>(tap.second - base);
        step.weights[at] = static_cast<std::int8_t>(kWeightOne - tap.weight);
        step.weights[at + 1] = static_cast<std::int8_t>(tap.weight);
      }
    }
    steps_.push_back(step);
  }
#endif
}

Box ShrinkCopy::Run(const PixelRows& From, const Box& Ink, const PixelRows& To, int X1, int Y1,
                    int Width1, int Height1, int X2, int Y2, int Width2, int Height2) {
  Box drawn{std::max(X1, 0), std::max(Y1, 0), std::min(X1 + Width1, To.Width),
            std::min(Y1 + Height1, To.Height)};
  const auto inked = [](const Tap& tap, int low, int high) {
    return tap.second >= low && tap.first < high;
  };
  const auto column = [&](int x) { return Sample(x, X1, Width1, X2, Width2, From.Width); };
  const auto row = [&](int y) { return Sample(y, Y1, Height1, Y2, Height2, From.Height); };
  while (!drawn.Empty() && !inked(column(drawn.Left), Ink.Left, Ink.Right)) ++drawn.Left;
  while (!drawn.Empty() && !inked(column(drawn.Right - 1), Ink.Left, Ink.Right)) --drawn.Right;
  while (!drawn.Empty() && !inked(row(drawn.Top), Ink.Top, Ink.Bottom)) ++drawn.Top;
  while (!drawn.Empty() && !inked(row(drawn.Bottom - 1), Ink.Top, Ink.Bottom)) --drawn.Bottom;
  if (drawn.Empty()) return {};

  // Plain columns first up to a 16-byte boundary of the output rows, for the
  // streaming writes.
  const int lead =
      int((16 - reinterpret_cast<std::uintptr_t>(To.Row(drawn.Top) + drawn.Left) % 16) % 16);
  PlanColumns(From.Width, X1, Width1, X2, Width2, drawn.Left, drawn.Right, lead);
  // Only the source columns under the copy's taps need blending.
  const int first = columns_.front().first, count = columns_.back().second + 1 - first;
  blended_.resize(std::size_t(From.Width));
  const bool stream =
      std::size_t(To.Height) * std::size_t(To.Stride) >= kStreamBytes && To.Stride % 16 == 0;
  for (int y = drawn.Top; y < drawn.Bottom; ++y) {
    const Tap taps = row(y);
    const std::uint8_t* source = From.Row(taps.first);
    if (taps.weight != 0) {
      const std::uint8_t* next = From.Row(std::min(taps.second + 1, From.Height - 1));
      MixRows(source + first, From.Row(taps.second) + first, next + first, blended_.data() + first,
              count, taps.weight, vector_);
      source = blended_.data();
    }
    std::uint8_t* out = To.Row(y) + drawn.Left;
    const auto plain = [&](std::size_t from, std::size_t to) {
      for (std::size_t x = from; x < to; ++x) {
        out[x] = Mix(source[columns_[x].first], source[columns_[x].second], columns_[x].weight);
      }
    };
    const auto lead_end = std::size_t(lead_);
    plain(0, lead_end);
    std::size_t x = lead_end;
#if defined(__x86_64__)
    if (stream) {
      VectorMixColumns<true>(source, out + lead_end, steps_.data(), int(steps_.size()));
    } else {
      VectorMixColumns<false>(source, out + lead_end, steps_.data(), int(steps_.size()));
    }
    x += 16 * steps_.size();
#endif
    plain(x, columns_.size());
  }
#if defined(__x86_64__)
  _mm_sfence();
#endif
  return drawn;
}
