#include "surface/picture/image_surface.h"

#include <algorithm>
#include <new>

namespace {

constexpr std::uint8_t kWhite = 255;

// The gray of a colour (red + 256 × green + 65536 × blue) whose three
// components are equal.
std::uint8_t GrayOf(Colour Color) {
  const auto c = static_cast<std::uint32_t>(Color);
  const std::uint32_t red = c & 0xFF;
  if (c >> 24 != 0 || (c >> 8 & 0xFF) != red || (c >> 16 & 0xFF) != red) {
    throw SurfaceError("the pictures hold grays only, not the colour " + std::to_string(Color));
  }
  return static_cast<std::uint8_t>(red);
}

void Whiten(const PixelRows& Rows, const Box& Area) {
  for (int y = Area.Top; y < Area.Bottom; ++y) {
    std::fill(Rows.Row(y) + Area.Left, Rows.Row(y) + Area.Right, kWhite);
  }
}

// Whitens Area but for the box Kept.
void WhitenAround(const PixelRows& Rows, const Box& Area, const Box& Kept) {
  const Box kept = Kept.Meet(Area);
  if (kept.Empty()) return Whiten(Rows, Area);
  Whiten(Rows, {Area.Left, Area.Top, Area.Right, kept.Top});
  Whiten(Rows, {Area.Left, kept.Top, kept.Left, kept.Bottom});
  Whiten(Rows, {kept.Right, kept.Top, Area.Right, kept.Bottom});
  Whiten(Rows, {Area.Left, kept.Bottom, Area.Right, Area.Bottom});
}

}  // namespace

ImageSurface::ImageSurface(int Left, int Top, int Width, int Height, std::function<void()> Raised)
    : left_(Left), top_(Top), raised_(std::move(Raised)) {
  NewImage(Width, Height);
}

void ImageSurface::NewImage(int Width, int Height) {
  if (Width < 0 || Height < 0) {
    throw SurfaceError("a surface cannot be " + std::to_string(Width) + " x " +
                       std::to_string(Height) + " pixels");
  }
  width_ = Width;
  height_ = Height;
  stride_ = (Width + 15) / 16 * 16;
  // Released first, so that the old and the new image are never both held.
  pixels_ = {};
  try {
    pixels_.assign(std::size_t(stride_) * std::size_t(Height), kWhite);
  } catch (const std::bad_alloc&) {
    throw SurfaceError("no memory for a surface of " + std::to_string(Width) + " x " +
                       std::to_string(Height) + " pixels");
  }
  ink_ = {};
  clear_pending_ = false;
  queued_count_ = 0;
}

PixelRows ImageSurface::Pixels() const { return {pixels_.data(), width_, height_, stride_}; }

PixelRows ImageSurface::Rows() const {
  const PixelRows rows = Pixels();
  if (clear_pending_) {
    Whiten(rows, ink_);
    ink_ = {};
    clear_pending_ = false;
  }
  if (queued_count_ > 0) {
    ink_ = ink_.Hull(DrawThickLines(rows, {queued_.data(), queued_count_}));
    queued_count_ = 0;
  }
  return rows;
}

// Draws the queued lines, after the clearing that Cls may have put off.
void ImageSurface::DrawQueued() const {
  if (queued_count_ > 0) Rows();
}

Box ImageSurface::Ink() const {
  Rows();
  return ink_;
}

void ImageSurface::Move(Single Left, Int16 Top, Int16 Width, Int16 Height) {
  left_ = static_cast<int>(Left.Value());
  top_ = Top.Value();
  NewImage(Width.Value(), Height.Value());
}

// Lines still queued would be whitened with the rest: they are let go.
void ImageSurface::Cls() {
  clear_pending_ = true;
  queued_count_ = 0;
}

void ImageSurface::PaintPicture(const Picture& Source, Single X1, Single Y1, Int16 Width1,
                                Int16 Height1, Int16 X2, Int16 Y2, Int16 Width2, Int16 Height2) {
  if (Width1 <= 0 || Height1 <= 0 || Width2 <= 0 || Height2 <= 0) return;
  const auto& source = static_cast<const ImageSurface&>(Source);
  DrawQueued();
  if (ShrinkCopy::Handles(X1, Y1, Width1.Value(), Height1.Value(), Width2.Value(),
                          Height2.Value())) {
    // The copy's rectangle becomes white but for what the copy draws; with
    // a clearing pending, so does the rest of the ink.
    const int left = static_cast<int>(X1.Value()), top = static_cast<int>(Y1.Value());
    const Box target =
        Box{left, top, left + Width1.Value(), top + Height1.Value()}.Meet({0, 0, width_, height_});
    const Box drawn =
        shrink_.Run(source.Rows(), source.Ink(), Pixels(), left, top, Width1.Value(),
                    Height1.Value(), X2.Value(), Y2.Value(), Width2.Value(), Height2.Value());
    WhitenAround(Pixels(), clear_pending_ ? ink_ : ink_.Meet(target), drawn);
    ink_ = (clear_pending_ ? Box{} : ink_).Hull(drawn);
    clear_pending_ = false;
    return;
  }
  AveragedCopy(source, X1, Y1, Width1.Value(), Height1.Value(), X2.Value(), Y2.Value(),
               Width2.Value(), Height2.Value());
}

// The copy for small windows, which shrink too strongly for ShrinkCopy, and
// for any other rectangle that it does not take.
void ImageSurface::AveragedCopy(const ImageSurface& Source, double X1, double Y1, int Width1,
                                int Height1, int X2, int Y2, int Width2, int Height2) {
  ink_ = ink_.Hull(
      average_.Run(Source.Rows(), Rows(), X1, Y1, Width1, Height1, X2, Y2, Width2, Height2));
}

void ImageSurface::DrawWidth(Int16 Width) {
  if (Width < 1) throw SurfaceError("DrawWidth " + std::to_string(Width.Value()));
  draw_width_ = Width;
}

void ImageSurface::Line(Single X, Single Y, Colour Color) {
  if (queued_count_ == kQueuedLines) DrawQueued();
  queued_[queued_count_++] = {current_x_, current_y_, X, Y, double(draw_width_), GrayOf(Color)};
  current_x_ = X;
  current_y_ = Y;
}
