#include "surface/wayland/shm_bands.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include "surface/platform.h"
#include "surface/surface.h"

namespace {

std::uint32_t Opaque(std::uint8_t Gray) { return Gray * 0x010101U; }

// Each gray of [Gray, End) as Scale pixels from To on; returns where they end.
std::uint32_t* Repeated(const std::uint8_t* Gray, const std::uint8_t* End, std::uint32_t* To,
                        int Scale) {
  for (; Gray != End; ++Gray) To = std::fill_n(To, Scale, Opaque(*Gray));
  return To;
}

}  // namespace

std::vector<Box> BandAreas(const Box& Shown) {
  std::vector<Box> areas;
  for (int top = Shown.Top; top < Shown.Bottom; top += kSubsurfaceRows) {
    areas.push_back({Shown.Left, top, Shown.Right, std::min(top + kSubsurfaceRows, Shown.Bottom)});
  }
  return areas;
}

Box InkIn(const ImageSurface& Image, const Box& Area) {
  const PixelRows pixels = Image.Rows();
  const Box within = Area.Offset(-Image.Left(), -Image.Top()).Meet(Image.Ink());
  const auto white = [](std::uint8_t Gray) { return Gray == 255; };
  Box found;
  for (int y = within.Top; y < within.Bottom; ++y) {
    const std::uint8_t* const row = pixels.Row(y);
    const std::uint8_t* const first =
        std::find_if_not(row + within.Left, row + within.Right, white);
    if (first == row + within.Right) continue;
    const std::uint8_t* const last =
        std::find_if_not(std::make_reverse_iterator(row + within.Right),
                         std::make_reverse_iterator(first), white)
            .base();
    found = found.Hull({int(first - row), y, int(last - row), y + 1});
  }
  return found.Offset(Image.Left(), Image.Top());
}

void Convert(const XrgbPixels& To, const PixelRows& Image, int Left, int Top, const Box& Area) {
  const int scale = To.Scale;
  const std::ptrdiff_t width = std::ptrdiff_t(To.Shows.Width()) * scale;
  for (int y = Area.Top; y < Area.Bottom; ++y) {
    const bool inside = y >= Top && y - Top < Image.Height;
    const int from = inside ? std::clamp(Left, Area.Left, Area.Right) : Area.Right;
    const int to = inside ? std::clamp(Left + Image.Width, from, Area.Right) : Area.Right;
    std::uint32_t* const row = To.Pixels + (std::ptrdiff_t(y - To.Shows.Top) * width +
                                            std::ptrdiff_t(Area.Left - To.Shows.Left)) *
                                               scale;
    std::uint32_t* end = std::fill_n(row, (from - Area.Left) * scale, kXrgbWhite);
    if (from < to) {
      const std::uint8_t* const grays = Image.Row(y - Top) + (from - Left);
      end = scale == 1 ? std::transform(grays, grays + (to - from), end, Opaque)
                       : Repeated(grays, grays + (to - from), end, scale);
    }
    end = std::fill_n(end, (Area.Right - to) * scale, kXrgbWhite);
    for (int copy = 1; copy < scale; ++copy) std::copy(row, end, row + copy * width);
  }
}

namespace {

// The compositor's C callback: it only records that the buffer is free.
void Released(void* Data, wl_buffer*) { static_cast<ShmBuffer*>(Data)->busy = false; }
constexpr wl_buffer_listener kReleased{Released};

}  // namespace

ShmBuffer::ShmBuffer(wl_shm* Shm, std::size_t Bytes) : bytes_(Bytes) {
  const int descriptor = memfd_create(kApplicationId, MFD_CLOEXEC);
  if (descriptor < 0 || ftruncate(descriptor, off_t(bytes_)) != 0) {
    if (descriptor >= 0) close(descriptor);
    throw SurfaceError(std::string("no shared memory for a picture: ") + std::strerror(errno));
  }
  void* at = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
  if (at == MAP_FAILED) {
    close(descriptor);
    throw SurfaceError(std::string("cannot map a picture: ") + std::strerror(errno));
  }
  pixels_ = static_cast<std::uint32_t*>(at);
  pool_ = wl_shm_create_pool(Shm, descriptor, std::int32_t(bytes_));
  close(descriptor);
}

ShmBuffer::~ShmBuffer() {
  if (buffer_ != nullptr) wl_buffer_destroy(buffer_);
  wl_shm_pool_destroy(pool_);
  munmap(pixels_, bytes_);
}

void ShmBuffer::Shape(const Box& Shown, int Scale) {
  const bool same = buffer_ != nullptr && Scale == scale_ && Shown.Width() == box_.Width() &&
                    Shown.Height() == box_.Height();
  box_ = Shown;
  scale_ = Scale;
  if (same) return;
  if (buffer_ != nullptr) wl_buffer_destroy(buffer_);
  const int width = box_.Width() * scale_;
  const int height = box_.Height() * scale_;
  buffer_ = wl_shm_pool_create_buffer(pool_, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
  wl_buffer_add_listener(buffer_, &kReleased, this);
}
