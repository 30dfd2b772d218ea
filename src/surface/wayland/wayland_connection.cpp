#include "surface/wayland/wayland_connection.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "surface/display.h"
#include "surface/wayland/wayland_protocols.h"

// The registry's and the shell's C callbacks: they bind and record, the
// connection and the window act after dispatch.
struct ConnectionListeners {
  static void Global(void* Data, wl_registry*, std::uint32_t Name, const char* Interface,
                     std::uint32_t Version) {
    static_cast<WaylandConnection*>(Data)->Bound(Name, Interface, Version);
  }
  static void GlobalRemove(void* Data, wl_registry*, std::uint32_t Name) {
    static_cast<WaylandConnection*>(Data)->removed_.push_back(Name);
  }
  static constexpr wl_registry_listener kRegistry{Global, GlobalRemove};

  static void Ping(void* Data, xdg_wm_base*, std::uint32_t Serial) {
    static_cast<WaylandConnection*>(Data)->pings_.push_back(Serial);
  }
  static constexpr xdg_wm_base_listener kWmBase{Ping};
};

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

WaylandConnection::WaylandConnection() {
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
  wl_registry_add_listener(registry_.get(), &ConnectionListeners::kRegistry, this);
  const char* missing = wl_display_roundtrip(display_.get()) < 0 ? "answer"
                        : compositor_ == nullptr                 ? "wl_compositor"
                        : shm_ == nullptr                        ? "wl_shm"
                        : subcompositor_ == nullptr              ? "wl_subcompositor"
                        : viewporter_ == nullptr                 ? "wp_viewporter"
                        : wm_base_ == nullptr                    ? "xdg_wm_base"
                                                                 : nullptr;
  if (missing != nullptr) throw DisplayError(std::string("the compositor gives no ") + missing);
}

void WaylandConnection::Bound(std::uint32_t Name, const char* Interface, std::uint32_t Version) {
  const auto bind = [&](const wl_interface& Wanted, std::uint32_t Highest) {
    return wl_registry_bind(registry_.get(), Name, &Wanted, std::min(Version, Highest));
  };
  const std::string_view interface = Interface;
  if (interface == wl_compositor_interface.name) {
    compositor_version_ = std::min(Version, 4U);
    compositor_.reset(static_cast<wl_compositor*>(bind(wl_compositor_interface, 4)));
  } else if (interface == wl_subcompositor_interface.name) {
    subcompositor_.reset(static_cast<wl_subcompositor*>(bind(wl_subcompositor_interface, 1)));
  } else if (interface == wp_viewporter_interface.name) {
    viewporter_.reset(static_cast<wp_viewporter*>(bind(wp_viewporter_interface, 1)));
  } else if (interface == wl_shm_interface.name) {
    shm_.reset(static_cast<wl_shm*>(bind(wl_shm_interface, 1)));
  } else if (interface == xdg_wm_base_interface.name) {
    wm_base_.reset(static_cast<xdg_wm_base*>(bind(xdg_wm_base_interface, 1)));
    xdg_wm_base_add_listener(wm_base_.get(), &ConnectionListeners::kWmBase, this);
  } else if (interface == zxdg_decoration_manager_v1_interface.name) {
    decorations_.reset(
        static_cast<zxdg_decoration_manager_v1*>(bind(zxdg_decoration_manager_v1_interface, 1)));
  } else if (interface == zwlr_layer_shell_v1_interface.name) {
    layer_shell_.reset(static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface, 3)));
  } else if (interface == zxdg_output_manager_v1_interface.name) {
    output_manager_.reset(
        static_cast<zxdg_output_manager_v1*>(bind(zxdg_output_manager_v1_interface, 2)));
  } else if (interface == wl_seat_interface.name) {
    new_seats_.push_back({Name, std::min(Version, 5U)});
  } else if (interface == wl_output_interface.name) {
    new_outputs_.push_back({Name, std::min(Version, 3U)});
  }
}

wl_seat* WaylandConnection::BindSeat(const WaylandGlobal& Seat) const {
  return static_cast<wl_seat*>(
      wl_registry_bind(registry_.get(), Seat.Name, &wl_seat_interface, Seat.Version));
}

wl_output* WaylandConnection::BindOutput(const WaylandGlobal& Output) const {
  return static_cast<wl_output*>(
      wl_registry_bind(registry_.get(), Output.Name, &wl_output_interface, Output.Version));
}

std::vector<WaylandGlobal> WaylandConnection::TakeNewSeats() {
  return std::exchange(new_seats_, {});
}

std::vector<WaylandGlobal> WaylandConnection::TakeNewOutputs() {
  return std::exchange(new_outputs_, {});
}

std::vector<std::uint32_t> WaylandConnection::TakeRemoved() { return std::exchange(removed_, {}); }

void WaylandConnection::Dispatch(int TimeoutMs) {
  wl_display* const display = display_.get();
  while (wl_display_prepare_read(display) != 0) {
    if (wl_display_dispatch_pending(display) < 0) Fail();
  }
  if (wl_display_flush(display) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display);
    Fail();
  }
  pollfd connection{wl_display_get_fd(display), POLLIN, 0};
  if (poll(&connection, 1, TimeoutMs) > 0) {
    if (wl_display_read_events(display) < 0) Fail();
  } else {
    wl_display_cancel_read(display);
  }
  if (wl_display_dispatch_pending(display) < 0) Fail();
  AnswerPings();
}

void WaylandConnection::Roundtrip() {
  if (wl_display_roundtrip(display_.get()) < 0) Fail();
  AnswerPings();
}

void WaylandConnection::Flush() {
  if (wl_display_flush(display_.get()) < 0 && errno != EAGAIN) Fail();
}

void WaylandConnection::AnswerPings() {
  for (const std::uint32_t serial : std::exchange(pings_, {})) {
    xdg_wm_base_pong(wm_base_.get(), serial);
  }
}

void WaylandConnection::Fail() const {
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
