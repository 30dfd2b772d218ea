#include "surface/wayland/wayland_window.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "surface/display.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

// The modifier bits of the core keyboard, in the order every keymap gives
// them: Shift, Lock, Control, Mod1 (Alt).
constexpr std::uint32_t kShiftBit = 1U << 0, kControlBit = 1U << 2, kAltBit = 1U << 3;
constexpr std::uint32_t kWhitePixel = 0xFFFFFF;

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
  float x = 0;
  float y = 0;

  std::int16_t Shift() const {
    return ShiftState(modifiers & kShiftBit, modifiers & kControlBit, modifiers & kAltBit);
  }
  void Take(bool Keyboard, bool Pointer);
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
  int scale = 1;

  ~Output() {
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
      std::uint32_t* const row = pixels + (std::ptrdiff_t(y) * width + Area.Left) * scale;
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

  static void SurfaceConfigure(void* Data, xdg_surface* Surface, std::uint32_t Serial);
  static constexpr xdg_surface_listener kSurface{SurfaceConfigure};

  static void ToplevelConfigure(void* Data, xdg_toplevel*, std::int32_t Width, std::int32_t Height,
                                wl_array*) {
    auto* window = static_cast<WaylandWindow*>(Data);
    window->proposed_width_ = Width;
    window->proposed_height_ = Height;
  }
  static void Close(void* Data, xdg_toplevel*) { static_cast<WaylandWindow*>(Data)->QueueClose(); }
  static constexpr xdg_toplevel_listener kToplevel{ToplevelConfigure, Close, Ignore, Ignore};

  static constexpr zxdg_toplevel_decoration_v1_listener kDecoration{Ignore};

  static void Scale(void* Data, wl_output*, std::int32_t Factor) {
    auto* output = static_cast<WaylandWindow::Output*>(Data);
    output->scale = std::max(1, Factor);
    output->window->FollowScale();
  }
  static constexpr wl_output_listener kOutput{Ignore, Ignore, Ignore, Scale, Ignore, Ignore};

  static void OnOutput(void* Data, wl_surface*, wl_output* Output) {
    auto* window = static_cast<WaylandWindow*>(Data);
    window->entered_.push_back(Output);
    window->FollowScale();
  }
  static void OffOutput(void* Data, wl_surface*, wl_output* Output) {
    auto* window = static_cast<WaylandWindow*>(Data);
    std::erase(window->entered_, Output);
    window->FollowScale();
  }
  static constexpr wl_surface_listener kWlSurface{OnOutput, OffOutput};

  static void Release(void* Data, wl_buffer*) {
    static_cast<WaylandWindow::Buffer*>(Data)->busy = false;
  }
  static constexpr wl_buffer_listener kBuffer{Release};

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

  static void Enter(void* Data, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t X,
                    wl_fixed_t Y) {
    Motion(Data, nullptr, 0, X, Y);
  }
  static void Motion(void* Data, wl_pointer*, std::uint32_t, wl_fixed_t X, wl_fixed_t Y) {
    auto* seat = static_cast<WaylandWindow::Seat*>(Data);
    seat->x = static_cast<float>(wl_fixed_to_double(X));
    seat->y = static_cast<float>(wl_fixed_to_double(Y));
  }
  static void Button(void* Data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t Code,
                     std::uint32_t State) {
    const auto* seat = static_cast<WaylandWindow::Seat*>(Data);
    if (State == WL_POINTER_BUTTON_STATE_PRESSED) {
      seat->window->QueueButton(ButtonOf(Code), seat->Shift(), seat->x, seat->y);
    }
  }
  static constexpr wl_pointer_listener kPointer{Enter,  Ignore, Motion, Button, Ignore,
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
  } else if (interface == wl_seat_interface.name) {
    auto* seat = static_cast<wl_seat*>(bind(wl_seat_interface, 5));
    window->seats_.push_back(std::make_unique<WaylandWindow::Seat>(window, Name, seat));
    wl_seat_add_listener(seat, &kSeat, window->seats_.back().get());
  } else if (interface == wl_output_interface.name) {
    auto* output = static_cast<wl_output*>(bind(wl_output_interface, 3));
    window->outputs_.push_back(std::make_unique<WaylandWindow::Output>(window, Name, output));
    wl_output_add_listener(output, &kOutput, window->outputs_.back().get());
  }
}

void WaylandListeners::SurfaceConfigure(void* Data, xdg_surface* Surface, std::uint32_t Serial) {
  auto* window = static_cast<WaylandWindow*>(Data);
  xdg_surface_ack_configure(Surface, Serial);
  if (window->configured_) return;
  window->configured_ = true;
  if (window->proposed_width_ > 0 && window->proposed_height_ > 0) {
    window->width_ = window->proposed_width_;
    window->height_ = window->proposed_height_;
  }
  window->Activated();
}

WaylandWindow::WaylandWindow(RandomSource& Random, const char* Program)
    : PictureWindow(Random), program_(Program) {
  OpenClosedStandardStreams();
  const char* name = Named("WAYLAND_DISPLAY");
  name_ = name != nullptr ? name : "wayland-0";
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) throw DisplayError("no compositor answers");
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &WaylandListeners::kRegistry, this);
  const char* missing = wl_display_roundtrip(display_) < 0 ? "answer"
                        : compositor_ == nullptr           ? "wl_compositor"
                        : shm_ == nullptr                  ? "wl_shm"
                        : wm_base_ == nullptr              ? "xdg_wm_base"
                                                           : nullptr;
  if (missing != nullptr) {
    wl_display_disconnect(display_);
    throw DisplayError(std::string("the compositor gives no ") + missing);
  }
  EndOnSignals();
}

