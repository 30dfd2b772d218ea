// The real window f on an X server, through Xlib.
//
// What it promises, beyond what every X window of the program does
// (x_drawn_window.h):
//  - a window titled "Boska" (_NET_WM_NAME and WM_NAME), class "boska", as
//    the desktop entry's StartupWMClass expects, without a frame
//    (_MOTIF_WM_HINTS), with the program's icon (_NET_WM_ICON and WM_HINTS);
//  - 494 × 441 at the least and the most, centred on the monitor under the
//    pointer (RandR's monitors of the screen that DISPLAY names); as the
//    screensaver's full screen, that whole monitor, asked full screen of
//    the window manager;
//  - the size that the window has once mapped, which a window manager may
//    have imposed, as the animation's;
//  - key presses and button presses (the click that focuses it included)
//    delivered to the handlers of the surface in front; the wheel is no
//    button; the window manager closing it ends the program;
//  - SIGTERM and SIGINT ending the program with status 0;
//  - a palette screen refused with one line that names its depth.
// What it leaves out: resizing (the animation keeps the size it found at
// start-up).
#pragma once

#include "surface/x11/x_drawn_window.h"

class XWindow final : public XDrawnWindow {
 public:
  // Opens the display that DISPLAY names and makes the window, not yet
  // mapped. Program names the program in messages. Throws DisplayError when
  // no display can be opened or its screen has no true colour.
  XWindow(RandomSource& Random, const char* Program, bool FullScreen = false);

 protected:
  void Show() override;
  void Handle(const XEvent& Event) override;

 private:
  void SetStandardHints(bool FullScreen, const Visual& Look, int Bits);
  void SetDesktopProperties(bool FullScreen);

  Atom protocols_;
  Atom delete_window_;
};
