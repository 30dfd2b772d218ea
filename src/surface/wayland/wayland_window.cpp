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
#include <type_traits>

#include "surface/display.h"
#include "surface/wayland/shm_bands.h"
#include "viewporter-client-protocol.h"
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

// Lets Object go with the request that tells the compositor so, where the
// version bound has it; older versions have only the client's destroy.
template <typename Object>
void LetGo(Object* Thing, std::uint32_t Since, std::type_identity_t<void (*)(Object*)> Release,
           std::type_identity_t<void (*)(Object*)> Destroy) {
  (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(Thing)) >= Since ? Release : Destroy)(Thing);
}

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
    LetGo(seat, WL_SEAT_RELEASE_SINCE_VERSION, wl_seat_release, wl_seat_destroy);
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
    LetGo(output, WL_OUTPUT_RELEASE_SINCE_VERSION, wl_output_release, wl_output_destroy);
  }
};

// Shared memory for the pictures of a band, and the buffer that shows a box
// of the window from it. The memory is as large as the whole band, but only
// the pixels of the boxes it has shown are ever touched, and only those take
// up memory.
struct WaylandWindow::Buffer {
  wl_shm_pool* pool = nullptr;
  std::uint32_t* pixels = nullptr;
  std::size_t bytes = 0;
  wl_buffer* buffer = nullptr;
  // The box of the window it shows, each pixel of which is scale × scale of
  // the buffer's, width of them to a row.
  Box box;
  int scale = 1;
  int width = 0;
  // Held by the compositor until it releases it.
  bool busy = false;

  Buffer(wl_shm* Shm, std::size_t Bytes) : bytes(Bytes) {
    const int descriptor = memfd_create("boska", MFD_CLOEXEC);
    if (descriptor < 0 || ftruncate(descriptor, off_t(bytes)) != 0) {
      if (descriptor >= 0) close(descriptor);
      throw SurfaceError(std::string("no shared memory for a picture: ") + std::strerror(errno));
    }
    void* at = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (at == MAP_FAILED) {
      close(descriptor);
      throw SurfaceError(std::string("cannot map a picture: ") + std::strerror(errno));
    }
    pixels = static_cast<std::uint32_t*>(at);
    pool = wl_shm_create_pool(Shm, descriptor, std::int32_t(bytes));
    close(descriptor);
  }
  ~Buffer() {
    if (buffer != nullptr) wl_buffer_destroy(buffer);
    wl_shm_pool_destroy(pool);
    munmap(pixels, bytes);
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  // Makes it show Shown at Scale: a new buffer when the size changes.
  void Shape(const Box& Shown, int Scale);
};

struct WaylandWindow::Band {
  wl_surface* surface = nullptr;
  wl_subsurface* subsurface = nullptr;
  // Its rows of the window, all the way across its surface.
  Box area;
  // The box of the window that it shows, empty while it shows nothing; the
  // box that the next present will show.
  Box shown, wanted;
  BufferRing<Buffer> buffers;

