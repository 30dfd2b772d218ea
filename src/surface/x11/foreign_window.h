// The animation in an X window that another client owns: the root window, a
// screensaver daemon's window, or any window by its id.
//
// What it promises, beyond what every X window of the program does
// (x_drawn_window.h):
//  - the size of that window as it is when the program starts;
//  - no input selected: keys and buttons belong to the window's owner (only
//    one client may take button presses on the root window), so the
//    animation never ends by itself.
#pragma once

#include <optional>

#include "surface/x11/x_drawn_window.h"

class ForeignWindow final : public XDrawnWindow {
 public:
  // Opens the display that DISPLAY names and takes the window Id, or the
  // root window of its default screen. Program names the program in
  // messages. Throws DisplayError when the window cannot show the pictures.
  ForeignWindow(RandomSource& Random, std::optional<Window> Id, const char* Program);

 protected:
  // The window is already shown; showing sends both pictures.
  void Show() override;
};
