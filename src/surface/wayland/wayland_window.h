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
//  - each surface white, scaled up from one pixel, under bands of rows
//    that show the persistent image in front through subsurfaces just large
//    enough for the ink in them: buffers in shared memory that hold the ink
//    and little more, never written while the compositor holds them;
//  - key presses and button presses of every seat, as seats, keyboards and
//    pointers come and go, delivered to the handlers of the surface in
//    front; the compositor closing the window ends the program; a
//    screensaver also ends when the pointer moves more than a few pixels or
//    the compositor closes one of its layers for another reason than its
//    output going;
//  - a buffer scale that follows the outputs each surface is on;
//  - a wait for events that sleeps on the connection and answers the
//    compositor's pings meanwhile;
//  - the compositor gone, or a protocol error, ends the program with one
//    line and status 1; SIGTERM and SIGINT end it with status 0.
// What it leaves out: resizing (the animation keeps the size it found at
// start-up), keymaps (any key ends the animation, so the key's code is
// enough).
// On an output with a scale of 2 or more a surface keeps its size in the
// compositor's units and its buffer is that many pixels to each of the
// animation's, each one repeated: the compositor shows it without
// resampling, so the picture is as sharp as on an output of scale 1.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "surface/picture_window.h"

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct wl_subcompositor;
struct wl_surface;
struct wp_viewporter;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zxdg_decoration_manager_v1;
struct zxdg_output_manager_v1;

struct WaylandListeners;

// Lets a proxy go, or the connection itself.
struct WaylandRelease {
  void operator()(wl_display* Display) const;
  void operator()(wl_registry* Registry) const;
  void operator()(wl_compositor* Compositor) const;
  void operator()(wl_shm* Shm) const;
  void operator()(wl_subcompositor* Subcompositor) const;
  void operator()(wp_viewporter* Viewporter) const;
  void operator()(xdg_wm_base* Base) const;
  void operator()(zxdg_decoration_manager_v1* Manager) const;
  void operator()(zwlr_layer_shell_v1* Shell) const;
  void operator()(zxdg_output_manager_v1* Manager) const;
};
template <typename Proxy>
using WaylandHeld = std::unique_ptr<Proxy, WaylandRelease>;

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
  friend struct WaylandListeners;

  // One input seat with its keyboard and pointer, while it has them.
  struct Seat;
  // An output, with its scale and its place in the layout.
  struct Output;
  // A buffer in shared memory, with what it shows.
  struct Buffer;
  // Rows of a surface, shown through a subsurface of their own.
  struct Band;
  // One surface of the window, on an output or where the compositor puts it.
  struct Pane;

  bool Layered() const {
    return role_ == WaylandRole::Screensaver || role_ == WaylandRole::Wallpaper;
  }
  bool EndsOnMotion() const { return role_ != WaylandRole::Window; }
  void Dispatch(int TimeoutMs);
  Pane& NewPane(const Output* Screen);
  void TakeNoInput(wl_surface* Surface);
  [[noreturn]] void Lost();
  void Forget(std::uint32_t Name);
  void Cover(Output& Screen);
  void Configured(Pane& Surface, int Width, int Height);
  void Place(Pane& Layer);
  void LetClosedPanesGo();
  void FollowScale(Pane& Surface);
  Pane* PaneOf(const wl_surface* Surface);
  void Present(Pane& Surface);
  void Divide(Pane& Surface, const Box& Shown);
  void Show(Pane& Surface, Band& Rows, const Box& Shown,
            const std::array<const ImageSurface*, 2>& Painted, std::size_t Count);
  void Back(Pane& Surface);

  WaylandRole role_;
  std::string name_;
  // The connection and the globals bound on it come first, so that they go
  // last, after everything made on them.
  WaylandHeld<wl_display> display_;
  WaylandHeld<wl_registry> registry_;
  WaylandHeld<wl_compositor> compositor_;
  std::uint32_t compositor_version_ = 0;
  WaylandHeld<wl_shm> shm_;
  WaylandHeld<wl_subcompositor> subcompositor_;
  WaylandHeld<wp_viewporter> viewporter_;
  WaylandHeld<xdg_wm_base> wm_base_;
  WaylandHeld<zxdg_decoration_manager_v1> decorations_;
  WaylandHeld<zwlr_layer_shell_v1> layer_shell_;
  WaylandHeld<zxdg_output_manager_v1> output_manager_;
  // One white pixel, which the viewporter stretches over every surface.
  std::unique_ptr<Buffer> white_;
  std::vector<std::unique_ptr<Seat>> seats_;
  std::vector<std::unique_ptr<Output>> outputs_;
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
