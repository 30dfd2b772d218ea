#include "surface/wayland/wayland_window.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "surface/display.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
// The layer shell names an argument "namespace", a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace {

// The modifier bits of the core keyboard, in the order every keymap gives
// them: Shift, Lock, Control, Mod1 (Alt).
constexpr std::uint32_t kShiftBit = 1U << 0, kControlBit = 1U << 2, kAltBit = 1U << 3;
constexpr std::uint32_t kWhitePixel = 0xFFFFFF;
// How far the pointer may drift, either way, before it ends a screensaver:
// a desk's knock is not a user.
constexpr float kPointerSlack = 4;

// The button of the handlers: left 1, right 2, middle 4, any other 8.
std::int16_t ButtonOf(std::uint32_t Code) {
  switch (Code) {
    case BTN_LEFT:
      return 1;
    case BTN_RIGHT:
      return 2;
    case BTN_MIDDLE:
      return 4;
    default:
      return 8;
  }
}

template <typename... Arguments>
void Ignore(void*, Arguments...) {}

}  // namespace

struct WaylandWindow::Seat {
  WaylandWindow* window;
  std::uint32_t name;
  wl_seat* seat;
  wl_keyboard* keyboard = nullptr;
  wl_pointer* pointer = nullptr;
  std::uint32_t modifiers = 0;
  // The surface the pointer is on, and where, in the animation's
  // coordinates; where it was first seen.
  const wl_surface* surface = nullptr;
  float x = 0, y = 0;
  bool seen = false;
  float first_x = 0, first_y = 0;

  std::int16_t Shift() const {
    return ShiftState(modifiers & kShiftBit, modifiers & kControlBit, modifiers & kAltBit);
  }
  void Take(bool Keyboard, bool Pointer);
  void Point(wl_fixed_t X, wl_fixed_t Y);
  ~Seat() {
    Take(false, false);
    (wl_seat_get_version(seat) >= WL_SEAT_RELEASE_SINCE_VERSION ? wl_seat_release
                                                                : wl_seat_destroy)(seat);
  }
};

struct WaylandWindow::Output {
  WaylandWindow* window;
  std::uint32_t name;
  wl_output* output;
  zxdg_output_v1* description = nullptr;
  int scale = 1;
  // Its place in the compositor's layout, once described.
  int x = 0, y = 0;

  void Describe(zxdg_output_manager_v1* Manager);
  ~Output() {
    if (description != nullptr) zxdg_output_v1_destroy(description);
    (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION ? wl_output_release
                                                                      : wl_output_destroy)(output);
  }
};

struct WaylandWindow::Buffer {
  wl_buffer* buffer = nullptr;
  std::uint32_t* pixels = nullptr;
  std::size_t bytes = 0;
  // In the buffer's pixels, each scale × scale of them one of the window's.
  int width = 0;
  int scale = 1;
  // Where its top left lies in the window.
  int left = 0, top = 0;
  // Held by the compositor until it releases it.
  bool busy = false;
  // The box of the window outside which the buffer is white.
  Box inked;

  ~Buffer() {
    if (buffer != nullptr) wl_buffer_destroy(buffer);
    if (pixels != nullptr) munmap(pixels, bytes);
  }
  // Makes Area of the window, in the buffer, the pixels of Image, which
  // lies at (Left, Top) of the window: white where the image is not.
  void Convert(const PixelRows& Image, int Left, int Top, const Box& Area) {
    for (int y = Area.Top; y < Area.Bottom; ++y) {
      const bool inside = y >= Top && y - Top < Image.Height;
      const int from = inside ? std::clamp(Left, Area.Left, Area.Right) : Area.Right;
      const int to = inside ? std::clamp(Left + Image.Width, from, Area.Right) : Area.Right;
      std::uint32_t* const row =
          pixels + (std::ptrdiff_t(y - top) * width + (Area.Left - left)) * scale;
      std::uint32_t* end = std::fill_n(row, (from - Area.Left) * scale, kWhitePixel);
      if (from < to) {
        const std::uint8_t* const grays = Image.Row(y - Top) + (from - Left);
        end = scale == 1 ? std::transform(grays, grays + (to - from), end, Opaque)
                         : Repeated(grays, grays + (to - from), end);
      }
      end = std::fill_n(end, (Area.Right - to) * scale, kWhitePixel);
      for (int copy = 1; copy < scale; ++copy) std::copy(row, end, row + copy * width);
    }
  }
  static std::uint32_t Opaque(std::uint8_t Gray) { return Gray * 0x010101U; }
  std::uint32_t* Repeated(const std::uint8_t* Gray, const std::uint8_t* End, std::uint32_t* To) {
    for (; Gray != End; ++Gray) To = std::fill_n(To, scale, Opaque(*Gray));
    return To;
  }
};

