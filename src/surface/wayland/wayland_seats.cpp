#include "surface/wayland/wayland_seats.h"

#include <linux/input-event-codes.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "surface/wayland/wayland_protocols.h"

namespace {

// The modifier bits of the core keyboard, in the order every keymap gives
// them: Shift, Lock, Control, Mod1 (Alt).
constexpr std::uint32_t kShiftBit = 1U << 0, kControlBit = 1U << 2, kAltBit = 1U << 3;
// How far the pointer may drift, either way, before it ends a screensaver:
// a desk's knock is not a user.
constexpr float kPointerSlack = 4;

constexpr ButtonNames<std::uint32_t> kButtons{BTN_LEFT, BTN_RIGHT, BTN_MIDDLE};

}  // namespace

struct WaylandSeats::Seat {
  std::vector<Heard>* heard;
  std::uint32_t name;
  wl_seat* seat;
  wl_keyboard* keyboard = nullptr;
  wl_pointer* pointer = nullptr;
  // As the compositor last said: what the seat has, the modifiers held,
  // the pointer's surface and place on it, the serial of its last entry
  // while the pointer is still to be hidden.
  std::uint32_t capabilities = 0;
  std::uint32_t modifiers = 0;
  const wl_surface* surface = nullptr;
  double x = 0, y = 0;
  std::optional<std::uint32_t> entered;
  // Where the pointer was first seen over the window, in the animation.
  std::optional<AnimationPoint> first;

  std::int16_t Shift() const {
    return PictureWindow::ShiftState(modifiers & kShiftBit, modifiers & kControlBit,
                                     modifiers & kAltBit);
  }
  void Hear(Heard::Kind What, std::uint32_t Code = 0) {
    heard->push_back({What, this, Code, Shift(), surface, x, y});
  }
  void Take(bool Keyboard, bool Pointer);
  // Whether the pointer, now At, has moved past the slack from where it was
  // first seen.
  bool Strays(AnimationPoint At) {
    if (!first) first = At;
    return std::abs(At.X - first->X) > kPointerSlack || std::abs(At.Y - first->Y) > kPointerSlack;
  }
  ~Seat() {
    Take(false, false);
    LetGo(seat, WL_SEAT_RELEASE_SINCE_VERSION, wl_seat_release, wl_seat_destroy);
  }
};

// The seats' C callbacks: they only record what happened.
struct SeatListeners {
  using Seat = WaylandSeats::Seat;
  using Kind = WaylandSeats::Heard::Kind;

  static void Capabilities(void* Data, wl_seat*, std::uint32_t Capabilities) {
    static_cast<Seat*>(Data)->capabilities = Capabilities;
  }
  static constexpr wl_seat_listener kSeat{Capabilities, Ignore};

  // The keymap is not needed: its descriptor is closed at once.
  static void Keymap(void*, wl_keyboard*, std::uint32_t, std::int32_t Descriptor, std::uint32_t) {
    close(Descriptor);
  }
  static void Key(void* Data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t Code,
                  std::uint32_t State) {
    if (State == WL_KEYBOARD_KEY_STATE_PRESSED) static_cast<Seat*>(Data)->Hear(Kind::Key, Code);
  }
  static void Modifiers(void* Data, wl_keyboard*, std::uint32_t, std::uint32_t Depressed,
                        std::uint32_t Latched, std::uint32_t, std::uint32_t) {
    static_cast<Seat*>(Data)->modifiers = Depressed | Latched;
  }
  static constexpr wl_keyboard_listener kKeyboard{Keymap, Ignore, Ignore, Key, Modifiers, Ignore};

