#include "surface/picture_window.h"

#include <algorithm>
#include <cmath>

namespace {

struct Placement {
  int left, top, width, height;
};

constexpr std::array<Placement, 2> kDesignPlacement{{{150, 30, 316, 241}, {75, 115, 316, 241}}};

}  // namespace

PictureWindow::PictureWindow(RandomSource& Random) : random_(Random) {
  for (int index = 0; index < 2; ++index) {
    const Placement& at = kDesignPlacement[index];
    images_[index] =
        std::make_unique<ImageSurface>(at.left, at.top, at.width, at.height, [this, index] {
          front_ = index;
          Raised(index);
        });
  }
}

ImageSurface& PictureWindow::Image(Int16 Index) {
  if (Index != 0 && Index != 1) {
    throw SurfaceError("there is no surface pb(" + std::to_string(Index.Value()) + ")");
  }
  return *images_[Index.Value()];
}

int PictureWindow::WaitMilliseconds(double Seconds) {
  return static_cast<int>(std::clamp(std::ceil(Seconds * 1000), 1.0, 1000.0));
}

bool PictureWindow::FrontCovers(int Width, int Height) const {
  const ImageSurface& front = FrontImage();
  const PixelRows pixels = front.Rows();
  return front.Left() <= 0 && front.Top() <= 0 && front.Left() + pixels.Width >= Width &&
         front.Top() + pixels.Height >= Height;
}