struct WaylandWindow::Pane {
  WaylandWindow* window;
  // The output that a layer covers; none for a toplevel.
  const Output* screen = nullptr;
  wl_surface* surface = nullptr;
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
  // The outputs that it is on, and its buffers' pixels to one of the
  // animation's, each way.
  std::vector<const wl_output*> entered;
  int scale = 1;
  bool configured = false;
  // A present that found every buffer held, to be made once one is free.
  bool pending = false;
  // The compositor will not show it any more.
  bool closed = false;
  std::array<std::unique_ptr<Buffer>, 3> buffers;

  ~Pane() {
    for (std::unique_ptr<Buffer>& buffer : buffers) buffer.reset();
    if (layer != nullptr) zwlr_layer_surface_v1_destroy(layer);
    if (decoration != nullptr) zxdg_toplevel_decoration_v1_destroy(decoration);
    if (toplevel != nullptr) xdg_toplevel_destroy(toplevel);
    if (shell != nullptr) xdg_surface_destroy(shell);
    wl_surface_destroy(surface);
  }
  Buffer* FreeBuffer(wl_shm* Shm, int Left, int Top);
};

// The C callbacks of libwayland. They only record what happened: the
// handlers run once dispatching has returned.
struct WaylandListeners {
  static void Global(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface,
                     std::uint32_t Version);
  static void GlobalRemove(void* Data, wl_registry*, std::uint32_t Name) {
    static_cast<WaylandWindow*>(Data)->Forget(Name);
  }
  static constexpr wl_registry_listener kRegistry{Global, GlobalRemove};

  static void Ping(void*, xdg_wm_base* Base, std::uint32_t Serial) {
    xdg_wm_base_pong(Base, Serial);
  }
  static constexpr xdg_wm_base_listener kWmBase{Ping};

  static void SurfaceConfigure(void* Data, xdg_surface* Surface, std::uint32_t Serial) {
    auto* pane = static_cast<WaylandWindow::Pane*>(Data);
    xdg_surface_ack_configure(Surface, Serial);
    pane->window->Configured(*pane, pane->proposed_width, pane->proposed_height);
  }
  static constexpr xdg_surface_listener kSurface{SurfaceConfigure};

  static void ToplevelConfigure(void* Data, xdg_toplevel*, std::int32_t Width, std::int32_t Height,
                                wl_array*) {
    auto* pane = static_cast<WaylandWindow::Pane*>(Data);
    pane->proposed_width = Width;
    pane->proposed_height = Height;
  }
  static void Close(void* Data, xdg_toplevel*) {
    static_cast<WaylandWindow::Pane*>(Data)->window->QueueClose();
  }
  static constexpr xdg_toplevel_listener kToplevel{ToplevelConfigure, Close, Ignore, Ignore};

  static constexpr zxdg_toplevel_decoration_v1_listener kDecoration{Ignore};

