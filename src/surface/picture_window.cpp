#include "surface/picture_window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "surface/clock.h"

namespace {

struct Placement {
  int left, top, width, height;
};

constexpr std::array<Placement, 2> kDesignPlacement{{{150, 30, 316, 241}, {75, 115, 316, 241}}};

// How long a window waits to be shown and activated before the animation
// starts anyway: a desktop without a window manager may never say so.
constexpr std::chrono::milliseconds kShowTimeout{2000};

}  // namespace

PictureWindow::PictureWindow(RandomSource& Random) : random_(Random) {
  for (int index = 0; index < 2; ++index) {
    const Placement& at = kDesignPlacement[index];
    images_[index] =
        std::make_unique<ImageSurface>(at.left, at.top, at.width, at.height, [this, index] {
          front_ = index;
          Raised(index);
        });
  }
}

void PictureWindow::Run(WindowEvents& Handlers) {
  handlers_ = &Handlers;
  Show();
  WaitUntilActivated();
  Present();
  Handlers.Form_Activate();
}

void PictureWindow::WaitUntilActivated() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + kShowTimeout;
  for (Clock::time_point now = Clock::now(); !activated_ && now < deadline; now = Clock::now()) {
    WaitEvents(std::chrono::duration<double>(deadline - now).count());
  }
}

Single PictureWindow::Timer() { return static_cast<float>(SecondsSinceMidnight()); }

void PictureWindow::Raised(int) { Present(); }

ImageSurface& PictureWindow::Image(Int16 Index) {
  if (Index != 0 && Index != 1) {
    throw SurfaceError("there is no surface pb(" + std::to_string(Index.Value()) + ")");
  }
  return *images_[Index.Value()];
}

void PictureWindow::Repaint(int Width, int Height, const std::function<void()>& White,
                            const PaintPicture& Picture) const {
  const ImageSurface& front = FrontImage();
  const PixelRows pixels = front.Rows();
  const bool covers = front.Left() <= 0 && front.Top() <= 0 &&
                      front.Left() + pixels.Width >= Width && front.Top() + pixels.Height >= Height;
  if (!covers) {
    White();
    Picture(*images_[1 - front_], 1 - front_);
  }
  Picture(front, front_);
}

void PictureWindow::QueueKey(std::int16_t Code, std::int16_t Shift) {
  inputs_.push_back({Input::Kind::Key, Code, Shift});
}

// The handlers' numbers: left 1, right 2, middle 4, any other 8.
void PictureWindow::QueueButton(PressedButton Button, std::int16_t Shift, float X, float Y) {
  constexpr std::int16_t kCodes[] = {1, 2, 4, 8};
  inputs_.push_back({Input::Kind::Button, kCodes[static_cast<int>(Button)], Shift, X, Y});
}

void PictureWindow::QueueClose() { inputs_.push_back({Input::Kind::Close}); }

void PictureWindow::QueueFailure(const std::string& What) {
  if (failure_.empty()) failure_ = What;
}

void PictureWindow::DeliverInput() {
  if (!failure_.empty()) throw SurfaceError(std::exchange(failure_, {}));
  const std::vector<Input> inputs = std::exchange(inputs_, {});
  const auto front = static_cast<std::int16_t>(front_);
  for (const Input& input : inputs) {
    switch (input.What) {
      case Input::Kind::Key:
        handlers_->pb_KeyDown(front, input.Code, input.Shift);
        break;
      case Input::Kind::Button:
        handlers_->pb_MouseDown(front, input.Code, input.Shift, input.X, input.Y);
        break;
      case Input::Kind::Close:
        End();
    }
  }
}

std::int16_t PictureWindow::ShiftState(bool Shift, bool Control, bool Alt) {
  return static_cast<std::int16_t>((Shift ? 1 : 0) | (Control ? 2 : 0) | (Alt ? 4 : 0));
}

int PictureWindow::WaitMilliseconds(double Seconds) {
  return static_cast<int>(std::clamp(std::ceil(Seconds * 1000), 1.0, 1000.0));
}
