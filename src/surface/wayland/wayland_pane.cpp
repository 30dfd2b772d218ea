#include "surface/wayland/wayland_pane.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "surface/platform.h"
#include "surface/wayland/wayland_protocols.h"

struct WaylandPane::Band {
  wl_surface* surface = nullptr;
  wl_subsurface* subsurface = nullptr;
  // Its rows of the window, all the way across its surface.
  Box area;
  // The box of the window that it shows, empty while it shows nothing; the
  // box that the next present will show.
  Box shown, wanted;
  BufferRing<ShmBuffer> buffers;

  ~Band() {
    wl_subsurface_destroy(subsurface);
    wl_surface_destroy(surface);
  }
  ShmBuffer* FreeBuffer(wl_shm* Shm, int Scale) {
    return buffers.Free([&] {
      return std::make_unique<ShmBuffer>(
          Shm,
          std::size_t(area.Width()) * std::size_t(area.Height()) * std::size_t(Scale * Scale) * 4);
    });
  }
};

namespace {

using Pane = WaylandPane;

// The surfaces' C callbacks: they only record what happened, for Settle.
void SurfaceConfigure(void* Data, xdg_surface*, std::uint32_t Serial) {
  static_cast<Pane*>(Data)->configure = Serial;
}
constexpr xdg_surface_listener kSurface{SurfaceConfigure};

void ToplevelConfigure(void* Data, xdg_toplevel*, std::int32_t Width, std::int32_t Height,
                       wl_array*) {
  auto* pane = static_cast<Pane*>(Data);
  pane->proposed_width = Width;
  pane->proposed_height = Height;
}
void Close(void* Data, xdg_toplevel*) { static_cast<Pane*>(Data)->asked_to_close = true; }
constexpr xdg_toplevel_listener kToplevel{ToplevelConfigure, Close, Ignore, Ignore};

constexpr zxdg_toplevel_decoration_v1_listener kDecoration{Ignore};

void LayerConfigure(void* Data, zwlr_layer_surface_v1*, std::uint32_t Serial, std::uint32_t Width,
                    std::uint32_t Height) {
  auto* pane = static_cast<Pane*>(Data);
  pane->configure = Serial;
  pane->proposed_width = int(Width);
  pane->proposed_height = int(Height);
}
void LayerClosed(void* Data, zwlr_layer_surface_v1*) { static_cast<Pane*>(Data)->closed = true; }
constexpr zwlr_layer_surface_v1_listener kLayer{LayerConfigure, LayerClosed};

// The compositor would show a new frame of the pane: some of it is seen.
void FrameWanted(void* Data, wl_callback*, std::uint32_t) {
  static_cast<Pane*>(Data)->frame_wanted = true;
}
constexpr wl_callback_listener kFrame{FrameWanted};

void OnOutput(void* Data, wl_surface*, wl_output* Output) {
  auto* pane = static_cast<Pane*>(Data);
  pane->entered.push_back(Output);
  pane->moved = true;
}
void OffOutput(void* Data, wl_surface*, wl_output* Output) {
  auto* pane = static_cast<Pane*>(Data);
  std::erase(pane->entered, Output);
  pane->moved = true;
}
// Its handlers set by name: a newer libwayland's table has members for
// events of versions newer than the one bound, which are never sent.
constexpr wl_surface_listener kWlSurface = [] {
  wl_surface_listener listener{};
  listener.enter = OnOutput;
  listener.leave = OffOutput;
  return listener;
}();

}  // namespace

WaylandPane::WaylandPane(const WaylandConnection& Connection, const WaylandOutput* Screen)
    : screen(Screen) {
  surface = wl_compositor_create_surface(Connection.Compositor());
  wl_surface_add_listener(surface, &kWlSurface, this);
  viewport = wp_viewporter_get_viewport(Connection.Viewporter(), surface);
}

WaylandPane::~WaylandPane() {
  if (frame != nullptr) wl_callback_destroy(frame);
  bands.clear();
  if (layer != nullptr) zwlr_layer_surface_v1_destroy(layer);
  if (decoration != nullptr) zxdg_toplevel_decoration_v1_destroy(decoration);
  if (toplevel != nullptr) xdg_toplevel_destroy(toplevel);
  if (shell != nullptr) xdg_surface_destroy(shell);
  wp_viewport_destroy(viewport);
  wl_surface_destroy(surface);
}