  static void LayerConfigure(void* Data, zwlr_layer_surface_v1* Layer, std::uint32_t Serial,
                             std::uint32_t Width, std::uint32_t Height) {
    zwlr_layer_surface_v1_ack_configure(Layer, Serial);
    auto* pane = static_cast<WaylandWindow::Pane*>(Data);
    pane->window->Configured(*pane, int(Width), int(Height));
  }
  static void LayerClosed(void* Data, zwlr_layer_surface_v1*) {
    static_cast<WaylandWindow::Pane*>(Data)->closed = true;
  }
  static constexpr zwlr_layer_surface_v1_listener kLayer{LayerConfigure, LayerClosed};

  static void Release(void* Data, wl_buffer*) {
    static_cast<WaylandWindow::Buffer*>(Data)->busy = false;
  }
  static constexpr wl_buffer_listener kBuffer{Release};

  static void Scale(void* Data, wl_output*, std::int32_t Factor) {
    auto* output = static_cast<WaylandWindow::Output*>(Data);
    output->scale = std::max(1, Factor);
    for (const std::unique_ptr<WaylandWindow::Pane>& pane : output->window->panes_) {
      output->window->FollowScale(*pane);
    }
  }
  static constexpr wl_output_listener kOutput{Ignore, Ignore, Ignore, Scale, Ignore, Ignore};

  static void Position(void* Data, zxdg_output_v1*, std::int32_t X, std::int32_t Y) {
    auto* output = static_cast<WaylandWindow::Output*>(Data);
    output->x = X;
    output->y = Y;
  }
  static void Described(void* Data, zxdg_output_v1*) {
    auto* output = static_cast<WaylandWindow::Output*>(Data);
    output->window->Cover(*output);
    for (const std::unique_ptr<WaylandWindow::Pane>& pane : output->window->panes_) {
      if (pane->screen == output) output->window->Place(*pane);
    }
  }
  static constexpr zxdg_output_v1_listener kDescription{Position, Ignore, Described, Ignore,
                                                        Ignore};

  static void OnOutput(void* Data, wl_surface*, wl_output* Output) {
    auto* pane = static_cast<WaylandWindow::Pane*>(Data);
    pane->entered.push_back(Output);
    pane->window->FollowScale(*pane);
  }
  static void OffOutput(void* Data, wl_surface*, wl_output* Output) {
    auto* pane = static_cast<WaylandWindow::Pane*>(Data);
    std::erase(pane->entered, Output);
    pane->window->FollowScale(*pane);
  }
  static constexpr wl_surface_listener kWlSurface{OnOutput, OffOutput};

  static void Capabilities(void* Data, wl_seat*, std::uint32_t Capabilities) {
    static_cast<WaylandWindow::Seat*>(Data)->Take(Capabilities & WL_SEAT_CAPABILITY_KEYBOARD,
                                                  Capabilities & WL_SEAT_CAPABILITY_POINTER);
  }
  static constexpr wl_seat_listener kSeat{Capabilities, Ignore};

  // The keymap is not needed: its descriptor is closed at once.
  static void Keymap(void*, wl_keyboard*, std::uint32_t, std::int32_t Descriptor, std::uint32_t) {
    close(Descriptor);
  }
  static void Key(void* Data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t Code,
                  std::uint32_t State) {
    const auto* seat = static_cast<WaylandWindow::Seat*>(Data);
    if (State == WL_KEYBOARD_KEY_STATE_PRESSED) {
      seat->window->QueueKey(static_cast<std::int16_t>(Code), seat->Shift());
    }
  }
  static void Modifiers(void* Data, wl_keyboard*, std::uint32_t, std::uint32_t Depressed,
                        std::uint32_t Latched, std::uint32_t, std::uint32_t) {
    static_cast<WaylandWindow::Seat*>(Data)->modifiers = Depressed | Latched;
  }
  static constexpr wl_keyboard_listener kKeyboard{Keymap, Ignore, Ignore, Key, Modifiers, Ignore};

