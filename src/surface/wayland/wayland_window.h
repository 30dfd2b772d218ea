// The real window f on a Wayland compositor, through libwayland alone: the
// program's window, or a screensaver or a wallpaper over every output.
//
// What it promises:
//  - as a window, an xdg toplevel titled "Boska" with the application id
//    "boska", no smaller and no larger than 494 × 441, so that a tiling
//    compositor floats it; no frame: it asks for client-side decoration, so
//    that a compositor that would draw one draws none, and draws none
//    itself;
//  - as a screensaver, a layer surface on the overlay layer of every
//    output, taking the keyboard, the pointer hidden; where the compositor
//    has no layer shell, a full-screen toplevel instead; as a wallpaper, one
//    on the background layer of every output that takes no input at all;
//  - one animation over the outputs' layout, as over a screen of several
//    monitors, each output showing its part; outputs that come while it runs
//    are covered, outputs that go are let go;
//  - the client area that the compositor's first configure gives it, or the
//    design size where the compositor leaves the choice to the program;
//  - each surface (wayland_pane.h) white, scaled up from one pixel, under
//    bands of rows that show the persistent image in front through
//    subsurfaces just large enough for the ink in them: buffers in shared
//    memory (shm_bands.h) that hold the ink and little more, never written
//    while the compositor holds them;
//  - key presses and button presses of every seat (wayland_seats.h),
//    delivered to the handlers of the surface in front; the compositor
//    closing the window ends the program; a screensaver also ends when the
//    pointer moves more than a few pixels or the compositor closes one of
//    its layers for another reason than its output going;
//  - a buffer scale that follows the outputs (wayland_outputs.h) each
//    surface is on;
//  - a wait for events that sleeps on the connection (wayland_connection.h);
//    the compositor gone, or a protocol error, is a run-time error that
//    ends the program with one line and status 1; SIGTERM and SIGINT end it
//    with status 0;
//  - listeners that only record what happened: after each dispatch one
//    step (Settle) acts on it, in the order it chooses.
// What it leaves out: resizing (the animation keeps the size it found at
// start-up).
// On an output with a scale of 2 or more a surface keeps its size in the
// compositor's units and its buffer is that many pixels to each of the
// animation's, each one repeated: the compositor shows it without
// resampling, so the picture is as sharp as on an output of scale 1.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "surface/picture_window.h"
#include "surface/wayland/shm_bands.h"
#include "surface/wayland/wayland_connection.h"
#include "surface/wayland/wayland_outputs.h"
#include "surface/wayland/wayland_pane.h"
#include "surface/wayland/wayland_seats.h"

// What a Wayland window is to the desktop.
enum class WaylandRole {
  Window,       // the program's window, of the design size
  FullScreen,   // a toplevel that the compositor makes full screen
  Screensaver,  // over every output, or FullScreen without a layer shell
  Wallpaper,    // under everything on every output; needs a layer shell
};

class WaylandWindow final : public PictureWindow {
 public:
  // Connects to the compositor that WAYLAND_DISPLAY names. Throws
  // DisplayError when no compositor answers or it lacks what the role
  // needs.
  explicit WaylandWindow(RandomSource& Random, WaylandRole Role = WaylandRole::Window);
  ~WaylandWindow() override;

  Single ScaleWidth() override { return static_cast<float>(width_); }
  Single ScaleHeight() override { return static_cast<float>(height_); }
  void DoEvents() override;
  void WaitEvents(double Seconds) override;

 protected:
  void Show() override;
  void Present() override;

 private:
  bool Layered() const {
    return role_ == WaylandRole::Screensaver || role_ == WaylandRole::Wallpaper;
  }
  bool EndsOnMotion() const { return role_ != WaylandRole::Window; }
  using Pane = WaylandPane;
  void Settle();
  void TakeGlobals();
  void TakeInput();
  void LetClosedPanesGo();
  void Toplevel();
  void Cover(const WaylandOutput& Screen);
  Pane& NewPane(const WaylandOutput* Screen);
  void Configured(Pane& Surface, int Width, int Height);
  void Place(Pane& Layer);
  void FollowScale(Pane& Surface);
  std::optional<AnimationPoint> Locate(const wl_surface* Surface, double X, double Y) const;
  void Present(Pane& Surface);

  WaylandRole role_;
  // The connection comes first, so that it goes last, after everything
  // made on it.
  WaylandConnection connection_;
  // One white pixel, which the viewporter stretches over every surface.
  std::unique_ptr<ShmBuffer> white_;
  WaylandSeats seats_;
  WaylandOutputs outputs_;
  std::vector<std::unique_ptr<Pane>> panes_;
  bool shown_ = false;
  bool laid_out_ = false;
  // The size of the animation, and where its top left lies in the
  // compositor's layout of the outputs.
  int width_ = kDesignWidth;
  int height_ = kDesignHeight;
  int left_ = 0;
  int top_ = 0;
};
