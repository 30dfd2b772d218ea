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

void Whiten(std::uint8_t* Row, int Left, int Right) {
  if (Left < Right) std::fill(Row + Left, Row + Right, kWhite);
}

void Whiten(const PixelRows& Rows, const InkRows& Ink) {
  const Box& hull = Ink.Hull();
  for (int y = hull.Top; y < hull.Bottom; ++y) {
    Whiten(Rows.Row(y), Ink.Row(y).Left, Ink.Row(y).Right);
  }
}

// Whitens each row's ink within Area but for the columns Kept of that row.
void WhitenAround(const PixelRows& Rows, const InkRows& Ink, const Box& Area, const InkRows& Kept) {
  const Box area = Ink.Hull().Meet(Area);
  for (int y = area.Top; y < area.Bottom; ++y) {
    const int left = std::max(Ink.Row(y).Left, area.Left);
    const int right = std::min(Ink.Row(y).Right, area.Right);
    const InkRows::Span kept = Kept.Row(y);
    Whiten(Rows.Row(y), left, std::min(right, kept.Left));
    Whiten(Rows.Row(y), std::max(left, kept.Right), right);
  }
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
    pixels_ = PixelMemory(std::size_t(stride_) * std::size_t(Height), kWhite);
  } catch (const std::bad_alloc&) {
    throw SurfaceError("no memory for a surface of " + std::to_string(Width) + " x " +
                       std::to_string(Height) + " pixels");
  }
  ink_ = InkRows(Height);
  copied_ = InkRows(Height);
  clear_pending_ = false;
  queued_count_ = 0;
}

PixelRows ImageSurface::Pixels() const { return {pixels_.Data(), width_, height_, stride_}; }

PixelRows ImageSurface::Rows() const {
  const PixelRows rows = Pixels();
  if (clear_pending_) {
    Whiten(rows, ink_);
    ink_.Clear();
    clear_pending_ = false;
  }
  if (queued_count_ > 0) {
    DrawThickLines(rows, {queued_.data(), queued_count_}, ink_);
    queued_count_ = 0;
  }
  return rows;
}

// Draws the queued lines, after the clearing that Cls may have put off.
void ImageSurface::DrawQueued() const {
  if (queued_count_ > 0) Rows();
}

const InkRows& ImageSurface::InkByRow() const {
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
    const Box target = clear_pending_
                           ? Box{0, 0, width_, height_}
                           : Box{left, top, left + Width1.Value(), top + Height1.Value()};
    copied_.Clear();
    shrink_.Run(source.Rows(), source.InkByRow(), Pixels(), left, top, Width1.Value(),
                Height1.Value(), X2.Value(), Y2.Value(), Width2.Value(), Height2.Value(), copied_);
    WhitenAround(Pixels(), ink_, target, copied_);
    if (clear_pending_) {
      std::swap(ink_, copied_);
    } else {
      const Box& hull = copied_.Hull();
      for (int y = hull.Top; y < hull.Bottom; ++y) ink_.Add(y, copied_.Row(y));
    }
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
  const PixelRows to = Rows();
  ink_.Add(average_.Run(Source.Rows(), to, X1, Y1, Width1, Height1, X2, Y2, Width2, Height2));
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