  // A screensaver hides the pointer over its surfaces.
  static void Enter(void* Data, wl_pointer* Pointer, std::uint32_t Serial, wl_surface* Surface,
                    wl_fixed_t X, wl_fixed_t Y) {
    auto* seat = static_cast<WaylandWindow::Seat*>(Data);
    seat->surface = Surface;
    if (seat->window->EndsOnMotion()) wl_pointer_set_cursor(Pointer, Serial, nullptr, 0, 0);
    seat->Point(X, Y);
  }
  static void Leave(void* Data, wl_pointer*, std::uint32_t, wl_surface*) {
    static_cast<WaylandWindow::Seat*>(Data)->surface = nullptr;
  }
  static void Motion(void* Data, wl_pointer*, std::uint32_t, wl_fixed_t X, wl_fixed_t Y) {
    static_cast<WaylandWindow::Seat*>(Data)->Point(X, Y);
  }
  static void Button(void* Data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t Code,
                     std::uint32_t State) {
    const auto* seat = static_cast<WaylandWindow::Seat*>(Data);
    if (State == WL_POINTER_BUTTON_STATE_PRESSED) {
      seat->window->QueueButton(ButtonOf(Code), seat->Shift(), seat->x, seat->y);
    }
  }
  static constexpr wl_pointer_listener kPointer{Enter,  Leave,  Motion, Button, Ignore,
                                                Ignore, Ignore, Ignore, Ignore, Ignore};
};

