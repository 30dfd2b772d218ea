#include "surface/wayland/wayland_window.h"

#include <algorithm>
#include <array>
#include <utility>

#include "surface/display.h"
#include "surface/wayland/wayland_protocols.h"

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
  NewPane(nullptr).BecomeToplevel(connection_, role_ == WaylandRole::FullScreen);
}

// A layer over the whole of Screen, unless it has one: the overlay layer
// taking the keyboard for a screensaver, the background layer taking no
// input for a wallpaper.
void WaylandWindow::Cover(const WaylandOutput& Screen) {
  const bool covered = std::ranges::any_of(
      panes_, [&](const std::unique_ptr<Pane>& pane) { return pane->screen == &Screen; });
  if (!shown_ || !Layered() || covered) return;
  NewPane(&Screen).BecomeLayer(connection_, role_ == WaylandRole::Wallpaper);
}

WaylandPane& WaylandWindow::NewPane(const WaylandOutput* Screen) {
  return *panes_.emplace_back(std::make_unique<WaylandPane>(connection_, Screen));
}

// A frame's work waits until the compositor asks for a frame of one of
// the panes: while nothing of the window is shown (covered, on a workspace
// not shown), it sleeps on the connection, with no timer.
void WaylandWindow::DoEvents() {
  connection_.Dispatch(0);
  Settle();
  const auto wanted = [](const std::unique_ptr<Pane>& pane) { return pane->frame_wanted; };
  while (!std::ranges::any_of(panes_, wanted)) {
    connection_.Dispatch(-1);
    Settle();
  }
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
    if (pane->AcknowledgeConfigure()) {
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
    std::erase_if(panes_,
                  [&](const std::unique_ptr<Pane>& pane) { return pane->screen == gone.get(); });
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
  Layer.DropBands();
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
  Surface.DropBands();
  Surface.pending = Surface.configured;
}

void WaylandWindow::Present() {
  for (const std::unique_ptr<Pane>& pane : panes_) Present(*pane);
}

// The pane shows the pictures as they are painted: the surface behind,
// while the one in front does not yet cover the window, then the one in
// front; the bands' commits take effect together, with the surface's.
void WaylandWindow::Present(Pane& Surface) {
  if (!Surface.configured || !laid_out_) return;
  std::array<const ImageSurface*, 2> painted{};
  std::size_t count = 0;
  Repaint(
      width_, height_, [] {}, [&](const ImageSurface& Image, int) { painted[count++] = &Image; });
  if (!white_) {
    // The white pixel in the middle of a white 3 × 3: a compositor that
    // filters as it stretches finds white around it too.
    white_ = std::make_unique<ShmBuffer>(connection_.Shm(), 9 * 4);
    white_->Shape({0, 0, 3, 3}, 1);
    std::fill_n(white_->Pixels().Pixels, 9, kXrgbWhite);
  }
  Surface.Present(connection_, *white_, Surface.place.Offset(-left_, -top_),
                  std::span(painted.data(), count));
  connection_.Flush();
}
