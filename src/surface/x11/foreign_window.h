// The animation in an X window that another client owns: the root window, a
// screensaver daemon's window, or any window by its id.
//
// What it promises:
//  - the size of that window as it is when the program starts;
//  - the surface in front shown in the window, and repainted whenever the
//    window is exposed (x_grays.h);
//  - no input selected: keys and buttons belong to the window's owner (only
//    one client may take button presses on the root window), so the
//    animation never ends by itself;
//  - the window destroyed, or the display lost, ends the program with one
//    line and status 1;
//  - a wait for events that sleeps on the connection instead of polling.
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <optional>

#include "surface/picture_window.h"
#include "surface/x11/x_faults.h"
#include "surface/x11/x_grays.h"

class ForeignWindow final : public PictureWindow {
 public:
  // Opens the display that DISPLAY names and takes the window Id, or the
  // root window of its default screen. Program names the program in
  // messages. Throws DisplayError when the window cannot show the pictures.
  ForeignWindow(RandomSource& Random, std::optional<Window> Id, const char* Program);
  ~ForeignWindow() override;

  Single ScaleWidth() override { return static_cast<float>(width_); }
  Single ScaleHeight() override { return static_cast<float>(height_); }
  void DoEvents() override;
  void WaitEvents(double Seconds) override;

 protected:
  // The window is already shown; showing sends both pictures.
  void Show() override;
  void Present() override;
  void Raised(int Index) override;

 private:
  void Handle(const XEvent& Event);
  void Send(int Index);

  XFaults faults_;
  Display* display_;
  Window window_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::unique_ptr<XGrays> grays_;
};