void WaylandWindow::Seat::Take(bool Keyboard, bool Pointer) {
  if (Keyboard && keyboard == nullptr) {
    keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(keyboard, &WaylandListeners::kKeyboard, this);
  } else if (!Keyboard && keyboard != nullptr) {
    (wl_keyboard_get_version(keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION
         ? wl_keyboard_release
         : wl_keyboard_destroy)(keyboard);
    keyboard = nullptr;
  }
  if (Pointer && pointer == nullptr) {
    pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(pointer, &WaylandListeners::kPointer, this);
  } else if (!Pointer && pointer != nullptr) {
    (wl_pointer_get_version(pointer) >= WL_POINTER_RELEASE_SINCE_VERSION
         ? wl_pointer_release
         : wl_pointer_destroy)(pointer);
    pointer = nullptr;
  }
}

// Takes the pointer's place on its surface into the animation's
// coordinates; past the slack from where it was first seen it ends a
// screensaver.
void WaylandWindow::Seat::Point(wl_fixed_t X, wl_fixed_t Y) {
  const Pane* pane = window->PaneOf(surface);
  if (pane == nullptr) return;
  x = static_cast<float>(pane->place.Left - window->left_ + wl_fixed_to_double(X));
  y = static_cast<float>(pane->place.Top - window->top_ + wl_fixed_to_double(Y));
  if (!window->EndsOnMotion()) return;
  if (!seen) {
    seen = true;
    first_x = x;
    first_y = y;
  } else if (std::abs(x - first_x) > kPointerSlack || std::abs(y - first_y) > kPointerSlack) {
    window->QueueClose();
  }
}

// Without xdg-output every output is taken to lie at the layout's origin.
void WaylandWindow::Output::Describe(zxdg_output_manager_v1* Manager) {
  if (Manager == nullptr || description != nullptr) return;
  description = zxdg_output_manager_v1_get_xdg_output(Manager, output);
  zxdg_output_v1_add_listener(description, &WaylandListeners::kDescription, this);
}

void WaylandListeners::Global(void* Data, wl_registry* Registry, std::uint32_t Name,
                              const char* Interface, std::uint32_t Version) {
  auto* window = static_cast<WaylandWindow*>(Data);
  const auto bind = [&](const wl_interface& Wanted, std::uint32_t Highest) {
    return wl_registry_bind(Registry, Name, &Wanted, std::min(Version, Highest));
  };
  const std::string interface = Interface;
  if (interface == wl_compositor_interface.name) {
    window->compositor_version_ = std::min(Version, 4U);
    window->compositor_ = static_cast<wl_compositor*>(bind(wl_compositor_interface, 4));
  } else if (interface == wl_shm_interface.name) {
    window->shm_ = static_cast<wl_shm*>(bind(wl_shm_interface, 1));
  } else if (interface == xdg_wm_base_interface.name) {
    window->wm_base_ = static_cast<xdg_wm_base*>(bind(xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(window->wm_base_, &kWmBase, window);
  } else if (interface == zxdg_decoration_manager_v1_interface.name) {
    window->decorations_ =
        static_cast<zxdg_decoration_manager_v1*>(bind(zxdg_decoration_manager_v1_interface, 1));
  } else if (interface == zwlr_layer_shell_v1_interface.name) {
    window->layer_shell_ =
        static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface, 3));
  } else if (interface == zxdg_output_manager_v1_interface.name) {
    window->output_manager_ =
        static_cast<zxdg_output_manager_v1*>(bind(zxdg_output_manager_v1_interface, 2));
    for (const std::unique_ptr<WaylandWindow::Output>& output : window->outputs_) {
      output->Describe(window->output_manager_);
    }
  } else if (interface == wl_seat_interface.name) {
    auto* seat = static_cast<wl_seat*>(bind(wl_seat_interface, 5));
    window->seats_.push_back(std::make_unique<WaylandWindow::Seat>(window, Name, seat));
    wl_seat_add_listener(seat, &kSeat, window->seats_.back().get());
  } else if (interface == wl_output_interface.name) {
    auto* output = static_cast<wl_output*>(bind(wl_output_interface, 3));
    window->outputs_.push_back(std::make_unique<WaylandWindow::Output>(window, Name, output));
    wl_output_add_listener(output, &kOutput, window->outputs_.back().get());
    window->outputs_.back()->Describe(window->output_manager_);
    if (window->output_manager_ == nullptr) window->Cover(*window->outputs_.back());
  }
}

WaylandWindow::WaylandWindow(RandomSource& Random, const char* Program, WaylandRole Role)
    : PictureWindow(Random), program_(Program), role_(Role) {
  OpenClosedStandardStreams();
  const char* name = Named("WAYLAND_DISPLAY");
  name_ = name != nullptr ? name : "wayland-0";
  // libwayland would print a line of its own.
  if (name_.front() != '/' && Named("XDG_RUNTIME_DIR") == nullptr) {
    throw DisplayError("XDG_RUNTIME_DIR is not set, where the compositor's socket would be");
  }
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) throw DisplayError("no compositor answers");
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &WaylandListeners::kRegistry, this);
  const char* missing = wl_display_roundtrip(display_) < 0 ? "answer"
                        : compositor_ == nullptr           ? "wl_compositor"
                        : shm_ == nullptr                  ? "wl_shm"
                        : wm_base_ == nullptr              ? "xdg_wm_base"
                        : role_ == WaylandRole::Wallpaper && layer_shell_ == nullptr
                            ? "layer shell for a wallpaper"
                            : nullptr;
  if (missing != nullptr) {
    wl_display_disconnect(display_);
    throw DisplayError(std::string("the compositor gives no ") + missing);
  }
  if (role_ == WaylandRole::Screensaver && layer_shell_ == nullptr) role_ = WaylandRole::FullScreen;
  EndOnSignals();
}

WaylandWindow::~WaylandWindow() {
  panes_.clear();
  seats_.clear();
  outputs_.clear();
  if (output_manager_ != nullptr) zxdg_output_manager_v1_destroy(output_manager_);
  if (layer_shell_ != nullptr) {
    if (zwlr_layer_shell_v1_get_version(layer_shell_) >=
        ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION) {
      zwlr_layer_shell_v1_destroy(layer_shell_);
    } else {
      wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layer_shell_));
    }
  }
  if (decorations_ != nullptr) zxdg_decoration_manager_v1_destroy(decorations_);
  xdg_wm_base_destroy(wm_base_);
  wl_shm_destroy(shm_);
  wl_compositor_destroy(compositor_);
  wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

