#include "surface/image_surface.h"

namespace {

// Pixel (x, y) of the design is the square from (x, y) to (x + 1, y + 1), so
// lines run through pixel centres.
constexpr double kPixelCentre = 0.5;

double Component(Colour Color, int Shift) { return ((Color >> Shift) & 0xFF) / 255.0; }

}  // namespace

ImageSurface::ImageSurface(int Left, int Top, int Width, int Height,
                           std::function<void()> Raised)
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
  cairo_set_line_cap(cairo_.get(), CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cairo_.get(), CAIRO_LINE_JOIN_ROUND);
  Cls();
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

void ImageSurface::Cls() {
  cairo_t* cr = cairo_.get();
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_restore(cr);
  Check("Cls");
}

// The GOOD filter interpolates bilinearly at mild scales and averages areas
// at strong ones, so a shrunk plant keeps its tone and its lines stay whole.
// Padding the source's edge keeps the copy's border from fading.
void ImageSurface::PaintPicture(const Picture& Source, Single X1, Single Y1, Int16 Width1,
                                Int16 Height1, Int16 X2, Int16 Y2, Int16 Width2,
                                Int16 Height2) {
  if (Width1 <= 0 || Height1 <= 0 || Width2 <= 0 || Height2 <= 0) return;
  const auto& source = static_cast<const ImageSurface&>(Source);
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
  cairo_t* cr = cairo_.get();
  cairo_move_to(cr, current_x_ + kPixelCentre, current_y_ + kPixelCentre);
  cairo_line_to(cr, X + kPixelCentre, Y + kPixelCentre);
  cairo_set_line_width(cr, double(draw_width_));
  cairo_set_source_rgb(cr, Component(Color, 0), Component(Color, 8), Component(Color, 16));
  cairo_stroke(cr);
  Check("Line");
  current_x_ = X;
  current_y_ = Y;
}

void ImageSurface::WritePng(const std::string& Path) const {
  cairo_surface_flush(image_.get());
  const cairo_status_t status = cairo_surface_write_to_png(image_.get(), Path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    throw SurfaceError("cannot write " + Path + ": " + cairo_status_to_string(status));
  }
}
