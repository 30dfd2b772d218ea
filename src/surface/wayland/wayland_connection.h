// The connection to a Wayland compositor and the globals bound on it.
//
// What it promises:
//  - it owns wl_display and every global it binds, and lets them go in an
//    order that makes destruction safe whatever was made: the globals
//    before the connection, whether its constructor finished or threw;
//  - each global bound at the lowest of the compositor's version and the
//    highest this program knows, so that no event of a newer version, for
//    which no handler is set, is ever sent;
//  - seats and outputs announced and removed, recorded for the window to
//    take after dispatch;
//  - dispatch with a deadline that sleeps on the connection, flushing, and
//    round trips; the compositor's pings answered after each dispatch;
//  - the one place where a broken connection, or a protocol error, becomes
//    the run-time error that ends the program (DisplayLost).
// What it leaves out: globals that come after start-up, other than seats
// and outputs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_subcompositor;
struct wp_viewporter;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zxdg_decoration_manager_v1;
struct zxdg_output_manager_v1;

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

// A seat or an output that the compositor announced: its name in the
// registry and the version this program binds it at.
struct WaylandGlobal {
  std::uint32_t Name;
  std::uint32_t Version;
};

class WaylandConnection {
 public:
  // Connects to the compositor that WAYLAND_DISPLAY names and binds its
  // globals. Throws DisplayError when no compositor answers or it lacks
  // one that every window needs.
  WaylandConnection();

  wl_display* Display() const { return display_.get(); }
  wl_compositor* Compositor() const { return compositor_.get(); }
  std::uint32_t CompositorVersion() const { return compositor_version_; }
  wl_shm* Shm() const { return shm_.get(); }
  wl_subcompositor* Subcompositor() const { return subcompositor_.get(); }
  wp_viewporter* Viewporter() const { return viewporter_.get(); }
  xdg_wm_base* WmBase() const { return wm_base_.get(); }
  // Those a compositor may lack: none then.
  zxdg_decoration_manager_v1* Decorations() const { return decorations_.get(); }
  zwlr_layer_shell_v1* LayerShell() const { return layer_shell_.get(); }
  zxdg_output_manager_v1* OutputManager() const { return output_manager_.get(); }

  // Binds an announced seat or output.
  wl_seat* BindSeat(const WaylandGlobal& Seat) const;
  wl_output* BindOutput(const WaylandGlobal& Output) const;
  // The seats and the outputs announced, and the names of the globals
  // removed, since the last call.
  std::vector<WaylandGlobal> TakeNewSeats();
  std::vector<WaylandGlobal> TakeNewOutputs();
  std::vector<std::uint32_t> TakeRemoved();

  // Reads and dispatches what the compositor has sent, waiting for it at
  // most TimeoutMs; then answers its pings.
  void Dispatch(int TimeoutMs);
  // Sends what is queued, and waits until the compositor has answered all
  // of it.
  void Roundtrip();
  void Flush();
  // Throws DisplayLost, naming what the connection says went wrong.
  [[noreturn]] void Fail() const;

 private:
  friend struct ConnectionListeners;

  void Bound(std::uint32_t Name, const char* Interface, std::uint32_t Version);
  void AnswerPings();

  std::string name_;
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
  std::vector<WaylandGlobal> new_seats_;
  std::vector<WaylandGlobal> new_outputs_;
  std::vector<std::uint32_t> removed_;
  std::vector<std::uint32_t> pings_;
};