  ~Band() {
    wl_subsurface_destroy(subsurface);
    wl_surface_destroy(surface);
  }
  Buffer* FreeBuffer(wl_shm* Shm, int Scale) {
    return buffers.Free([&] {
      return std::make_unique<Buffer>(Shm, std::size_t(area.Width()) * std::size_t(area.Height()) *
                                               std::size_t(Scale * Scale) * 4);
    });
  }
};

struct WaylandWindow::Pane {
  WaylandWindow* window;
  // The output that a layer covers; none for a toplevel.
  const Output* screen = nullptr;
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
  // The compositor will not show it any more.
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
  // Its handlers set by name: a newer libwayland's table has members for
  // events of versions newer than the one bound, which are never sent.
  static constexpr wl_surface_listener kWlSurface = [] {
    wl_surface_listener listener{};
    listener.enter = OnOutput;
    listener.leave = OffOutput;
    return listener;
  }();

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
  // Its handlers set by name, as the surface's.
  static constexpr wl_pointer_listener kPointer = [] {
    wl_pointer_listener listener{};
    listener.enter = Enter;
    listener.leave = Leave;
    listener.motion = Motion;
    listener.button = Button;
    listener.axis = Ignore;
    listener.frame = Ignore;
    listener.axis_source = Ignore;
    listener.axis_stop = Ignore;
    listener.axis_discrete = Ignore;
    return listener;
  }();
};

void WaylandWindow::Buffer::Shape(const Box& Shown, int Scale) {
  const bool same = buffer != nullptr && Scale == scale && Shown.Width() == box.Width() &&
                    Shown.Height() == box.Height();
  box = Shown;
  scale = Scale;
  if (same) return;
  if (buffer != nullptr) wl_buffer_destroy(buffer);
  width = box.Width() * scale;
  const int height = box.Height() * scale;
  buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
  wl_buffer_add_listener(buffer, &WaylandListeners::kBuffer, this);
}

void WaylandWindow::Seat::Take(bool Keyboard, bool Pointer) {
  if (Keyboard && keyboard == nullptr) {
    keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(keyboard, &WaylandListeners::kKeyboard, this);
  } else if (!Keyboard && keyboard != nullptr) {
    LetGo(keyboard, WL_KEYBOARD_RELEASE_SINCE_VERSION, wl_keyboard_release, wl_keyboard_destroy);
    keyboard = nullptr;
  }
  if (Pointer && pointer == nullptr) {
    pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(pointer, &WaylandListeners::kPointer, this);
  } else if (!Pointer && pointer != nullptr) {
    LetGo(pointer, WL_POINTER_RELEASE_SINCE_VERSION, wl_pointer_release, wl_pointer_destroy);
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
    window->compositor_.reset(static_cast<wl_compositor*>(bind(wl_compositor_interface, 4)));
  } else if (interface == wl_subcompositor_interface.name) {
    window->subcompositor_.reset(static_cast<wl_subcompositor*>(bind(wl_subcompositor_interface, 1)));
  } else if (interface == wp_viewporter_interface.name) {
    window->viewporter_.reset(static_cast<wp_viewporter*>(bind(wp_viewporter_interface, 1)));
  } else if (interface == wl_shm_interface.name) {
    window->shm_.reset(static_cast<wl_shm*>(bind(wl_shm_interface, 1)));
  } else if (interface == xdg_wm_base_interface.name) {
    window->wm_base_.reset(static_cast<xdg_wm_base*>(bind(xdg_wm_base_interface, 1)));
    xdg_wm_base_add_listener(window->wm_base_.get(), &kWmBase, window);
  } else if (interface == zxdg_decoration_manager_v1_interface.name) {
    window->decorations_.reset(
        static_cast<zxdg_decoration_manager_v1*>(bind(zxdg_decoration_manager_v1_interface, 1)));
  } else if (interface == zwlr_layer_shell_v1_interface.name) {
    window->layer_shell_.reset(
        static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface, 3)));
  } else if (interface == zxdg_output_manager_v1_interface.name) {
    window->output_manager_.reset(
        static_cast<zxdg_output_manager_v1*>(bind(zxdg_output_manager_v1_interface, 2)));
    for (const std::unique_ptr<WaylandWindow::Output>& output : window->outputs_) {
      output->Describe(window->output_manager_.get());
    }
  } else if (interface == wl_seat_interface.name) {
    auto* seat = static_cast<wl_seat*>(bind(wl_seat_interface, 5));
    window->seats_.push_back(std::make_unique<WaylandWindow::Seat>(window, Name, seat));
    wl_seat_add_listener(seat, &kSeat, window->seats_.back().get());
  } else if (interface == wl_output_interface.name) {
    auto* output = static_cast<wl_output*>(bind(wl_output_interface, 3));
    window->outputs_.push_back(std::make_unique<WaylandWindow::Output>(window, Name, output));
    wl_output_add_listener(output, &kOutput, window->outputs_.back().get());
    window->outputs_.back()->Describe(window->output_manager_.get());
    if (window->output_manager_ == nullptr) window->Cover(*window->outputs_.back());
  }
}

