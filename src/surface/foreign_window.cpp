#include "surface/foreign_window.h"

#include <poll.h>

#include <cstdio>
#include <string>

#include "surface/clock.h"
#include "surface/display_server.h"

namespace {

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
    throw DisplayError(std::string("cannot open display: ") +
                       (*name != '\0' ? name : "DISPLAY is not set"));
  }
  EndOnX11Faults(Program);
  return display;
}

}  // namespace

ForeignWindow::ForeignWindow(RandomSource& Random, std::optional<Window> Id, const char* Program)
    : PictureWindow(Random), display_(OpenDisplay(Program)) {
  window_ = Id.value_or(DefaultRootWindow(display_));
  XWindowAttributes attributes;
  XGetWindowAttributes(display_, window_, &attributes);
  width_ = attributes.width;
  height_ = attributes.height;
  grays_ = std::make_unique<XGrays>(display_, window_, attributes.visual);
  XSelectInput(display_, window_, ExposureMask | StructureNotifyMask);
}

// Closing the connection frees what the server holds for it.
ForeignWindow::~ForeignWindow() {
  ClosingWindow();
  grays_.reset();
  XCloseDisplay(display_);
}

void ForeignWindow::Run(WindowEvents& Handlers) {
  for (const int index : {0, 1}) Send(index);
  Show();
  Handlers.Form_Activate();
}

void ForeignWindow::Raised(int Index) {
  Send(Index);
  Show();
}

void ForeignWindow::Send(int Index) {
  const ImageSurface& surface = Image(static_cast<std::int16_t>(Index));
  grays_->Send(Index, surface.Rows(), surface.Ink());
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
    pollfd connection{ConnectionNumber(display_), POLLIN, 0};
    poll(&connection, 1, WaitMilliseconds(Seconds));
  }
  DoEvents();
}

Single ForeignWindow::Timer() { return static_cast<float>(SecondsSinceMidnight()); }

// The server keeps the pictures last sent, so an exposure costs no upload.
void ForeignWindow::Handle(const XEvent& Event) {
  if (Event.type == Expose && Event.xexpose.window == window_ && Event.xexpose.count == 0) Show();
  if (Event.type == DestroyNotify && Event.xdestroywindow.window == window_) {
    throw DisplayError("the window " + Hex(window_) + " was destroyed");
  }
}

void ForeignWindow::Show() {
  const auto paint = [this](const ImageSurface& Image, int Index) {
    grays_->Paint(Index, Image.Left(), Image.Top());
  };
  if (!FrontCovers(width_, height_)) {
    grays_->PaintWhite(width_, height_);
    paint(BackImage(), 1 - FrontIndex().Value());
  }
  paint(FrontImage(), FrontIndex().Value());
  XFlush(display_);
}
