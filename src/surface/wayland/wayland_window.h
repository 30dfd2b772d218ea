// The real window f on a Wayland compositor, through libwayland alone.
//
// What it promises:
//  - an xdg toplevel titled "Boska" with the application id "boska", no
//    smaller and no larger than 494 × 441, so that a tiling compositor
//    floats it; no frame: it asks for client-side decoration, so that a
//    compositor that would draw one draws none, and draws none itself;
//  - the client area that the compositor's first configure gives it, or the
//    design size where the compositor leaves the choice to the program;
//  - the surface in front shown from its persistent image through buffers
//    in shared memory, converting and damaging only what may have changed,
//    never writing into a buffer that the compositor still holds;
//  - key presses and button presses of every seat, as seats, keyboards and
//    pointers come and go, delivered to the handlers of the surface in
//    front; the compositor closing the window ends the program;
//  - a buffer scale that follows the outputs the surface is on;
//  - a wait for events that sleeps on the connection and answers the
//    compositor's pings meanwhile;
//  - the compositor gone, or a protocol error, ends the program with one
//    line and status 1; SIGTERM and SIGINT end it with status 0.
// What it leaves out: resizing (the animation keeps the size it found at
// start-up), keymaps (any key ends the animation, so the key's code is
// enough).
// On an output with a scale of 2 or more the window keeps its size in the
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

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct wl_surface;
struct xdg_surface;
struct xdg_toplevel;
struct xdg_wm_base;
struct zxdg_decoration_manager_v1;
struct zxdg_toplevel_decoration_v1;

struct WaylandListeners;

class WaylandWindow final : public PictureWindow {
 public:
  // Connects to the compositor that WAYLAND_DISPLAY names. Program names the
  // program in messages. Throws DisplayError when no compositor answers or
  // it lacks what the window needs.
  WaylandWindow(RandomSource& Random, const char* Program);
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
  // An output, with the scale that it announces.
  struct Output;
  // A buffer in shared memory, with what it shows.
  struct Buffer;

  void Dispatch(int TimeoutMs);
  [[noreturn]] void Lost();
  Buffer* FreeBuffer();
  void Forget(std::uint32_t Name);
  void FollowScale();

  const char* program_;
  std::string name_;
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  std::uint32_t compositor_version_ = 0;
  wl_shm* shm_ = nullptr;
  xdg_wm_base* wm_base_ = nullptr;
  zxdg_decoration_manager_v1* decorations_ = nullptr;
  std::vector<std::unique_ptr<Seat>> seats_;
  std::vector<std::unique_ptr<Output>> outputs_;
  // The outputs that the surface is on.
  std::vector<const wl_output*> entered_;
  // Pixels of the buffers to one of the animation's, each way.
  int scale_ = 1;
  wl_surface* surface_ = nullptr;
  xdg_surface* xdg_surface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  zxdg_toplevel_decoration_v1* decoration_ = nullptr;
  int width_ = kDesignWidth;
  int height_ = kDesignHeight;
  // The size that the toplevel's configure proposes, taken at the first.
  int proposed_width_ = 0;
  int proposed_height_ = 0;
  bool configured_ = false;
  // A present that found every buffer held, to be made once one is free.
  bool present_pending_ = false;
  std::array<std::unique_ptr<Buffer>, 3> buffers_;
};