WaylandWindow::WaylandWindow(RandomSource& Random, WaylandRole Role)
    : PictureWindow(Random), role_(Role) {
  OpenClosedStandardStreams();
  const char* name = Named("WAYLAND_DISPLAY");
  name_ = name != nullptr ? name : "wayland-0";
  // libwayland would print a line of its own.
  if (name_.front() != '/' && Named("XDG_RUNTIME_DIR") == nullptr) {
    throw DisplayError("XDG_RUNTIME_DIR is not set, where the compositor's socket would be");
  }
  display_.reset(wl_display_connect(nullptr));
  if (display_ == nullptr) throw DisplayError("no compositor answers");
  registry_.reset(wl_display_get_registry(display_.get()));
  wl_registry_add_listener(registry_.get(), &WaylandListeners::kRegistry, this);
  const char* missing = wl_display_roundtrip(display_.get()) < 0 ? "answer"
                        : compositor_ == nullptr           ? "wl_compositor"
                        : shm_ == nullptr                  ? "wl_shm"
                        : subcompositor_ == nullptr        ? "wl_subcompositor"
                        : viewporter_ == nullptr           ? "wp_viewporter"
                        : wm_base_ == nullptr              ? "xdg_wm_base"
                        : role_ == WaylandRole::Wallpaper && layer_shell_ == nullptr
                            ? "layer shell for a wallpaper"
                            : nullptr;
  if (missing != nullptr) throw DisplayError(std::string("the compositor gives no ") + missing);
  if (role_ == WaylandRole::Screensaver && layer_shell_ == nullptr) role_ = WaylandRole::FullScreen;
  EndOnSignals();
}

// What was made on the connection goes before it: the members go in the
// reverse of their order, after the window's surfaces, whether the
// constructor finished or threw.
WaylandWindow::~WaylandWindow() = default;

void WaylandRelease::operator()(wl_display* Display) const { wl_display_disconnect(Display); }
void WaylandRelease::operator()(wl_registry* Registry) const { wl_registry_destroy(Registry); }
void WaylandRelease::operator()(wl_compositor* Compositor) const {
  wl_compositor_destroy(Compositor);
}
void WaylandRelease::operator()(wl_shm* Shm) const { wl_shm_destroy(Shm); }
void WaylandRelease::operator()(wl_subcompositor* Subcompositor) const {
  wl_subcompositor_destroy(Subcompositor);
}
void WaylandRelease::operator()(wp_viewporter* Viewporter) const {
  wp_viewporter_destroy(Viewporter);
}
void WaylandRelease::operator()(xdg_wm_base* Base) const { xdg_wm_base_destroy(Base); }
void WaylandRelease::operator()(zxdg_decoration_manager_v1* Manager) const {
  zxdg_decoration_manager_v1_destroy(Manager);
}
void WaylandRelease::operator()(zwlr_layer_shell_v1* Shell) const {
  LetGo(Shell, ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION, zwlr_layer_shell_v1_destroy,
        [](zwlr_layer_shell_v1* Old) { wl_proxy_destroy(reinterpret_cast<wl_proxy*>(Old)); });
}
void WaylandRelease::operator()(zxdg_output_manager_v1* Manager) const {
  zxdg_output_manager_v1_destroy(Manager);
}