// A toplevel, or a layer on every output once the outputs have said where
// they lie. Nothing is attached before the first configure; the window is
// activated once every surface has had one.
void WaylandWindow::Show() {
  if (Layered()) {
    if (wl_display_roundtrip(display_) < 0) Lost();
    shown_ = true;
    for (const std::unique_ptr<Output>& output : outputs_) Cover(*output);
    return;
  }
  shown_ = true;
  auto& pane = *panes_.emplace_back(std::make_unique<Pane>(this));
  pane.surface = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(pane.surface, &WaylandListeners::kWlSurface, &pane);
  pane.shell = xdg_wm_base_get_xdg_surface(wm_base_, pane.surface);
  xdg_surface_add_listener(pane.shell, &WaylandListeners::kSurface, &pane);
  pane.toplevel = xdg_surface_get_toplevel(pane.shell);
  xdg_toplevel_add_listener(pane.toplevel, &WaylandListeners::kToplevel, &pane);
  xdg_toplevel_set_title(pane.toplevel, kTitle);
  xdg_toplevel_set_app_id(pane.toplevel, "boska");
  if (role_ == WaylandRole::FullScreen) {
    xdg_toplevel_set_fullscreen(pane.toplevel, nullptr);
  } else {
    xdg_toplevel_set_min_size(pane.toplevel, kDesignWidth, kDesignHeight);
    xdg_toplevel_set_max_size(pane.toplevel, kDesignWidth, kDesignHeight);
  }
  if (decorations_ != nullptr) {
    pane.decoration =
        zxdg_decoration_manager_v1_get_toplevel_decoration(decorations_, pane.toplevel);
    zxdg_toplevel_decoration_v1_add_listener(pane.decoration, &WaylandListeners::kDecoration, this);
    zxdg_toplevel_decoration_v1_set_mode(pane.decoration,
                                         ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
  }
  wl_surface_commit(pane.surface);
}

// A layer over the whole of Screen, unless it has one: the overlay layer
// taking the keyboard for a screensaver, the background layer taking no
// input for a wallpaper.
void WaylandWindow::Cover(Output& Screen) {
  const bool covered = std::ranges::any_of(
      panes_, [&](const std::unique_ptr<Pane>& pane) { return pane->screen == &Screen; });
  if (!shown_ || !Layered() || covered) return;
  auto& pane = *panes_.emplace_back(std::make_unique<Pane>(this));
  pane.screen = &Screen;
  pane.surface = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(pane.surface, &WaylandListeners::kWlSurface, &pane);
  const bool wallpaper = role_ == WaylandRole::Wallpaper;
  pane.layer = zwlr_layer_shell_v1_get_layer_surface(
      layer_shell_, pane.surface, Screen.output,
      wallpaper ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
      "boska");
  zwlr_layer_surface_v1_add_listener(pane.layer, &WaylandListeners::kLayer, &pane);
  zwlr_layer_surface_v1_set_anchor(
      pane.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                      ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(pane.layer, -1);
  if (wallpaper) {
    wl_region* nowhere = wl_compositor_create_region(compositor_);
    wl_surface_set_input_region(pane.surface, nowhere);
    wl_region_destroy(nowhere);
  } else {
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        pane.layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
  }
  wl_surface_commit(pane.surface);
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
  width_ = layout.Right - layout.Left;
  height_ = layout.Bottom - layout.Top;
  laid_out_ = true;
  Activated();
}

// A layer lies where its output does, at the size of its configure; a
// layer that moves or changes its size gets new buffers.
void WaylandWindow::Place(Pane& Layer) {
  const Box place{Layer.screen->x, Layer.screen->y, Layer.screen->x + Layer.layer_width,
                  Layer.screen->y + Layer.layer_height};
  if (place == Layer.place) return;
  Layer.place = place;
  for (std::unique_ptr<Buffer>& buffer : Layer.buffers) buffer.reset();
  Layer.pending = true;
}

void WaylandWindow::DoEvents() { Dispatch(0); }

void WaylandWindow::WaitEvents(double Seconds) { Dispatch(WaitMilliseconds(Seconds)); }

// Reads and dispatches what the compositor has sent, waiting for it at most
// TimeoutMs; then lets closed surfaces go, makes the presents that found
// every buffer held and delivers the input.
void WaylandWindow::Dispatch(int TimeoutMs) {
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) Lost();
  }
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display_);
    Lost();
  }
  pollfd connection{wl_display_get_fd(display_), POLLIN, 0};
  if (poll(&connection, 1, TimeoutMs) > 0) {
    if (wl_display_read_events(display_) < 0) Lost();
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) Lost();
  LetClosedPanesGo();
  for (const std::unique_ptr<Pane>& pane : panes_) {
    if (pane->pending) Present(*pane);
  }
  DeliverInput();
}

