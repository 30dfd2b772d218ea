#include "surface/wayland/wayland_window.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "surface/display.h"
#include "surface/wayland/wayland_protocols.h"

struct WaylandWindow::Band {
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
      return std::make_unique<ShmBuffer>(Shm, std::size_t(area.Width()) *
                                                  std::size_t(area.Height()) *
                                                  std::size_t(Scale * Scale) * 4);
    });
  }
};

struct WaylandWindow::Pane {
  // The output that a layer covers; none for a toplevel.
  const WaylandOutput* screen = nullptr;
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
  // configure to acknowledge (a layer's with its size), the outputs that
  // it is on changed, the toplevel asked to close, the layer closed for
  // good.
  std::optional<std::uint32_t> configure;
  bool moved = false;
  bool asked_to_close = false;
  bool closed = false;
  std::vector<std::unique_ptr<Band>> bands;

  ~Pane() {
    bands.clear();
    if (layer != nullptr) zwlr_layer_surface_v1_destroy(layer);
    if (decoration != nullptr) zxdg_toplevel_decoration_v1_destroy(decoration);
    if (toplevel != nullptr) xdg_toplevel_destroy(toplevel);
    if (shell != nullptr) xdg_surface_destroy(shell);
    wp_viewport_destroy(viewport);
    wl_surface_destroy(surface);
  }
};