// A toplevel, or a layer on every output once the outputs have said where
// they lie. Nothing is attached before the first configure; the window is
// activated once every surface has had one.
void WaylandWindow::Show() {
  if (Layered()) {
    if (wl_display_roundtrip(display_.get()) < 0) Lost();
    shown_ = true;
    for (const std::unique_ptr<Output>& output : outputs_) Cover(*output);
    return;
  }
  shown_ = true;
  Pane& pane = NewPane(nullptr);
  pane.shell = xdg_wm_base_get_xdg_surface(wm_base_.get(), pane.surface);
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
        zxdg_decoration_manager_v1_get_toplevel_decoration(decorations_.get(), pane.toplevel);
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
  Pane& pane = NewPane(&Screen);
  const bool wallpaper = role_ == WaylandRole::Wallpaper;
  pane.layer = zwlr_layer_shell_v1_get_layer_surface(
      layer_shell_.get(), pane.surface, Screen.output,
      wallpaper ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
      "boska");
  zwlr_layer_surface_v1_add_listener(pane.layer, &WaylandListeners::kLayer, &pane);
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

WaylandWindow::Pane& WaylandWindow::NewPane(const Output* Screen) {
  Pane& pane = *panes_.emplace_back(std::make_unique<Pane>(this, Screen));
  pane.surface = wl_compositor_create_surface(compositor_.get());
  wl_surface_add_listener(pane.surface, &WaylandListeners::kWlSurface, &pane);
  pane.viewport = wp_viewporter_get_viewport(viewporter_.get(), pane.surface);
  return pane;
}

// Input goes through the surface to what lies under it.
void WaylandWindow::TakeNoInput(wl_surface* Surface) {
  wl_region* nowhere = wl_compositor_create_region(compositor_.get());
  wl_surface_set_input_region(Surface, nowhere);
  wl_region_destroy(nowhere);
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

void WaylandWindow::DoEvents() { Dispatch(0); }

void WaylandWindow::WaitEvents(double Seconds) { Dispatch(WaitMilliseconds(Seconds)); }

// Reads and dispatches what the compositor has sent, waiting for it at most
// TimeoutMs; then lets closed surfaces go, makes the presents that found
// every buffer held and delivers the input.
void WaylandWindow::Dispatch(int TimeoutMs) {
  while (wl_display_prepare_read(display_.get()) != 0) {
    if (wl_display_dispatch_pending(display_.get()) < 0) Lost();
  }
  if (wl_display_flush(display_.get()) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display_.get());
    Lost();
  }
  pollfd connection{wl_display_get_fd(display_.get()), POLLIN, 0};
  if (poll(&connection, 1, TimeoutMs) > 0) {
    if (wl_display_read_events(display_.get()) < 0) Lost();
  } else {
    wl_display_cancel_read(display_.get());
  }
  if (wl_display_dispatch_pending(display_.get()) < 0) Lost();
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
  if (wl_display_roundtrip(display_.get()) < 0) Lost();
  if (role_ == WaylandRole::Screensaver && std::ranges::any_of(panes_, closed)) QueueClose();
  std::erase_if(panes_, closed);
}

void WaylandWindow::Lost() {
  const wl_interface* interface = nullptr;
  std::uint32_t id = 0;
  if (wl_display_get_error(display_.get()) == EPROTO) {
    const std::uint32_t code = wl_display_get_protocol_error(display_.get(), &interface, &id);
    throw DisplayLost("the display " + name_ + " reported a protocol error " +
                      std::to_string(code) + " of " +
                      (interface != nullptr ? interface->name : "an object"));
  }
  throw DisplayLost("lost the display " + name_);
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
// bands' from the next present on, which makes new bands. Destroying a
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
    if (!band->wanted.Empty() && band->FreeBuffer(shm_.get(), Surface.scale) == nullptr) {
      Surface.pending = true;
    }
  }
  if (Surface.pending) return;
  for (const std::unique_ptr<Band>& band : Surface.bands) {
    Show(Surface, *band, shown, painted, count);
  }
  Back(Surface);
  wl_surface_commit(Surface.surface);
  if (wl_display_flush(display_.get()) < 0 && errno != EAGAIN) Lost();
}

// Bands across the whole of the surface, which lies at Shown of the window.
void WaylandWindow::Divide(Pane& Surface, const Box& Shown) {
  for (const Box& area : BandAreas(Shown)) {
    Band& band = *Surface.bands.emplace_back(std::make_unique<Band>());
    band.area = area;
    band.surface = wl_compositor_create_surface(compositor_.get());
    TakeNoInput(band.surface);
    if (Surface.scale > 1) wl_surface_set_buffer_scale(band.surface, Surface.scale);
    band.subsurface =
        wl_subcompositor_get_subsurface(subcompositor_.get(), band.surface, Surface.surface);
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
  Buffer& buffer = *Rows.FreeBuffer(shm_.get(), Surface.scale);
  buffer.Shape(Rows.wanted, Surface.scale);
  for (std::size_t i = 0; i < Count; ++i) {
    const ImageSurface& image = *Painted[i];
    const PixelRows pixels = image.Rows();
    const Box rectangle = Box{0, 0, pixels.Width, pixels.Height}.Offset(image.Left(), image.Top());
    Convert({buffer.pixels, buffer.box, buffer.scale}, pixels, image.Left(), image.Top(),
            i == 0 ? Rows.wanted : rectangle.Meet(Rows.wanted));
  }
  wl_surface_attach(Rows.surface, buffer.buffer, 0, 0);
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
    white_ = std::make_unique<Buffer>(shm_.get(), 9 * 4);
    white_->Shape({0, 0, 3, 3}, 1);
    std::fill_n(white_->pixels, 9, kXrgbWhite);
  }
  wl_surface_attach(Surface.surface, white_->buffer, 0, 0);
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