WaylandWindow::~WaylandWindow() {
  for (std::unique_ptr<Buffer>& buffer : buffers_) buffer.reset();
  if (decoration_ != nullptr) zxdg_toplevel_decoration_v1_destroy(decoration_);
  if (toplevel_ != nullptr) xdg_toplevel_destroy(toplevel_);
  if (xdg_surface_ != nullptr) xdg_surface_destroy(xdg_surface_);
  if (surface_ != nullptr) wl_surface_destroy(surface_);
  seats_.clear();
  outputs_.clear();
  if (decorations_ != nullptr) zxdg_decoration_manager_v1_destroy(decorations_);
  xdg_wm_base_destroy(wm_base_);
  wl_shm_destroy(shm_);
  wl_compositor_destroy(compositor_);
  wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

// Nothing is attached before the first configure, which activates the
// window.
void WaylandWindow::Show() {
  surface_ = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(surface_, &WaylandListeners::kWlSurface, this);
  xdg_surface_ = xdg_wm_base_get_xdg_surface(wm_base_, surface_);
  xdg_surface_add_listener(xdg_surface_, &WaylandListeners::kSurface, this);
  toplevel_ = xdg_surface_get_toplevel(xdg_surface_);
  xdg_toplevel_add_listener(toplevel_, &WaylandListeners::kToplevel, this);
  xdg_toplevel_set_title(toplevel_, kTitle);
  xdg_toplevel_set_app_id(toplevel_, "boska");
  xdg_toplevel_set_min_size(toplevel_, kDesignWidth, kDesignHeight);
  xdg_toplevel_set_max_size(toplevel_, kDesignWidth, kDesignHeight);
  if (decorations_ != nullptr) {
    decoration_ = zxdg_decoration_manager_v1_get_toplevel_decoration(decorations_, toplevel_);
    zxdg_toplevel_decoration_v1_add_listener(decoration_, &WaylandListeners::kDecoration, this);
    zxdg_toplevel_decoration_v1_set_mode(decoration_, ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
  }
  wl_surface_commit(surface_);
}

void WaylandWindow::DoEvents() { Dispatch(0); }

void WaylandWindow::WaitEvents(double Seconds) { Dispatch(WaitMilliseconds(Seconds)); }

// Reads and dispatches what the compositor has sent, waiting for it at most
// TimeoutMs; then makes a present that found every buffer held and delivers
// the input.
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
  if (present_pending_) Present();
  DeliverInput();
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
  std::erase_if(outputs_, [&](const std::unique_ptr<Output>& output) {
    if (output->name != Name) return false;
    std::erase(entered_, output->output);
    return true;
  });
  FollowScale();
}

// The largest scale of the outputs that the surface is on becomes the
// buffers' from the next present on, which makes new buffers. Destroying a
// buffer that the compositor still holds is sound as long as nothing
// writes into it again.
void WaylandWindow::FollowScale() {
  int wanted = 1;
  if (compositor_version_ >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
    for (const std::unique_ptr<Output>& output : outputs_) {
      if (std::ranges::find(entered_, output->output) != entered_.end()) {
        wanted = std::max(wanted, output->scale);
      }
    }
  }
  if (wanted == scale_) return;
  scale_ = wanted;
  for (std::unique_ptr<Buffer>& buffer : buffers_) buffer.reset();
  wl_surface_set_buffer_scale(surface_, scale_);
  present_pending_ = configured_;
}

// A buffer that the compositor does not hold, made at the window's size the
// first time it is wanted; none when all are held.
WaylandWindow::Buffer* WaylandWindow::FreeBuffer() {
  for (std::unique_ptr<Buffer>& buffer : buffers_) {
    if (buffer && !buffer->busy) return buffer.get();
    if (buffer) continue;
    buffer = std::make_unique<Buffer>();
    const int width = width_ * scale_;
    const int height = height_ * scale_;
    const int stride = width * 4;
    buffer->bytes = std::size_t(stride) * std::size_t(height);
    buffer->width = width;
    buffer->scale = scale_;
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
    buffer->inked = {};
    wl_shm_pool* pool = wl_shm_create_pool(shm_, descriptor, std::int32_t(buffer->bytes));
    buffer->buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(descriptor);
    wl_buffer_add_listener(buffer->buffer, &WaylandListeners::kBuffer, buffer.get());
    return buffer.get();
  }
  return nullptr;
}

// While the surface in front covers the window, the buffer differs from its
// picture only within the ink of both, which alone is converted.
void WaylandWindow::Present() {
  if (!configured_) return;
  Buffer* buffer = FreeBuffer();
  present_pending_ = buffer == nullptr;
  if (buffer == nullptr) return;
  const Box window{0, 0, width_, height_};
  bool whole = false;
  Box changed;
  const auto placed = [&](const ImageSurface& Image, const Box& Part) {
    return Box{Part.Left + Image.Left(), Part.Top + Image.Top(), Part.Right + Image.Left(),
               Part.Bottom + Image.Top()}
        .Meet(window);
  };
  Repaint(
      width_, height_,
      [&] {
        std::fill_n(buffer->pixels, buffer->bytes / 4, kWhitePixel);
        whole = true;
        changed = buffer->inked = window;
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
  wl_surface_attach(surface_, buffer->buffer, 0, 0);
  if (compositor_version_ >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
    wl_surface_damage_buffer(surface_, changed.Left * scale_, changed.Top * scale_,
                             (changed.Right - changed.Left) * scale_,
                             (changed.Bottom - changed.Top) * scale_);
  } else {
    wl_surface_damage(surface_, changed.Left, changed.Top, changed.Right - changed.Left,
                      changed.Bottom - changed.Top);
  }
  wl_surface_commit(surface_);
  buffer->busy = true;
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) Lost();
}
