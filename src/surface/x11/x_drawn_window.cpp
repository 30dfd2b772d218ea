#include "surface/x11/x_drawn_window.h"

#include <poll.h>

#include <cstdio>
#include <string>

#include "surface/display.h"

namespace {

std::string Hex(Window Id) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", Id);
  return text;
}

Display* OpenDisplay() {
  OpenClosedStandardStreams();
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = XDisplayName(nullptr);
    throw DisplayError(std::string("cannot open display: ") +
                       (*name != '\0' ? name : "DISPLAY is not set"));
  }
  return display;
}

}  // namespace

XDrawnWindow::XDrawnWindow(RandomSource& Random, const char* Program)
    : PictureWindow(Random), faults_(Program), display_(OpenDisplay()) {}

// Closing the connection frees what the server holds for it, the window
// that the program made included.
XDrawnWindow::~XDrawnWindow() {
  faults_.Closing();
  grays_.reset();
  XCloseDisplay(display_);
}

void XDrawnWindow::DrawIn(Window Id, Visual* Look, int Width, int Height) {
  // A window that the server refused to describe is none to draw in.
  faults_.Raise();
  window_ = Id;
  width_ = Width;
  height_ = Height;
  grays_ = std::make_unique<XGrays>(display_, window_, Look);
}

void XDrawnWindow::SendBoth() {
  for (const int index : {0, 1}) Send(index);
}

// Over the picture in front before, only what changed is painted.
void XDrawnWindow::Raised(int Index) {
  Send(Index);
  const ImageSurface& front = FrontImage();
  if (grays_->PaintChanges(Index, front.Left(), front.Top(), width_, height_)) {
    XFlush(display_);
  } else {
    Present();
  }
}

void XDrawnWindow::Send(int Index) {
  const ImageSurface& surface = Image(static_cast<std::int16_t>(Index));
  grays_->Send(Index, surface.Rows(), surface.InkByRow());
}

void XDrawnWindow::DoEvents() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    Handle(event);
  }
  faults_.Raise();
  DeliverInput();
}

void XDrawnWindow::WaitEvents(double Seconds) {
  XFlush(display_);
  if (XPending(display_) == 0) {
    pollfd connection{ConnectionNumber(display_), POLLIN, 0};
    poll(&connection, 1, WaitMilliseconds(Seconds));
  }
  DoEvents();
}

// The server keeps the pictures last sent, so an exposure costs no upload.
void XDrawnWindow::Handle(const XEvent& Event) {
  if (Event.type == Expose && Event.xexpose.window == window_ && Event.xexpose.count == 0) {
    Present();
  }
  if (Event.type == DestroyNotify && Event.xdestroywindow.window == window_) {
    throw DisplayLost("the window " + Hex(window_) + " was destroyed");
  }
}

void XDrawnWindow::Present() {
  Repaint(
      width_, height_, [this] { grays_->PaintWhite(width_, height_); },
      [this](const ImageSurface& Image, int Slot) {
        grays_->Paint(Slot, Image.Left(), Image.Top(), width_, height_);
      });
  XFlush(display_);
}
