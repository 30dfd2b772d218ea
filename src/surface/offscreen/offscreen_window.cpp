#include "surface/offscreen/offscreen_window.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int kEscape = 27;

}  // namespace

OffscreenWindow::OffscreenWindow(const OffscreenOptions& Options, RandomSource& Random)
    : PictureWindow(Random), options_(Options), now_(Options.StartTime) {
  if (options_.Trace != nullptr) {
    for (std::int16_t index = 0; index < 2; ++index) {
      traced_[index].emplace(index, Image(index), *options_.Trace);
    }
  }
}

Single OffscreenWindow::ScaleWidth() { return static_cast<float>(options_.Width); }

Single OffscreenWindow::ScaleHeight() { return static_cast<float>(options_.Height); }

Surface& OffscreenWindow::pb(Int16 Index) {
  Surface& surface = Image(Index);
  return options_.Trace != nullptr ? *traced_[Index.Value()] : surface;
}

void OffscreenWindow::HandleEvents() {
  if (frames_shown_ >= options_.Frames) QueueKey(kEscape, 0);
  DeliverInput();
}

void OffscreenWindow::DoEvents() {
  HandleEvents();
  if (options_.Trace != nullptr) *options_.Trace << "frame " << frames_shown_ + 1 << '\n';
  frame_start_ = std::chrono::steady_clock::now();
  draws_at_frame_start_ = draws_;
}

Single OffscreenWindow::Rnd() {
  ++draws_;
  return PictureWindow::Rnd();
}

void OffscreenWindow::WaitEvents(double Seconds) {
  HandleEvents();
  now_ += Seconds;
}

Single OffscreenWindow::Timer() { return static_cast<float>(std::fmod(now_, kSecondsPerDay)); }

void OffscreenWindow::Raised(int) {
  ++frames_shown_;
  if (options_.Time) {
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - frame_start_;
    (draws_ != draws_at_frame_start_ ? times_.Plant : times_.CopyOnly).push_back(took.count());
  }
  if (options_.Gif != nullptr) options_.Gif->Add(FrontImage().Rows());
  if (options_.PngDir.empty()) return;
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%04ld.png", frames_shown_);
  FrontImage().WritePng(options_.PngDir + name);
}
