// One surface of the Wayland window: a toplevel, or a layer over one output;
// its role, what the compositor says of it, and how it shows the pictures.
//
// What it promises: nothing attached before the first configure; the
// surface white, scaled up from one pixel, under bands of rows that show
// the pictures through subsurfaces just large enough for the ink in them;
// no buffer written while the compositor holds it (a present waits, pending,
// until one is free). Its listeners only record, for the window's Settle.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "surface/wayland/shm_bands.h"
#include "surface/wayland/wayland_connection.h"
#include "surface/wayland/wayland_outputs.h"

struct wl_callback;
struct wl_subsurface;
struct wl_surface;
struct wp_viewport;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;
struct zxdg_toplevel_decoration_v1;

struct WaylandPane {
  // Rows of the surface, shown through a subsurface of their own.
  struct Band;

  // A surface for a toplevel, or for a layer over Screen.
  WaylandPane(const WaylandConnection& Connection, const WaylandOutput* Screen);
  ~WaylandPane();
  WaylandPane(const WaylandPane&) = delete;
  WaylandPane& operator=(const WaylandPane&) = delete;

  // A toplevel titled and named as the program, of the design size or
  // full screen.
  void BecomeToplevel(const WaylandConnection& Connection, bool FullScreen);
  // A layer over the whole of its output: the background layer taking no
  // input for a wallpaper, else the overlay layer taking the keyboard.
  void BecomeLayer(const WaylandConnection& Connection, bool Wallpaper);
  // Lets its bands go, to be made anew by the next present (for a new
  // place or scale).
  void DropBands();
  // Acknowledges the configure the compositor sent, if it sent one since
  // the last call.
  bool AcknowledgeConfigure();
  // Shows the Painted pictures, the first over the whole of each band's ink
  // and each later one over its own rectangle, the pane lying at Shown of
  // the window; pending instead while a band's every buffer is held.
  void Present(const WaylandConnection& Connection, const ShmBuffer& White, const Box& Shown,
               std::span<const ImageSurface* const> Painted);

  // The output that a layer covers; none for a toplevel.
  const WaylandOutput* screen;
  wl_surface* surface = nullptr;
  wp_viewport* viewport = nullptr;
  xdg_surface* shell = nullptr;
  xdg_toplevel* toplevel = nullptr;
  zxdg_toplevel_decoration_v1* decoration = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  // Where it lies in the compositor's layout (a toplevel at 0, 0), once
  // configured.
  Box place;
  // The size that a toplevel's configure proposes; a layer's size.
  int proposed_width = 0, proposed_height = 0;
  int layer_width = 0, layer_height = 0;
  // The outputs that it is on, and its bands' pixels to one of the
  // animation's, each way.
  std::vector<const wl_output*> entered;
  int scale = 1;
  bool configured = false;
  // The white is stretched over its place.
  bool backed = false;
  // A present that found every buffer of a band held, to be made once one
  // is free.
  bool pending = false;
  // What the compositor said since the last Settle: the serial of a
  // configure to acknowledge, the outputs that it is on changed, the
  // toplevel asked to close, the layer closed for good.
  std::optional<std::uint32_t> configure;
  bool moved = false;
  bool asked_to_close = false;
  bool closed = false;
  // The compositor asked for a frame since the pane last presented one
  // (the frame callback of that present): something of it is shown.
  bool frame_wanted = true;
  wl_callback* frame = nullptr;
  std::vector<std::unique_ptr<Band>> bands;

 private:
  // Input goes through Surface to what lies under it.
  static void TakeNoInput(const WaylandConnection& Connection, wl_surface* Surface);
  void Divide(const WaylandConnection& Connection, const Box& Shown);
  void Show(const WaylandConnection& Connection, Band& Rows, const Box& Shown,
            std::span<const ImageSurface* const> Painted);
  void Back(const ShmBuffer& White);
};
