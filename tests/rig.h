// An off-screen window with scripted random numbers whose trace the tests
// read, and the window object f on it.
#pragma once

#include <deque>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "animation/form.h"
#include "surface/offscreen/offscreen_window.h"
#include "surface/random.h"

// A window whose clock gives scripted readings (the last one repeats) and
// that records every event processing.
class ScriptedWindow : public OffscreenWindow {
 public:
  ScriptedWindow(const OffscreenOptions& Options, RandomSource& Random)
      : OffscreenWindow(Options, Random) {}

  Single ScaleWidth() override { return Width ? Single(*Width) : OffscreenWindow::ScaleWidth(); }
  Single ScaleHeight() override {
    return Height ? Single(*Height) : OffscreenWindow::ScaleHeight();
  }
  void Randomize(Single Seed) override {
    Seeds.push_back(Seed);
    OffscreenWindow::Randomize(Seed);
  }
  Single Timer() override {
    if (Clock.empty()) return OffscreenWindow::Timer();
    const float reading = Clock.front();
    if (Clock.size() > 1) Clock.pop_front();
    return reading;
  }
  void DoEvents() override {
    ++EventPasses;
    OffscreenWindow::DoEvents();
  }
  void WaitEvents(double Seconds) override {
    Waits.push_back(Seconds);
    OffscreenWindow::WaitEvents(Seconds);
  }

  std::optional<float> Width;
  std::optional<float> Height;
  std::vector<Single> Seeds;
  std::deque<float> Clock;
  int EventPasses = 0;
  std::vector<double> Waits;
};

struct Rig {
  explicit Rig(std::vector<float> Randoms = {}, int Width = 494, int Height = 441,
               long Frames = 1 << 30)
      : random(std::move(Randoms)),
        window({.Width = Width, .Height = Height, .Frames = Frames, .Trace = &trace}, random) {}

  // A frame whose plant stops at the first random number the script lacks.
  void FrameUntilRandomsRunOut() {
    try {
      f.Frame();
    } catch (const RandomExhausted&) {
    }
  }

  // The trace so far, line by line; reading it empties it.
  std::vector<std::string> Trace() {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream text(trace.str());
    while (std::getline(text, line)) lines.push_back(line);
    trace.str("");
    return lines;
  }

  ScriptedRandom random;
  std::ostringstream trace;
  ScriptedWindow window;
  Form f{window};
};

// A rig after start-up, drawing on pb(1) in gray 95.
struct DrawingRig : Rig {
  explicit DrawingRig(std::vector<float> Randoms) : Rig(std::move(Randoms)) {
    f.StartUp();
    f.Cur = 1;
    f.Gray = 95;
    Trace();
  }
};
