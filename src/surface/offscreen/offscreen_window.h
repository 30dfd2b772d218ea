// A window without a display, for tools and tests. Its clock is simulated:
// it stands still while the animation draws and moves on only while the
// animation waits, so frames run back to back and every run with the same
// random numbers is the same. Once the given number of frames has been
// shown, the next event processing delivers a key press, which ends the
// animation the way a user would.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "surface/offscreen/gif_file.h"
#include "surface/offscreen/trace.h"
#include "surface/picture_window.h"

struct OffscreenOptions {
  int Width = kDesignWidth;
  int Height = kDesignHeight;
  long Frames = 40;
  // Seconds since midnight when the run starts.
  double StartTime = 0;
  // Where the trace goes, if anywhere.
  std::ostream* Trace = nullptr;
  // Where each frame's front picture goes as frame-0001.png, …, if anywhere.
  std::string PngDir{};
  // Where each frame's front picture goes as the next frame, if anywhere.
  GifAnimation* Gif = nullptr;
  // Whether to time each frame's drawing.
  bool Time = false;
};

// How long frames took to draw, from their event processing to being
// raised, in milliseconds: frames that drew random numbers grew a plant.
struct FrameTimes {
  std::vector<double> Plant;
  std::vector<double> CopyOnly;
};

class OffscreenWindow : public PictureWindow {
 public:
  OffscreenWindow(const OffscreenOptions& Options, RandomSource& Random);

  Single ScaleWidth() override;
  Single ScaleHeight() override;
  Surface& pb(Int16 Index) override;
  void DoEvents() override;
  void WaitEvents(double Seconds) override;
  Single Timer() override;

  Single Rnd() override;

  long FramesShown() const { return frames_shown_; }
  const FrameTimes& Times() const { return times_; }
  using PictureWindow::FrontImage;

 protected:
  void Show() override { Activated(); }
  // There is no screen to paint.
  void Present() override {}
  void Raised(int Index) override;

 private:
  void HandleEvents();

  OffscreenOptions options_;
  std::array<std::optional<TracingSurface>, 2> traced_;
  long frames_shown_ = 0;
  double now_;
  FrameTimes times_;
  std::chrono::steady_clock::time_point frame_start_;
  long draws_ = 0;
  long draws_at_frame_start_ = 0;
};