// A layer is closed when its output goes, which is no reason to end; a
// round trip brings the output's removal, if that was the reason. Closed
// for any other, it ends a screensaver.
void WaylandWindow::LetClosedPanesGo() {
  const auto closed = [](const std::unique_ptr<Pane>& pane) { return pane->closed; };
  if (std::ranges::none_of(panes_, closed)) return;
  if (wl_display_roundtrip(display_) < 0) Lost();
  if (role_ == WaylandRole::Screensaver && std::ranges::any_of(panes_, closed)) QueueClose();
  std::erase_if(panes_, closed);
}

void WaylandWindow::Lost() {
  const wl_interface* interface = nullptr;
  std::uint32_t id = 0;
  if (wl_display_get_error(display_) == EPROTO) {
    const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    EndWithLine(program_, "the display " + name_ + " reported a protocol error " +
                              std::to_string(code) + " of " +
                              (interface != nullptr ? interface->name : "an object"));
  }
  EndWithLine(program_, "lost the display " + name_);
}

void WaylandWindow::Forget(std::uint32_t Name) {
  std::erase_if(seats_, [Name](const std::unique_ptr<Seat>& seat) { return seat->name == Name; });
  const auto gone = std::ranges::find_if(
      outputs_, [Name](const std::unique_ptr<Output>& output) { return output->name == Name; });
  if (gone == outputs_.end()) return;
  std::erase_if(panes_,
                [&](const std::unique_ptr<Pane>& pane) { return pane->screen == gone->get(); });
  for (const std::unique_ptr<Pane>& pane : panes_) {
    std::erase(pane->entered, (*gone)->output);
    FollowScale(*pane);
  }
  outputs_.erase(gone);
}

WaylandWindow::Pane* WaylandWindow::PaneOf(const wl_surface* Surface) {
  for (const std::unique_ptr<Pane>& pane : panes_) {
    if (pane->surface == Surface) return pane.get();
  }
  return nullptr;
}

// The largest scale of the outputs that the surface is on becomes its
// buffers' from the next present on, which makes new buffers. Destroying a
// buffer that the compositor still holds is sound as long as nothing
// writes into it again.
void WaylandWindow::FollowScale(Pane& Surface) {
  int wanted = 1;
  if (compositor_version_ >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
    for (const std::unique_ptr<Output>& output : outputs_) {
      if (std::ranges::find(Surface.entered, output->output) != Surface.entered.end()) {
        wanted = std::max(wanted, output->scale);
      }
    }
  }
  if (wanted == Surface.scale) return;
  Surface.scale = wanted;
  for (std::unique_ptr<Buffer>& buffer : Surface.buffers) buffer.reset();
  wl_surface_set_buffer_scale(Surface.surface, wanted);
  Surface.pending = Surface.configured;
}