void WaylandPane::BecomeToplevel(const WaylandConnection& Connection, bool FullScreen) {
  shell = xdg_wm_base_get_xdg_surface(Connection.WmBase(), surface);
  xdg_surface_add_listener(shell, &kSurface, this);
  toplevel = xdg_surface_get_toplevel(shell);
  xdg_toplevel_add_listener(toplevel, &kToplevel, this);
  xdg_toplevel_set_title(toplevel, kTitle);
  xdg_toplevel_set_app_id(toplevel, kApplicationId);
  if (FullScreen) {
    xdg_toplevel_set_fullscreen(toplevel, nullptr);
  } else {
    xdg_toplevel_set_min_size(toplevel, kDesignWidth, kDesignHeight);
    xdg_toplevel_set_max_size(toplevel, kDesignWidth, kDesignHeight);
  }
  if (Connection.Decorations() != nullptr) {
    decoration =
        zxdg_decoration_manager_v1_get_toplevel_decoration(Connection.Decorations(), toplevel);
    zxdg_toplevel_decoration_v1_add_listener(decoration, &kDecoration, this);
    zxdg_toplevel_decoration_v1_set_mode(decoration, ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
  }
  wl_surface_commit(surface);
}

void WaylandPane::BecomeLayer(const WaylandConnection& Connection, bool Wallpaper) {
  layer = zwlr_layer_shell_v1_get_layer_surface(
      Connection.LayerShell(), surface, screen->output,
      Wallpaper ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
      kApplicationId);
  zwlr_layer_surface_v1_add_listener(layer, &kLayer, this);
  zwlr_layer_surface_v1_set_anchor(
      layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                 ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
  if (Wallpaper) {
    TakeNoInput(Connection, surface);
  } else {
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
  }
  wl_surface_commit(surface);
}

void WaylandPane::TakeNoInput(const WaylandConnection& Connection, wl_surface* Surface) {
  wl_region* nowhere = wl_compositor_create_region(Connection.Compositor());
  wl_surface_set_input_region(Surface, nowhere);
  wl_region_destroy(nowhere);
}

void WaylandPane::DropBands() { bands.clear(); }

bool WaylandPane::AcknowledgeConfigure() {
  const std::optional<std::uint32_t> serial = std::exchange(configure, std::nullopt);
  if (!serial) return false;
  if (layer != nullptr) {
    zwlr_layer_surface_v1_ack_configure(layer, *serial);
  } else {
    xdg_surface_ack_configure(shell, *serial);
  }
  return true;
}

void WaylandPane::Present(const WaylandConnection& Connection, const ShmBuffer& White,
                          const Box& Shown, std::span<const ImageSurface* const> Painted) {
  if (bands.empty()) Divide(Connection, Shown);
  pending = false;
  for (const std::unique_ptr<Band>& band : bands) {
    band->wanted = {};
    for (const ImageSurface* image : Painted)
      band->wanted = band->wanted.Hull(InkIn(*image, band->area));
    if (!band->wanted.Empty() && band->FreeBuffer(Connection.Shm(), scale) == nullptr) {
      pending = true;
    }
  }
  if (pending) return;
  for (const std::unique_ptr<Band>& band : bands) Show(Connection, *band, Shown, Painted);
  Back(White);
  if (frame != nullptr) wl_callback_destroy(frame);
  frame = wl_surface_frame(surface);
  wl_callback_add_listener(frame, &kFrame, this);
  frame_wanted = false;
  wl_surface_commit(surface);
}

// Bands across the whole of the surface, which lies at Shown of the window.
void WaylandPane::Divide(const WaylandConnection& Connection, const Box& Shown) {
  for (const Box& area : BandAreas(Shown)) {
    Band& band = *bands.emplace_back(std::make_unique<Band>());
    band.area = area;
    band.surface = wl_compositor_create_surface(Connection.Compositor());
    TakeNoInput(Connection, band.surface);
    if (scale > 1) wl_surface_set_buffer_scale(band.surface, scale);
    band.subsurface =
        wl_subcompositor_get_subsurface(Connection.Subcompositor(), band.surface, surface);
  }
}

// Shows the band's wanted box of the pictures, or nothing where it has no
// ink. The surface under it is damaged where the band was too, since not
// every compositor repaints what a subsurface no longer covers.
void WaylandPane::Show(const WaylandConnection& Connection, Band& Rows, const Box& Shown,
                       std::span<const ImageSurface* const> Painted) {
  const Box old = Rows.shown.Offset(-Shown.Left, -Shown.Top);
  if (!old.Empty()) {
    wl_surface_damage(surface, old.Left, old.Top, old.Width(), old.Height());
  }
  if (Rows.wanted.Empty()) {
    if (!Rows.shown.Empty()) {
      wl_surface_attach(Rows.surface, nullptr, 0, 0);
      wl_surface_commit(Rows.surface);
    }
    Rows.shown = {};
    return;
  }
  ShmBuffer& buffer = *Rows.FreeBuffer(Connection.Shm(), scale);
  buffer.Shape(Rows.wanted, scale);
  for (std::size_t i = 0; i < Painted.size(); ++i) {
    const ImageSurface& image = *Painted[i];
    const PixelRows pixels = image.Rows();
    const Box rectangle = Box{0, 0, pixels.Width, pixels.Height}.Offset(image.Left(), image.Top());
    Convert(buffer.Pixels(), pixels, image.Left(), image.Top(),
            i == 0 ? Rows.wanted : rectangle.Meet(Rows.wanted));
  }
  wl_surface_attach(Rows.surface, buffer.Buffer(), 0, 0);
  wl_surface_damage(Rows.surface, 0, 0, INT32_MAX, INT32_MAX);
  wl_surface_commit(Rows.surface);
  wl_subsurface_set_position(Rows.subsurface, Rows.wanted.Left - Shown.Left,
                             Rows.wanted.Top - Shown.Top);
  buffer.busy = true;
  Rows.shown = Rows.wanted;
}

// The white pixel in the middle of a white 3 × 3, stretched over the
// surface's place: a compositor that filters as it stretches finds white
// around it too.
void WaylandPane::Back(const ShmBuffer& White) {
  if (backed) return;
  wl_surface_attach(surface, White.Buffer(), 0, 0);
  wp_viewport_set_source(viewport, wl_fixed_from_int(1), wl_fixed_from_int(1), wl_fixed_from_int(1),
                         wl_fixed_from_int(1));
  const int width = place.Width();
  const int height = place.Height();
  wp_viewport_set_destination(viewport, width, height);
  // A toplevel is the white surface, whatever its bands: Weston takes a
  // band's new place with its old size in the bounds it would use instead.
  if (shell != nullptr) xdg_surface_set_window_geometry(shell, 0, 0, width, height);
  wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
  backed = true;
}
