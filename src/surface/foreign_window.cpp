#include "surface/foreign_window.h"

#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <string>

#include "surface/clock.h"
#include "surface/display_server.h"

namespace {

constexpr int kLongestWaitMs = 1000;

std::string Hex(Window Id) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", Id);
  return text;
}

Display* OpenDisplay(const char* Program) {
  OpenClosedStandardStreams();
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = XDisplayName(nullptr);
    throw DisplayError(std::string("cannot open display: ") + (*name != '\0' ? name : "DISPLAY is not set"));
  }
  EndOnX11Faults(Program);
  return display;
}

// Our pixels are 32-bit words 0x00RRGGBB: the window's visual must have
// those channels.
bool TakesOurPixels(const XWindowAttributes& Attributes) {
  const Visual* visual = Attributes.visual;
  return (Attributes.depth == 24 || Attributes.depth == 32) && visual->c_class == TrueColor &&
         visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

}  // namespace

ForeignWindow::ForeignWindow(RandomSource& Random, std::optional<Window> Id, const char* Program)
    : PictureWindow(Random), display_(OpenDisplay(Program)) {
  window_ = Id.value_or(DefaultRootWindow(display_));
  XWindowAttributes attributes;
  XGetWindowAttributes(display_, window_, &attributes);
  if (!TakesOurPixels(attributes)) {
    XCloseDisplay(display_);
    throw DisplayError("the window " + Hex(window_) + " has " + std::to_string(attributes.depth) +
                       "-bit colour; the animation needs 24-bit colour");
  }
  visual_ = attributes.visual;
  depth_ = attributes.depth;
  width_ = attributes.width;
  height_ = attributes.height;
  XSelectInput(display_, window_, ExposureMask | StructureNotifyMask);
  gc_ = XCreateGC(display_, window_, 0, nullptr);
}

ForeignWindow::~ForeignWindow() {
  ClosingWindow();
  XFreeGC(display_, gc_);
  XCloseDisplay(display_);
}

void ForeignWindow::Run(WindowEvents& Handlers) {
  Present();
  Handlers.Form_Activate();
}

void ForeignWindow::DoEvents() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    Handle(event);
  }
}

void ForeignWindow::WaitEvents(double Seconds) {
  XFlush(display_);
  if (XPending(display_) == 0) {
    const double ms = std::ceil(Seconds * 1000);
    pollfd connection{ConnectionNumber(display_), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(std::clamp(ms, 1.0, double(kLongestWaitMs))));
  }
  DoEvents();
}

Single ForeignWindow::Timer() { return static_cast<float>(SecondsSinceMidnight()); }

void ForeignWindow::Handle(const XEvent& Event) {
  if (Event.type == Expose && Event.xexpose.window == window_ && Event.xexpose.count == 0) {
    Present();
  }
  if (Event.type == DestroyNotify && Event.xdestroywindow.window == window_) {
    throw DisplayError("the window " + Hex(window_) + " was destroyed");
  }
}

void ForeignWindow::Present() {
  if (!FrontCovers(width_, height_)) {
    XSetForeground(display_, gc_, 0xFFFFFF);
    XFillRectangle(display_, window_, gc_, 0, 0, unsigned(width_), unsigned(height_));
    Put(BackImage());
  }
  Put(FrontImage());
  XFlush(display_);
}

void ForeignWindow::Put(const ImageSurface& Image) {
  const PixelRows pixels = Image.Rows();
  XImage* image = XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0,
                               reinterpret_cast<char*>(pixels.Data), unsigned(pixels.Width),
                               unsigned(pixels.Height), 32, pixels.Stride * 4);
  if (image == nullptr) throw SurfaceError("present: no image");
  // The words are in this processor's byte order; Xlib swaps them if the
  // server wants the other.
  image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
  XPutImage(display_, window_, gc_, image, 0, 0, Image.Left(), Image.Top(), unsigned(pixels.Width),
            unsigned(pixels.Height));
  image->data = nullptr;  // the surface's, not Xlib's to free
  XDestroyImage(image);
}
