#include "surface/picture/pixel_memory.h"

#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this an image is laid out as any other memory: a huge page of its
// own would mostly go unused.
constexpr std::size_t kHugeFrom = kHugePage / 2;
// Whole cache lines, for the vector code's rows.
constexpr std::size_t kLine = 64;

std::size_t RoundUp(std::size_t Bytes, std::size_t Unit) { return (Bytes + Unit - 1) / Unit * Unit; }

}  // namespace

PixelMemory::PixelMemory(std::size_t Bytes, std::uint8_t Fill) {
  if (Bytes == 0) return;
  const bool huge = Bytes >= kHugeFrom;
  const std::size_t alignment = huge ? kHugePage : kLine;
  const std::size_t size = RoundUp(Bytes, alignment);
  data_ = static_cast<std::uint8_t*>(::operator new(size, std::align_val_t(alignment)));
  alignment_ = alignment;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Before the first touch, which is when the kernel chooses the pages. A
  // refusal leaves ordinary pages.
  if (huge) madvise(data_, size, MADV_HUGEPAGE);
#endif
  std::memset(data_, Fill, Bytes);
}

PixelMemory::PixelMemory(PixelMemory&& Other) noexcept
    : data_(std::exchange(Other.data_, nullptr)), alignment_(std::exchange(Other.alignment_, 0)) {}

PixelMemory& PixelMemory::operator=(PixelMemory&& Other) noexcept {
  if (this != &Other) {
    Release();
    data_ = std::exchange(Other.data_, nullptr);
    alignment_ = std::exchange(Other.alignment_, 0);
  }
  return *this;
}

void PixelMemory::Release() {
  if (data_ != nullptr) ::operator delete(data_, std::align_val_t(alignment_));
  data_ = nullptr;
}
