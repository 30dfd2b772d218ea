#include "surface/picture/image_surface.h"

#if defined(BOSKA_PNG)
#include <cairo.h>

// Through a Cairo image, each gray as equal red, green and blue.
void ImageSurface::WritePng(const std::string& Path) const {
  const PixelRows rows = Rows();
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, rows.Width, rows.Height);
  cairo_status_t status = cairo_surface_status(image);
  if (status == CAIRO_STATUS_SUCCESS) {
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < rows.Height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
      for (int x = 0; x < rows.Width; ++x) row[x] = rows.Row(y)[x] * 0x010101U;
    }
    cairo_surface_mark_dirty(image);
    status = cairo_surface_write_to_png(image, Path.c_str());
  }
  cairo_surface_destroy(image);
  if (status != CAIRO_STATUS_SUCCESS) {
    throw SurfaceError("cannot write " + Path + ": " + cairo_status_to_string(status));
  }
}
#else
void ImageSurface::WritePng(const std::string& Path) const {
  throw SurfaceError("cannot write " + Path + ": this build writes no PNG files");
}
#endif