// A buffer that the compositor does not hold, made at the surface's size
// the first time it is wanted, its top left at (Left, Top) of the window;
// none when all are held.
WaylandWindow::Buffer* WaylandWindow::Pane::FreeBuffer(wl_shm* Shm, int Left, int Top) {
  for (std::unique_ptr<Buffer>& buffer : buffers) {
    if (buffer && !buffer->busy) return buffer.get();
    if (buffer) continue;
    buffer = std::make_unique<Buffer>();
    const int width = (place.Right - place.Left) * scale;
    const int height = (place.Bottom - place.Top) * scale;
    const int stride = width * 4;
    buffer->bytes = std::size_t(stride) * std::size_t(height);
    buffer->width = width;
    buffer->scale = scale;
    buffer->left = Left;
    buffer->top = Top;
    const int descriptor = memfd_create("boska", MFD_CLOEXEC);
    if (descriptor < 0 || ftruncate(descriptor, off_t(buffer->bytes)) != 0) {
      if (descriptor >= 0) close(descriptor);
      throw SurfaceError(std::string("no shared memory for a picture: ") + std::strerror(errno));
    }
    void* at = mmap(nullptr, buffer->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (at == MAP_FAILED) {
      close(descriptor);
      throw SurfaceError(std::string("cannot map a picture: ") + std::strerror(errno));
    }
    buffer->pixels = static_cast<std::uint32_t*>(at);
    std::fill_n(buffer->pixels, buffer->bytes / 4, kWhitePixel);
    wl_shm_pool* pool = wl_shm_create_pool(Shm, descriptor, std::int32_t(buffer->bytes));
    buffer->buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(descriptor);
    wl_buffer_add_listener(buffer->buffer, &WaylandListeners::kBuffer, buffer.get());
    return buffer.get();
  }
  return nullptr;
}

void WaylandWindow::Present() {
  for (const std::unique_ptr<Pane>& pane : panes_) Present(*pane);
}

// While the surface in front covers the window, a buffer differs from its
// picture only within the ink of both, which alone is converted.
void WaylandWindow::Present(Pane& Surface) {
  if (!Surface.configured || !laid_out_) return;
  const Box shown{Surface.place.Left - left_, Surface.place.Top - top_, Surface.place.Right - left_,
                  Surface.place.Bottom - top_};
  Buffer* buffer = Surface.FreeBuffer(shm_, shown.Left, shown.Top);
  Surface.pending = buffer == nullptr;
  if (buffer == nullptr) return;
  bool whole = false;
  Box changed;
  const auto placed = [&](const ImageSurface& Image, const Box& Part) {
    return Box{Part.Left + Image.Left(), Part.Top + Image.Top(), Part.Right + Image.Left(),
               Part.Bottom + Image.Top()}
        .Meet(shown);
  };
  Repaint(
      width_, height_,
      [&] {
        std::fill_n(buffer->pixels, buffer->bytes / 4, kWhitePixel);
        whole = true;
        changed = buffer->inked = shown;
      },
      [&](const ImageSurface& Image, int) {
        const PixelRows pixels = Image.Rows();
        if (whole) {
          buffer->Convert(pixels, Image.Left(), Image.Top(),
                          placed(Image, {0, 0, pixels.Width, pixels.Height}));
          return;
        }
        const Box inked = placed(Image, Image.Ink());
        changed = inked.Hull(buffer->inked);
        buffer->Convert(pixels, Image.Left(), Image.Top(), changed);
        buffer->inked = inked;
      });
  wl_surface_attach(Surface.surface, buffer->buffer, 0, 0);
  const int scale = Surface.scale;
  if (compositor_version_ >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
    wl_surface_damage_buffer(
        Surface.surface, (changed.Left - shown.Left) * scale, (changed.Top - shown.Top) * scale,
        (changed.Right - changed.Left) * scale, (changed.Bottom - changed.Top) * scale);
  } else {
    wl_surface_damage(Surface.surface, changed.Left - shown.Left, changed.Top - shown.Top,
                      changed.Right - changed.Left, changed.Bottom - changed.Top);
  }
  wl_surface_commit(Surface.surface);
  buffer->busy = true;
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) Lost();
}
