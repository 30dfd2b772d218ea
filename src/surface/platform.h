// What the animation uses of its platform: the window with its two surfaces,
// event processing, the clock and the random source.
//
// The animation never waits or polls by itself: it asks for event processing
// by name, and a window delivers the events to the handlers it was run with.
#pragma once

#include "numbers.h"
#include "surface/surface.h"

// The window as designed: its title, and the size of its client area where
// the desktop leaves the choice to the program.
inline constexpr char kTitle[] = "Boska";
// The name a desktop knows the program's windows by (the X class, the
// Wayland application id, the Win32 window class), as its desktop entry
// says.
inline constexpr char kApplicationId[] = "boska";
inline constexpr int kDesignWidth = 494;
inline constexpr int kDesignHeight = 441;

// Timer counts from midnight up to just under this, then starts again.
inline constexpr double kSecondsPerDay = 86400;

// The window's event handlers.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;

  // The window has been shown and activated; runs until the program ends.
  virtual void Form_Activate() = 0;
  virtual void pb_KeyDown(Int16 Index, Int16 KeyCode, Int16 Shift) = 0;
  virtual void pb_MouseDown(Int16 Index, Int16 Button, Int16 Shift, Single X, Single Y) = 0;
};

// Thrown by End: unwinds whatever runs and ends the program normally.
struct ProgramEnd {};

[[noreturn]] inline void End() { throw ProgramEnd{}; }

class Platform {
 public:
  virtual ~Platform() = default;

  // Shows the window and, once it is active, hands over to
  // Handlers.Form_Activate. Every later event reaches Handlers from inside
  // DoEvents or WaitEvents.
  virtual void Run(WindowEvents& Handlers) = 0;

  // Width and height of the window's client area, in pixels.
  virtual Single ScaleWidth() = 0;
  virtual Single ScaleHeight() = 0;
  virtual Surface& pb(Int16 Index) = 0;

  // Handles every pending event, then returns.
  virtual void DoEvents() = 0;
  // Handles events as they come for at most Seconds, returning early after
  // one has been handled. Blocks instead of spinning.
  virtual void WaitEvents(double Seconds) = 0;

  // Seconds since midnight.
  virtual Single Timer() = 0;
  virtual void Randomize(Single Seed) = 0;
  // The next number of the program's one random sequence, in [0, 1).
  virtual Single Rnd() = 0;
};
