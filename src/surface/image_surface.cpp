#include "surface/image_surface.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

// Colour (red + 256 × green + 65536 × blue) as a pixel 0x00RRGGBB.
std::uint32_t Rgb(Colour Color) {
  const auto c = static_cast<std::uint32_t>(Color);
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
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
  image_.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height));
  cairo_.reset(cairo_create(image_.get()));
  Check("a new image");
  Cls();
}

PixelRows ImageSurface::Rows() const {
  const PixelRows rows = Pixels();
  if (fill_pending_) {
    Fill(rows, 0, 0, rows.Width, rows.Height);
    fill_pending_ = false;
  }
  return rows;
}

PixelRows ImageSurface::Pixels() const {
  cairo_surface_t* image = image_.get();
  if (!direct_) {
    cairo_surface_flush(image);
    direct_ = true;
  }
  return {reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(image)),
          cairo_image_surface_get_width(image), cairo_image_surface_get_height(image),
          cairo_image_surface_get_stride(image) / 4};
}

void ImageSurface::ForCairo() const {
  Rows();
  if (direct_) {
    cairo_surface_mark_dirty(image_.get());
    direct_ = false;
  }
}

void ImageSurface::Check(const char* operation) const {
  const cairo_status_t status = cairo_status(cairo_.get());
  if (status != CAIRO_STATUS_SUCCESS) {
    throw SurfaceError(std::string(operation) + ": " + cairo_status_to_string(status));
  }
}

void ImageSurface::Move(Single Left, Int16 Top, Int16 Width, Int16 Height) {
  left_ = static_cast<int>(Left.Value());
  top_ = Top.Value();
  NewImage(Width.Value(), Height.Value());
}

void ImageSurface::Cls() { fill_pending_ = true; }

void ImageSurface::Fill(const PixelRows& Rows, int Left, int Top, int Right, int Bottom) const {
  for (int y = Top; y < Bottom; ++y) std::fill(Rows.Row(y) + Left, Rows.Row(y) + Right, kWhite);
}

void ImageSurface::FillAround(int Left, int Top, int Right, int Bottom) {
  const PixelRows rows = Pixels();
  if (!fill_pending_) return;
  Left = std::clamp(Left, 0, rows.Width), Right = std::clamp(Right, Left, rows.Width);
  Top = std::clamp(Top, 0, rows.Height), Bottom = std::clamp(Bottom, Top, rows.Height);
  Fill(rows, 0, 0, rows.Width, Top);
  Fill(rows, 0, Top, Left, Bottom);
  Fill(rows, Right, Top, rows.Width, Bottom);
  Fill(rows, 0, Bottom, rows.Width, rows.Height);
  fill_pending_ = false;
}

// Cairo's GOOD filter interpolates bilinearly at mild scales and averages
// areas at strong ones, so a shrunk plant keeps its tone and its lines stay
// whole. Padding the source's edge keeps the copy's border from fading.
void ImageSurface::PaintPicture(const Picture& Source, Single X1, Single Y1, Int16 Width1,
                                Int16 Height1, Int16 X2, Int16 Y2, Int16 Width2, Int16 Height2) {
  if (Width1 <= 0 || Height1 <= 0 || Width2 <= 0 || Height2 <= 0) return;
  const auto& source = static_cast<const ImageSurface&>(Source);
  if (ShrinkCopy::Handles(X1, Y1, Width1.Value(), Height1.Value(), Width2.Value(),
                          Height2.Value())) {
    const int left = static_cast<int>(X1.Value()), top = static_cast<int>(Y1.Value());
    FillAround(left, top, left + Width1.Value(), top + Height1.Value());
    shrink_.Run(source.Rows(), Rows(), left, top, Width1.Value(), Height1.Value(), X2.Value(),
                Y2.Value(), Width2.Value(), Height2.Value());
    return;
  }
  source.ForCairo();
  ForCairo();
  cairo_t* cr = cairo_.get();
  cairo_save(cr);
  cairo_rectangle(cr, X1, Y1, double(Width1), double(Height1));
  cairo_clip(cr);
  cairo_translate(cr, X1, Y1);
  cairo_scale(cr, double(Width1) / double(Width2), double(Height1) / double(Height2));
  cairo_set_source_surface(cr, source.image_.get(), -double(X2), -double(Y2));
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_restore(cr);
  Check("PaintPicture");
}

void ImageSurface::DrawWidth(Int16 Width) {
  if (Width < 1) throw SurfaceError("DrawWidth " + std::to_string(Width.Value()));
  draw_width_ = Width;
}

void ImageSurface::Line(Single X, Single Y, Colour Color) {
  DrawThickLine(Rows(), current_x_, current_y_, X, Y, double(draw_width_), Rgb(Color));
  current_x_ = X;
  current_y_ = Y;
}

void ImageSurface::WritePng(const std::string& Path) const {
  ForCairo();
  const cairo_status_t status = cairo_surface_write_to_png(image_.get(), Path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    throw SurfaceError("cannot write " + Path + ": " + cairo_status_to_string(status));
  }
}
