#include "surface/x_grays.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xrender.h>

#include <algorithm>

#include "surface/display_server.h"

namespace {

constexpr XRenderColor kWhite{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

}  // namespace

XGrays::XGrays(Display* Connection, Window Target, Visual* Look)
    : display_(Connection), window_(Target), visual_(Look) {
  int event_base = 0, error_base = 0;
  if (!XRenderQueryExtension(display_, &event_base, &error_base)) {
    throw DisplayError("the display has no RENDER extension");
  }
  // Any true-colour window will do, at any depth; a palette has no room for
  // the 256 grays.
  const XRenderPictFormat* format = XRenderFindVisualFormat(display_, visual_);
  if (format == nullptr || format->type != PictTypeDirect) {
    throw DisplayError("the window has palette colour; the animation needs true colour");
  }
  window_picture_ = XRenderCreatePicture(display_, window_, format, 0, nullptr);
  white_ = XRenderCreateSolidFill(display_, &kWhite);
}

void XGrays::Send(int Slot, const PixelRows& Pixels) {
  Held& held = held_[std::size_t(Slot)];
  if (held.width != Pixels.Width || held.height != Pixels.Height) {
    if (held.pixmap != 0) {
      XRenderFreePicture(display_, held.alpha);
      XFreePixmap(display_, held.pixmap);
    }
    held = {XCreatePixmap(display_, window_, unsigned(std::max(Pixels.Width, 1)),
                          unsigned(std::max(Pixels.Height, 1)), 8),
            0, Pixels.Width, Pixels.Height};
    held.alpha = XRenderCreatePicture(
        display_, held.pixmap, XRenderFindStandardFormat(display_, PictStandardA8), 0, nullptr);
    if (gc_ == nullptr) gc_ = XCreateGC(display_, held.pixmap, 0, nullptr);
  }
  XImage* image =
      XCreateImage(display_, visual_, 8, ZPixmap, 0, reinterpret_cast<char*>(Pixels.Data),
                   unsigned(Pixels.Width), unsigned(Pixels.Height), 8, Pixels.Stride);
  if (image == nullptr) throw DisplayError("no image for the pixels");
  XPutImage(display_, held.pixmap, gc_, image, 0, 0, 0, 0, unsigned(Pixels.Width),
            unsigned(Pixels.Height));
  image->data = nullptr;  // the caller's, not Xlib's to free
  XDestroyImage(image);
}

// White through the gray as alpha: 255 × gray / 255, exactly the gray.
void XGrays::Paint(int Slot, int Left, int Top) {
  const Held& held = held_[std::size_t(Slot)];
  XRenderComposite(display_, PictOpSrc, white_, held.alpha, window_picture_, 0, 0, 0, 0, Left, Top,
                   unsigned(held.width), unsigned(held.height));
}

void XGrays::PaintWhite(int Width, int Height) {
  XRenderFillRectangle(display_, PictOpSrc, window_picture_, &kWhite, 0, 0, unsigned(Width),
                       unsigned(Height));
}