namespace {

using Pane = WaylandWindow::Pane;

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

WaylandWindow::WaylandWindow(RandomSource& Random, WaylandRole Role)
    : PictureWindow(Random), role_(Role) {
  if (role_ == WaylandRole::Wallpaper && connection_.LayerShell() == nullptr) {
    throw DisplayError("the compositor gives no layer shell for a wallpaper");
  }
  if (role_ == WaylandRole::Screensaver && connection_.LayerShell() == nullptr) {
    role_ = WaylandRole::FullScreen;
  }
  // The outputs asked where they lie now, so that a layered window's first
  // round trip brings their places.
  TakeGlobals();
  outputs_.Settle(connection_.OutputManager());
  EndOnSignals();
}

WaylandWindow::~WaylandWindow() = default;

// A toplevel, or a layer on every output once the outputs have said where
// they lie. Nothing is attached before the first configure; the window is
// activated once every surface has had one.
void WaylandWindow::Show() {
  shown_ = true;
  if (!Layered()) return Toplevel();
  connection_.Roundtrip();
  Settle();
  for (const std::unique_ptr<WaylandOutput>& output : outputs_.All()) Cover(*output);
}

void WaylandWindow::Toplevel() {
  Pane& pane = NewPane(nullptr);
  pane.shell = xdg_wm_base_get_xdg_surface(connection_.WmBase(), pane.surface);
  xdg_surface_add_listener(pane.shell, &kSurface, &pane);
  pane.toplevel = xdg_surface_get_toplevel(pane.shell);
  xdg_toplevel_add_listener(pane.toplevel, &kToplevel, &pane);
  xdg_toplevel_set_title(pane.toplevel, kTitle);
  xdg_toplevel_set_app_id(pane.toplevel, kApplicationId);
  if (role_ == WaylandRole::FullScreen) {
    xdg_toplevel_set_fullscreen(pane.toplevel, nullptr);
  } else {
    xdg_toplevel_set_min_size(pane.toplevel, kDesignWidth, kDesignHeight);
    xdg_toplevel_set_max_size(pane.toplevel, kDesignWidth, kDesignHeight);
  }
  if (connection_.Decorations() != nullptr) {
    pane.decoration =
        zxdg_decoration_manager_v1_get_toplevel_decoration(connection_.Decorations(), pane.toplevel);
    zxdg_toplevel_decoration_v1_add_listener(pane.decoration, &kDecoration, &pane);
    zxdg_toplevel_decoration_v1_set_mode(pane.decoration,
                                         ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
  }
  wl_surface_commit(pane.surface);
}

// A layer over the whole of Screen, unless it has one: the overlay layer
// taking the keyboard for a screensaver, the background layer taking no
// input for a wallpaper.
void WaylandWindow::Cover(const WaylandOutput& Screen) {
  const bool covered = std::ranges::any_of(
      panes_, [&](const std::unique_ptr<Pane>& pane) { return pane->screen == &Screen; });
  if (!shown_ || !Layered() || covered) return;
  Pane& pane = NewPane(&Screen);
  const bool wallpaper = role_ == WaylandRole::Wallpaper;
  pane.layer = zwlr_layer_shell_v1_get_layer_surface(
      connection_.LayerShell(), pane.surface, Screen.output,
      wallpaper ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
      kApplicationId);
  zwlr_layer_surface_v1_add_listener(pane.layer, &kLayer, &pane);
  zwlr_layer_surface_v1_set_anchor(
      pane.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                      ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(pane.layer, -1);
  if (wallpaper) {
    TakeNoInput(pane.surface);
  } else {
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        pane.layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
  }
  wl_surface_commit(pane.surface);
}

WaylandWindow::Pane& WaylandWindow::NewPane(const WaylandOutput* Screen) {
  Pane& pane = *panes_.emplace_back(std::make_unique<Pane>());
  pane.screen = Screen;
  pane.surface = wl_compositor_create_surface(connection_.Compositor());
  wl_surface_add_listener(pane.surface, &kWlSurface, &pane);
  pane.viewport = wp_viewporter_get_viewport(connection_.Viewporter(), pane.surface);
  return pane;
}

// Input goes through the surface to what lies under it.
void WaylandWindow::TakeNoInput(wl_surface* Surface) {
  wl_region* nowhere = wl_compositor_create_region(connection_.Compositor());
  wl_surface_set_input_region(Surface, nowhere);
  wl_region_destroy(nowhere);
}

void WaylandWindow::DoEvents() {
  connection_.Dispatch(0);
  Settle();
}

void WaylandWindow::WaitEvents(double Seconds) {
  connection_.Dispatch(WaitMilliseconds(Seconds));
  Settle();
}

// Acts on what the listeners recorded during dispatch: the seats and
// outputs that came and went, the outputs that said where they lie, the
// configures, the scales, the closed surfaces; then makes the presents
// that found every buffer held and delivers the input.
void WaylandWindow::Settle() {
  TakeGlobals();
  const WaylandOutputs::Changes changes = outputs_.Settle(connection_.OutputManager());
  for (const WaylandOutput* output : changes.Placed) {
    Cover(*output);
    for (const std::unique_ptr<Pane>& pane : panes_) {
      if (pane->screen == output) Place(*pane);
    }
  }
  for (const std::unique_ptr<Pane>& pane : panes_) {
    if (const std::optional<std::uint32_t> serial = std::exchange(pane->configure, std::nullopt)) {
      if (pane->layer != nullptr) {
        zwlr_layer_surface_v1_ack_configure(pane->layer, *serial);
      } else {
        xdg_surface_ack_configure(pane->shell, *serial);
      }
      Configured(*pane, pane->proposed_width, pane->proposed_height);
    }
    if (std::exchange(pane->moved, false) || changes.Scaled) FollowScale(*pane);
    if (std::exchange(pane->asked_to_close, false)) QueueClose();
  }
  LetClosedPanesGo();
  for (const std::unique_ptr<Pane>& pane : panes_) {
    if (pane->pending) Present(*pane);
  }
  TakeInput();
  DeliverInput();
}

// Binds the seats and outputs that came, and lets go of those that went,
// an output after the surfaces on it.
void WaylandWindow::TakeGlobals() {
  for (const WaylandGlobal& seat : connection_.TakeNewSeats()) {
    seats_.Add(connection_.BindSeat(seat), seat.Name);
  }
  for (const WaylandGlobal& output : connection_.TakeNewOutputs()) {
    outputs_.Add(connection_.BindOutput(output), output.Name);
  }
  for (const std::uint32_t name : connection_.TakeRemoved()) {
    seats_.Remove(name);
    const std::unique_ptr<WaylandOutput> gone = outputs_.Take(name);
    if (!gone) continue;
    std::erase_if(panes_, [&](const std::unique_ptr<Pane>& pane) { return pane->screen == gone.get(); });
    for (const std::unique_ptr<Pane>& pane : panes_) {
      std::erase(pane->entered, gone->output);
      FollowScale(*pane);
    }
  }
}

void WaylandWindow::TakeInput() {
  const SurfaceLocator locate = [this](const wl_surface* Surface, double X, double Y) {
    return Locate(Surface, X, Y);
  };
  for (const SeatInput& input : seats_.Settle(locate, EndsOnMotion())) {
    switch (input.What) {
      case SeatInput::Kind::Key:
        QueueKey(input.Code, input.Shift);
        break;
      case SeatInput::Kind::Button:
        QueueButton(input.Button, input.Shift, input.X, input.Y);
        break;
      case SeatInput::Kind::Strayed:
        QueueClose();
    }
  }
}

// A layer is closed when its output goes, which is no reason to end; a
// round trip brings the output's removal, if that was the reason. Closed
// for any other, it ends a screensaver.
void WaylandWindow::LetClosedPanesGo() {
  const auto closed = [](const std::unique_ptr<Pane>& pane) { return pane->closed; };
  if (std::ranges::none_of(panes_, closed)) return;
  connection_.Roundtrip();
  TakeGlobals();
  if (role_ == WaylandRole::Screensaver && std::ranges::any_of(panes_, closed)) QueueClose();
  std::erase_if(panes_, closed);
}

// A toplevel keeps the size of its first configure; a layer follows its
// output. Once every surface has had one, the animation is laid out over
// all of them. A surface that comes later is shown at once.
void WaylandWindow::Configured(Pane& Surface, int Width, int Height) {
  if (Surface.screen != nullptr) {
    Surface.layer_width = Width;
    Surface.layer_height = Height;
    Place(Surface);
  } else if (!Surface.configured) {
    if (Width > 0 && Height > 0) width_ = Width, height_ = Height;
    Surface.place = {0, 0, width_, height_};
  }
  Surface.configured = true;
  if (laid_out_) return;
  if (!std::ranges::all_of(panes_,
                           [](const std::unique_ptr<Pane>& pane) { return pane->configured; }))
    return;
  Box layout;
  for (const std::unique_ptr<Pane>& pane : panes_) layout = layout.Hull(pane->place);
  left_ = layout.Left;
  top_ = layout.Top;
  width_ = layout.Width();
  height_ = layout.Height();
  laid_out_ = true;
  Activated();
}

// A layer lies where its output does, at the size of its configure; a
// layer that moves or changes its size gets new bands.
void WaylandWindow::Place(Pane& Layer) {
  const Box place{Layer.screen->x, Layer.screen->y, Layer.screen->x + Layer.layer_width,
                  Layer.screen->y + Layer.layer_height};
  if (place == Layer.place) return;
  Layer.place = place;
  Layer.bands.clear();
  Layer.backed = false;
  Layer.pending = true;
}

std::optional<AnimationPoint> WaylandWindow::Locate(const wl_surface* Surface, double X,
                                                    double Y) const {
  for (const std::unique_ptr<Pane>& pane : panes_) {
    if (pane->surface == Surface) {
      return AnimationPoint{static_cast<float>(pane->place.Left - left_ + X),
                            static_cast<float>(pane->place.Top - top_ + Y)};
    }
  }
  return std::nullopt;
}

// The largest scale of the outputs that the surface is on becomes its
// bands' from the next present on, which makes new bands. Destroying a
// buffer that the compositor still holds is sound as long as nothing
// writes into it again.
void WaylandWindow::FollowScale(Pane& Surface) {
  const int wanted = connection_.CompositorVersion() >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION
                         ? outputs_.LargestScale(Surface.entered)
                         : 1;
  if (wanted == Surface.scale) return;
  Surface.scale = wanted;
  Surface.bands.clear();
  Surface.pending = Surface.configured;
}

void WaylandWindow::Present() {
  for (const std::unique_ptr<Pane>& pane : panes_) Present(*pane);
}

// Each band shows the ink of the pictures in its rows, the first picture
// over the whole of that box and each later one over its own rectangle;
// the bands' commits take effect together, with the surface's.
void WaylandWindow::Present(Pane& Surface) {
  if (!Surface.configured || !laid_out_) return;
  const Box shown = Surface.place.Offset(-left_, -top_);
  std::array<const ImageSurface*, 2> painted{};
  std::size_t count = 0;
  Repaint(
      width_, height_, [] {}, [&](const ImageSurface& Image, int) { painted[count++] = &Image; });
  if (Surface.bands.empty()) Divide(Surface, shown);
  Surface.pending = false;
  for (const std::unique_ptr<Band>& band : Surface.bands) {
    band->wanted = {};
    for (std::size_t i = 0; i < count; ++i) {
      band->wanted = band->wanted.Hull(InkIn(*painted[i], band->area));
    }
    if (!band->wanted.Empty() && band->FreeBuffer(connection_.Shm(), Surface.scale) == nullptr) {
      Surface.pending = true;
    }
  }
  if (Surface.pending) return;
  for (const std::unique_ptr<Band>& band : Surface.bands) {
    Show(Surface, *band, shown, painted, count);
  }
  Back(Surface);
  wl_surface_commit(Surface.surface);
  connection_.Flush();
}

// Bands across the whole of the surface, which lies at Shown of the window.
void WaylandWindow::Divide(Pane& Surface, const Box& Shown) {
  for (const Box& area : BandAreas(Shown)) {
    Band& band = *Surface.bands.emplace_back(std::make_unique<Band>());
    band.area = area;
    band.surface = wl_compositor_create_surface(connection_.Compositor());
    TakeNoInput(band.surface);
    if (Surface.scale > 1) wl_surface_set_buffer_scale(band.surface, Surface.scale);
    band.subsurface =
        wl_subcompositor_get_subsurface(connection_.Subcompositor(), band.surface, Surface.surface);
  }
}

// Shows the band's wanted box of the pictures, or nothing where it has no
// ink. The surface under it is damaged where the band was too, since not
// every compositor repaints what a subsurface no longer covers.
void WaylandWindow::Show(Pane& Surface, Band& Rows, const Box& Shown,
                         const std::array<const ImageSurface*, 2>& Painted, std::size_t Count) {
  const Box old = Rows.shown.Offset(-Shown.Left, -Shown.Top);
  if (!old.Empty()) {
    wl_surface_damage(Surface.surface, old.Left, old.Top, old.Width(), old.Height());
  }
  if (Rows.wanted.Empty()) {
    if (!Rows.shown.Empty()) {
      wl_surface_attach(Rows.surface, nullptr, 0, 0);
      wl_surface_commit(Rows.surface);
    }
    Rows.shown = {};
    return;
  }
  ShmBuffer& buffer = *Rows.FreeBuffer(connection_.Shm(), Surface.scale);
  buffer.Shape(Rows.wanted, Surface.scale);
  for (std::size_t i = 0; i < Count; ++i) {
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
void WaylandWindow::Back(Pane& Surface) {
  if (Surface.backed) return;
  if (!white_) {
    white_ = std::make_unique<ShmBuffer>(connection_.Shm(), 9 * 4);
    white_->Shape({0, 0, 3, 3}, 1);
    std::fill_n(white_->Pixels().Pixels, 9, kXrgbWhite);
  }
  wl_surface_attach(Surface.surface, white_->Buffer(), 0, 0);
  wp_viewport_set_source(Surface.viewport, wl_fixed_from_int(1), wl_fixed_from_int(1),
                         wl_fixed_from_int(1), wl_fixed_from_int(1));
  const int width = Surface.place.Width();
  const int height = Surface.place.Height();
  wp_viewport_set_destination(Surface.viewport, width, height);
  // A toplevel is the white surface, whatever its bands: Weston takes a
  // band's new place with its old size in the bounds it would use instead.
  if (Surface.shell != nullptr) xdg_surface_set_window_geometry(Surface.shell, 0, 0, width, height);
  wl_surface_damage(Surface.surface, 0, 0, INT32_MAX, INT32_MAX);
  Surface.backed = true;
}
