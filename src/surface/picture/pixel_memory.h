// The memory that holds an image's pixels.
//
// A frame reads and writes the ink of a screen-sized picture all over, after
// the program has slept for most of a second: on ordinary 4 KiB pages a
// frame at 3840 × 2160 spends most of its time on page-table walks, one or
// two for every row it touches. An image of a megabyte or more is therefore
// laid on 2 MiB boundaries and offered to the kernel as huge pages (Linux's
// transparent huge pages, where the system allows them); elsewhere, and
// where the kernel declines, it is ordinary memory, with the same pixels.
#pragma once

#include <cstddef>
#include <cstdint>

class PixelMemory {
 public:
  PixelMemory() = default;
  // Bytes bytes, each set to Fill. Throws std::bad_alloc.
  PixelMemory(std::size_t Bytes, std::uint8_t Fill);
  ~PixelMemory() { Release(); }
  PixelMemory(PixelMemory&& Other) noexcept;
  PixelMemory& operator=(PixelMemory&& Other) noexcept;

  std::uint8_t* Data() const { return data_; }

 private:
  void Release();

  std::uint8_t* data_ = nullptr;
  std::size_t alignment_ = 0;
};
