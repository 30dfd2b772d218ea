// The shared-memory bands of the Wayland window: the rows each band takes of
// a surface, the box of ink it shows, the buffers it may write into, and
// the gray pictures converted into a buffer's XRGB pixels, all of which
// need no compositor; and the buffers themselves, in shared memory.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "surface/picture/image_surface.h"

struct wl_buffer;
struct wl_shm;
struct wl_shm_pool;

// A surface is shown in bands of this many rows, each a subsurface whose
// buffers hold the box of its ink: narrower bands hold less white, more of
// them are more to commit.
inline constexpr int kSubsurfaceRows = 128;

inline constexpr std::uint32_t kXrgbWhite = 0xFFFFFF;

// The rows of each band across Shown, top to bottom; the last may be
// shorter.
std::vector<Box> BandAreas(const Box& Shown);

// The box of Image's ink within Area of the window, found row by row: the
// hull of each row's first and last pixel that is not white.
Box InkIn(const ImageSurface& Image, const Box& Area);

// A buffer's pixels, XRGB: Scale × Scale of them to each pixel of the box
// Shows of the window, Shows.Width() × Scale to a row.
struct XrgbPixels {
  std::uint32_t* Pixels;
  Box Shows;
  int Scale;
};

// Makes Area of To.Shows the pixels of Image, which lies at (Left, Top) of
// the window: white where the image is not.
void Convert(const XrgbPixels& To, const PixelRows& Image, int Left, int Top, const Box& Area);

// The buffers of one band. The compositor holds a buffer from the commit
// that shows it until it releases it (its busy flag), and nothing may be
// written into it meanwhile: a band writes only into a free one, made the
// first time it is wanted, and waits while all are held.
template <typename Buffer>
class BufferRing {
 public:
  // A buffer that the compositor does not hold; none when all are held.
  Buffer* Free(const std::function<std::unique_ptr<Buffer>()>& Make) {
    for (std::unique_ptr<Buffer>& buffer : buffers_) {
      if (!buffer) buffer = Make();
      if (!buffer->busy) return buffer.get();
    }
    return nullptr;
  }

 private:
  std::array<std::unique_ptr<Buffer>, 3> buffers_;
};

// Shared memory for the pictures of a band, and the buffer that shows a box
// of the window from it. The memory is as large as the whole band, but only
// the pixels of the boxes it has shown are ever touched, and only those take
// up memory.
class ShmBuffer {
 public:
  ShmBuffer(wl_shm* Shm, std::size_t Bytes);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  // Makes it show Shown at Scale: a new buffer when the size changes.
  void Shape(const Box& Shown, int Scale);
  wl_buffer* Buffer() const { return buffer_; }
  // Its pixels, as they show the box of Shape.
  XrgbPixels Pixels() const { return {pixels_, box_, scale_}; }

  // Held by the compositor from the commit that shows it until it releases
  // it.
  bool busy = false;

 private:
  wl_shm_pool* pool_ = nullptr;
  std::uint32_t* pixels_ = nullptr;
  std::size_t bytes_ = 0;
  wl_buffer* buffer_ = nullptr;
  Box box_;
  int scale_ = 1;
};
