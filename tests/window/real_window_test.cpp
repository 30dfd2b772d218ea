// The real windows in this process, on a private Xvfb server: after every
// frame the screen shows exactly the picture of the surface raised last,
// frames come 0.9 s apart, and the process sleeps in between. The program's
// own window on X11 and on a Wayland compositor nested in the X server, and
// the screensaver's drawing on the root window.
#include <gtest/gtest.h>
#include <time.h>

#include <functional>
#include <iostream>

#include "animation/form.h"
#include "animation/program.h"
#include "surface/wayland/wayland_window.h"
#include "surface/x11/foreign_window.h"
#include "surface/x11/x_window.h"
#include "compositors.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double Seconds(Clock::duration Span) { return std::chrono::duration<double>(Span).count(); }

// The window as the animation sees it, with a look at the start of every
// frame, when the frame before is on the screen.
class WatchedWindow final : public Platform {
 public:
  WatchedWindow(Platform& Inner, std::function<void()> FrameStart)
      : inner_(Inner), frame_start_(std::move(FrameStart)) {}

  void Run(WindowEvents& Handlers) override { inner_.Run(Handlers); }
  Single ScaleWidth() override { return inner_.ScaleWidth(); }
  Single ScaleHeight() override { return inner_.ScaleHeight(); }
  Surface& pb(Int16 Index) override { return inner_.pb(Index); }
  void DoEvents() override {
    frame_start_();
    inner_.DoEvents();
  }
  void WaitEvents(double Seconds) override { inner_.WaitEvents(Seconds); }
  Single Timer() override { return inner_.Timer(); }
  void Randomize(Single Seed) override { inner_.Randomize(Seed); }
  Single Rnd() override { return inner_.Rnd(); }

 private:
  Platform& inner_;
  std::function<void()> frame_start_;
};

// Where a screen differs from the picture Front, or nothing if it shows
// exactly that.
std::string FirstDifference(const std::vector<std::uint32_t>& Screen, const PixelRows& Front) {
  if (Screen.size() != std::size_t(Front.Width) * std::size_t(Front.Height)) return "size";
  for (int y = 0; y < Front.Height; ++y) {
    for (int x = 0; x < Front.Width; ++x) {
      const std::uint32_t shown = Screen[std::size_t(y * Front.Width + x)];
      if (shown != Front.Row(y)[x] * 0x010101U) {
        return "at " + std::to_string(x) + ", " + std::to_string(y) + ": " + std::to_string(shown) +
               " for gray " + std::to_string(Front.Row(y)[x]);
      }
    }
  }
  return "";
}

// Runs eight frames on Real, which shows them on the screen that Shown
// takes a picture of.
void ShowsEveryFrameAtItsPace(Platform& Real,
                              const std::function<std::vector<std::uint32_t>()>& Shown) {
  const Form* shown = nullptr;
  std::vector<Clock::time_point> starts;
  std::vector<double> cpu;
  WatchedWindow window(Real, [&] {
    starts.push_back(Clock::now());
    cpu.push_back(CpuSeconds());
    const std::size_t done = starts.size() - 1;
    if (done >= 1 && done <= 4) {
      const PixelRows front = static_cast<const ImageSurface&>(Real.pb(shown->Cur)).Rows();
      // The window has sent the picture, or (a Wayland window whose buffers
      // the compositor still held) sends it once its events say a buffer is
      // free; the server may not yet have drawn it (the first pause ends at
      // once). Nothing else changes it while the animation waits here.
      std::string difference;
      WaitUntil(
          [&] {
            Real.DoEvents();
            return (difference = FirstDifference(Shown(), front)).empty();
          },
          1s);
      ASSERT_EQ(difference, "") << "frame " << done;
    }
    if (done == 8) End();
  });
  Form f(window);
  shown = &f;
  ASSERT_EQ(EndOf([&] { window.Run(f); }, std::cerr), 0);
  // The first pause ends at once (there is no frame before it to wait for).
  for (std::size_t frame = 2; frame < 8; ++frame) {
    const double period = Seconds(starts[frame + 1] - starts[frame]);
    EXPECT_GT(period, 0.85) << frame;
    EXPECT_LT(period, 1.0) << frame;
  }
  // Frames 5 to 8, with nothing looked at: a generous bound that only a
  // pause that spins instead of sleeping breaks.
  EXPECT_LT((cpu[8] - cpu[5]) / Seconds(starts[8] - starts[5]), 0.2);
}

TEST(RealWindow, ShowsTheRaisedPictureEveryFrameAtItsPaceAndSleepsBetween) {
  XServer server;
  setenv("DISPLAY", server.Name().c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  Generator random(3);
  XWindow x11(random, "boska");
  ShowsEveryFrameAtItsPace(x11, [&] {
    return server.Screenshot(*server.WaitForWindow(getpid(), std::chrono::seconds(1)));
  });
}

// sway's output is its window on the X server, at the screen's top left.
TEST(RealWindow, OnWaylandToo) {
  XServer server({"1024x768x24"}, {"-ac"});
  const Sway sway(&server);
  for (const std::string& variable : sway.ClientEnvironment()) putenv(strdup(variable.c_str()));
  Generator random(3);
  WaylandWindow wayland(random);
  ShowsEveryFrameAtItsPace(wayland, [&] {
    int left = 0, top = 0;
    std::sscanf(sway.Node("boska").c_str(), "%*[^{]{\"x\":%d,\"y\":%d", &left, &top);
    const std::vector<std::uint32_t> screen =
        server.Screenshot(DefaultRootWindow(server.Connection()));
    std::vector<std::uint32_t> window;
    for (int y = top; y < top + kDesignHeight; ++y) {
      window.insert(window.end(), screen.begin() + y * 1024 + left,
                    screen.begin() + y * 1024 + left + kDesignWidth);
    }
    return window;
  });
}

// With shared memory and, as on a remote server, without.
TEST(RealWindow, OnTheRootWindowToo) {
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, std::vector<std::string>{"-extension", "MIT-SHM"}}) {
    XServer server({"800x600x24"}, options);
    setenv("DISPLAY", server.Name().c_str(), 1);
    Generator random(3);
    ForeignWindow root(random, std::nullopt, "boska-screensaver");
    ShowsEveryFrameAtItsPace(
        root, [&] { return server.Screenshot(DefaultRootWindow(server.Connection())); });
  }
}

}  // namespace