  static void Enter(void* Data, wl_pointer*, std::uint32_t Serial, wl_surface* Surface,
                    wl_fixed_t X, wl_fixed_t Y) {
    auto* seat = static_cast<Seat*>(Data);
    seat->surface = Surface;
    seat->entered = Serial;
    Motion(Data, nullptr, 0, X, Y);
  }
  static void Leave(void* Data, wl_pointer*, std::uint32_t, wl_surface*) {
    auto* seat = static_cast<Seat*>(Data);
    seat->surface = nullptr;
    seat->entered.reset();
  }
  static void Motion(void* Data, wl_pointer*, std::uint32_t, wl_fixed_t X, wl_fixed_t Y) {
    auto* seat = static_cast<Seat*>(Data);
    seat->x = wl_fixed_to_double(X);
    seat->y = wl_fixed_to_double(Y);
    seat->Hear(Kind::Motion);
  }
  static void Button(void* Data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t Code,
                     std::uint32_t State) {
    if (State == WL_POINTER_BUTTON_STATE_PRESSED) {
      static_cast<Seat*>(Data)->Hear(Kind::Button, Code);
    }
  }
  // Its handlers set by name: a newer libwayland's table has members for
  // events of versions newer than the one bound, which are never sent.
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

namespace {

// Gets a device of Seat with Get and hands it to Listen when it is Wanted
// and not Held; lets a Held one go when it is not wanted any more.
template <typename Device, typename Listening>
void Follow(bool Wanted, Device*& Held, wl_seat* Seat, Device* (*Get)(wl_seat*),
            const Listening& Listen, std::uint32_t ReleaseSince, void (*Release)(Device*),
            void (*Destroy)(Device*)) {
  if (Wanted && Held == nullptr) {
    Held = Get(Seat);
    Listen(Held);
  } else if (!Wanted && Held != nullptr) {
    LetGo(Held, ReleaseSince, Release, Destroy);
    Held = nullptr;
  }
}

}  // namespace

void WaylandSeats::Seat::Take(bool Keyboard, bool Pointer) {
  Follow(
      Keyboard, keyboard, seat, wl_seat_get_keyboard,
      [this](wl_keyboard* Got) { wl_keyboard_add_listener(Got, &SeatListeners::kKeyboard, this); },
      WL_KEYBOARD_RELEASE_SINCE_VERSION, wl_keyboard_release, wl_keyboard_destroy);
  Follow(
      Pointer, pointer, seat, wl_seat_get_pointer,
      [this](wl_pointer* Got) { wl_pointer_add_listener(Got, &SeatListeners::kPointer, this); },
      WL_POINTER_RELEASE_SINCE_VERSION, wl_pointer_release, wl_pointer_destroy);
  if (pointer == nullptr) {
    surface = nullptr;
    entered.reset();
  }
}

WaylandSeats::WaylandSeats() = default;
WaylandSeats::~WaylandSeats() = default;

void WaylandSeats::Add(wl_seat* Bound, std::uint32_t Name) {
  seats_.push_back(std::make_unique<Seat>(&heard_, Name, Bound));
  wl_seat_add_listener(Bound, &SeatListeners::kSeat, seats_.back().get());
}

void WaylandSeats::Remove(std::uint32_t Name) {
  const auto gone = std::ranges::find_if(
      seats_, [Name](const std::unique_ptr<Seat>& seat) { return seat->name == Name; });
  if (gone == seats_.end()) return;
  std::erase_if(heard_, [&](const Heard& heard) { return heard.From == gone->get(); });
  seats_.erase(gone);
}

std::vector<SeatInput> WaylandSeats::Settle(const SurfaceLocator& Locate, bool EndsOnMotion) {
  for (const std::unique_ptr<Seat>& seat : seats_) {
    seat->Take(seat->capabilities & WL_SEAT_CAPABILITY_KEYBOARD,
               seat->capabilities & WL_SEAT_CAPABILITY_POINTER);
    if (EndsOnMotion && seat->entered && seat->pointer != nullptr) {
      wl_pointer_set_cursor(seat->pointer, *seat->entered, nullptr, 0, 0);
    }
    seat->entered.reset();
  }
  std::vector<SeatInput> inputs;
  for (const Heard& heard : std::exchange(heard_, {})) {
    if (heard.What == Heard::Kind::Key) {
      inputs.push_back({SeatInput::Kind::Key, static_cast<std::int16_t>(heard.Code),
                        PressedButton::Other, heard.Shift});
      continue;
    }
    const std::optional<AnimationPoint> at = Locate(heard.Surface, heard.X, heard.Y);
    if (!at) continue;
    if (heard.What == Heard::Kind::Button) {
      inputs.push_back(
          {SeatInput::Kind::Button, 0, kButtons.Of(heard.Code), heard.Shift, at->X, at->Y});
    } else if (EndsOnMotion && heard.From->Strays(*at)) {
      inputs.push_back({SeatInput::Kind::Strayed});
    }
  }
  return inputs;
}
