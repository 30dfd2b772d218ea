// The input seats of a Wayland window, as they come and go, with their
// keyboards and pointers.
//
// What they promise: the keys and buttons pressed on every seat, in the
// order they came, each with the modifiers held at the time, a button with
// the place of the pointer in the animation; the pointer hidden over the
// window's surfaces where it is asked; the pointer moved past a small slack
// from where it was first seen, for a screensaver. The listeners only
// record; Settle acts after dispatch.
// What they leave out: keymaps (any key ends the animation, so the key's
// code is enough).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "surface/picture_window.h"

struct wl_seat;
struct wl_surface;

// What a seat did, in the animation's terms.
struct SeatInput {
  enum class Kind { Key, Button, Strayed };
  Kind What;
  std::int16_t Code = 0;  // a key's
  PressedButton Button = PressedButton::Other;
  std::int16_t Shift = 0;
  float X = 0, Y = 0;  // a button's place
};

// A point in the animation's coordinates.
struct AnimationPoint {
  float X, Y;
};

// The point in the animation of the point (X, Y) of one of the window's
// surfaces; none for a surface that is not the window's.
using SurfaceLocator =
    std::function<std::optional<AnimationPoint>(const wl_surface*, double, double)>;

class WaylandSeats {
 public:
  WaylandSeats();
  ~WaylandSeats();
  WaylandSeats(const WaylandSeats&) = delete;
  WaylandSeats& operator=(const WaylandSeats&) = delete;

  // A seat bound under the registry name Name; it is let go with Remove,
  // or at the end.
  void Add(wl_seat* Bound, std::uint32_t Name);
  void Remove(std::uint32_t Name);

  // Takes or lets go of the keyboards and pointers the seats now have,
  // hides the pointer over the window where EndsOnMotion, and returns what
  // the seats did since the last call: the keys and buttons, and where
  // EndsOnMotion the pointer moved past the slack.
  std::vector<SeatInput> Settle(const SurfaceLocator& Locate, bool EndsOnMotion);

  struct Seat;
  // What a listener heard, in the order it came.
  struct Heard {
    enum class Kind { Key, Button, Motion };
    Kind What;
    Seat* From;
    std::uint32_t Code = 0;
    std::int16_t Shift = 0;
    const wl_surface* Surface = nullptr;
    double X = 0, Y = 0;
  };

 private:
  std::vector<std::unique_ptr<Seat>> seats_;
  std::vector<Heard> heard_;
};
