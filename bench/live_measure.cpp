// What the running program costs, measured from outside as a user's desktop
// sees it: CPU share, start-up to the first frame on screen, key press to the
// process being gone, and peak memory; on a private Xvfb server. Then the
// screensaver program on the root window of a full-HD and a 4K screen, side
// by side with a peer screensaver program. The running program is measured
// on X11 and as a client of two Wayland compositors, Weston nested in the
// Xvfb server and sway headless, in the same run.
//
// Given the Windows program and a wine prefix, last the Windows program under
// wine, with the CPU share of wine's server beside it.
//
//   boska-live-measure BOSKA BOSKA_RENDER BOSKA_SCREENSAVER PEER [BOSKA_EXE WINEPREFIX]
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "compositors.h"
#include "process.h"
// clang-format off
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// CPU time of a process so far, all its threads, in seconds, from the
// scheduler's count.
double CpuSeconds(pid_t pid) {
  double nanoseconds = 0;
  std::error_code error;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream file(task.path() / "schedstat");
    double thread = 0;
    file >> thread;
    nanoseconds += thread;
  }
  return nanoseconds / 1e9;
}

// The process of this name (the kernel's short name), if one runs.
pid_t PidOf(const std::string& name) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream file(entry.path() / "comm");
    std::string comm;
    if (std::getline(file, comm) && comm == name) return std::stoi(entry.path().filename());
  }
  return -1;
}

double PeakMegabytes(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

// How many distinct shared objects the process has mapped.
int SharedObjects(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/maps");
  std::set<std::string> objects;
  for (std::string line; std::getline(file, line);) {
    const std::size_t path = line.find('/');
    if (path != std::string::npos && line.find(".so", path) != std::string::npos) {
      objects.insert(line.substr(path));
    }
  }
  return static_cast<int>(objects.size());
}

bool ShowsAFrame(const XServer& server, Window window) {
  int width = 0, height = 0;
  const std::vector<std::uint32_t> pixels = server.Screenshot(window, width, height);
  return std::any_of(pixels.begin(), pixels.end(), [](std::uint32_t p) { return p != 0xFFFFFF; });
}

void PressKey(const XServer& server, Window window) {
  Display* display = server.Connection();
  XWindowAttributes attributes;
  XGetWindowAttributes(display, window, &attributes);
  XTestFakeMotionEvent(display, -1, attributes.x + 100, attributes.y + 100, CurrentTime);
  const KeyCode space = XKeysymToKeycode(display, XK_space);
  XTestFakeKeyEvent(display, space, True, CurrentTime);
  XTestFakeKeyEvent(display, space, False, CurrentTime);
  XFlush(display);
}

struct Run {
  double first_frame_ms = 0;
  double gone_ms = 0;
};

// Starts boska, waits for its first frame on screen, presses a key after
// Wait (or as soon as the window is mapped, during the first plant) and
// times the exit.
Run StartAndEnd(const XServer& server, const std::string& boska,
                std::optional<Clock::duration> wait) {
  Run run;
  const Clock::time_point start = Clock::now();
  Child child({boska}, {"DISPLAY=" + server.Name()});
  const std::optional<Window> window = server.WaitForWindow(child.Pid(), 10s);
  if (!window) throw std::runtime_error("boska showed no window");
  if (!wait) {
    PressKey(server, *window);
    const Clock::time_point pressed = Clock::now();
    child.WaitFor(5s);
    run.gone_ms = Milliseconds(Clock::now() - pressed);
    return run;
  }
  while (!ShowsAFrame(server, *window)) std::this_thread::sleep_for(1ms);
  run.first_frame_ms = Milliseconds(Clock::now() - start);
  std::this_thread::sleep_for(*wait);
  PressKey(server, *window);
  const Clock::time_point pressed = Clock::now();
  child.WaitFor(5s);
  run.gone_ms = Milliseconds(Clock::now() - pressed);
  return run;
}

struct Cost {
  double cpu_share = 0;  // percent of one core
  double peak_megabytes = 0;
  int shared_objects = 0;
  double server_share = 0;  // of the display server, if one was given
};

// What a running boska costs over Span, from Start after its start, and
// what its display server Server (if given) spends meanwhile.
Cost Measure(const Child& boska, std::chrono::seconds Start = 1s, std::chrono::seconds Span = 20s,
             pid_t Server = -1) {
  std::this_thread::sleep_for(Start);
  const double cpu_before = CpuSeconds(boska.Pid());
  const double server_before = Server > 0 ? CpuSeconds(Server) : 0;
  std::this_thread::sleep_for(Span);
  const auto share = [&](double Seconds) { return Seconds / double(Span.count()) * 100; };
  return {share(CpuSeconds(boska.Pid()) - cpu_before), PeakMegabytes(boska.Pid()),
          SharedObjects(boska.Pid()), Server > 0 ? share(CpuSeconds(Server) - server_before) : 0};
}

double RenderPeakMegabytes(const std::string& render, int frames) {
  const Finished run =
      RunToEnd({render, "--size", "1920x1080", "--seed", "1", "--frames", std::to_string(frames)});
  if (run.status != 0) throw std::runtime_error("boska-render failed: " + run.err);
  return static_cast<double>(run.peak_kilobytes) / 1024;
}

void Row(const char* what, const std::string& measured, const char* target) {
  std::printf("| %-58s | %12s | %-9s |\n", what, measured.c_str(), target);
}

std::string Format(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// boska.exe under wine at 494 x 441, and wine's server over the same 20 s.
void MeasureUnderWine(const std::string& exe, const std::string& prefix) {
  const XServer server;
  Child boska({"wine", exe},
              {"WINEPREFIX=" + prefix, "WINEDEBUG=-all", "DISPLAY=" + server.Name()});
  server.WaitForWindow(boska.Pid(), 20s);
  const pid_t wineserver = std::max(PidOf("wineserver"), PidOf("wineserver64"));
  std::this_thread::sleep_for(1s);
  const double before = CpuSeconds(wineserver);
  const Cost cost = Measure(boska);
  const double server_share = (CpuSeconds(wineserver) - before) / 21 * 100;
  std::printf("\n| %-44s | %12s | %14s |\n|%s|%s|%s|\n", "under wine 8, 20 s", "CPU share",
              "peak memory", std::string(46, '-').c_str(), std::string(14, '-').c_str(),
              std::string(16, '-').c_str());
  std::printf("| %-44s | %12s | %14s |\n", "boska.exe", Format("%.2f %%", cost.cpu_share).c_str(),
              Format("%.1f MB", cost.peak_megabytes).c_str());
  std::printf("| %-44s | %12s | %14s |\n", "wineserver", Format("%.2f %%", server_share).c_str(),
              "");
}

// A row of the full-screen table.
void ScreenRow(const std::string& What, const std::string& Screen, const std::string& Share,
               const std::string& Memory, const std::string& Server) {
  std::printf("| %-44s | %-9s | %12s | %14s | %12s |\n", What.c_str(), Screen.c_str(),
              Share.c_str(), Memory.c_str(), Server.c_str());
}

}  // namespace

// The screensaver program and the peer, each on the root window of a screen
// of each size, twice in turn, with what the X server spends meanwhile in
// painting what they send; then the screensaver program over, and as the
// wallpaper under, a headless sway's output of the same size. On the root
// window the picture's ink grows for some forty frames, and each plant costs
// what its own random branching makes it cost: each program runs for 45 s
// first and is then measured over a minute.
void CompareOnFullScreens(const std::string& screensaver, const std::string& peer) {
  std::printf("\n");
  ScreenRow("on the root window, a minute each after 45 s", "screen", "CPU share", "peak memory",
            "X server");
  std::printf("|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(11, '-').c_str(),
              std::string(14, '-').c_str(), std::string(16, '-').c_str(),
              std::string(14, '-').c_str());
  for (const char* size : {"1920x1080", "3840x2160"}) {
    const XServer server({std::string(size) + "x24"});
    double shares[2] = {0, 0};
    for (int turn = 0; turn < 2; ++turn) {
      for (const int which : {0, 1}) {
        const std::string& program = which == 0 ? screensaver : peer;
        const Cost cost = Measure(Child({program, "--root"}, {"DISPLAY=" + server.Name()}), 45s,
                                  60s, server.Pid());
        shares[which] += cost.cpu_share;
        ScreenRow(program.substr(program.rfind('/') + 1), size, Format("%.2f %%", cost.cpu_share),
                  Format("%.1f MB", cost.peak_megabytes), Format("%.2f %%", cost.server_share));
      }
    }
    ScreenRow("boska-screensaver / peer, both turns", size, Format("%.2f", shares[0] / shares[1]),
              "", "");
    const Sway sway;
    sway.Message({"output", "HEADLESS-1", "resolution", size});
    for (const char* role : {"", "--wallpaper"}) {
      std::vector<std::string> command{screensaver};
      if (*role != 0) command.push_back(role);
      const Cost cost = Measure(Child(command, sway.ClientEnvironment()));
      ScreenRow(std::string("boska-screensaver ") + role + " (sway)", size,
                Format("%.2f %%", cost.cpu_share), Format("%.1f MB", cost.peak_megabytes), "");
    }
  }
}

int main(int argc, char** argv) {
  if (argc != 5 && argc != 7) {
    std::fprintf(stderr,
                 "usage: boska-live-measure BOSKA BOSKA_RENDER BOSKA_SCREENSAVER PEER "
                 "[BOSKA_EXE WINEPREFIX]\n");
    return 2;
  }
  const std::string boska = argv[1], render = argv[2];
  XServer server;

  std::vector<double> first_frames, gone;
  std::mt19937 random(7);
  for (int trial = 0; trial < 8; ++trial) {
    const auto wait = std::chrono::milliseconds(std::uniform_int_distribution(0, 2500)(random));
    const Run run = StartAndEnd(server, boska, wait);
    first_frames.push_back(run.first_frame_ms);
    gone.push_back(run.gone_ms);
  }
  std::vector<double> gone_mid_plant;
  for (int trial = 0; trial < 4; ++trial) {
    gone_mid_plant.push_back(StartAndEnd(server, boska, std::nullopt).gone_ms);
  }

  Child on_x11({boska}, {"DISPLAY=" + server.Name()});
  server.WaitForWindow(on_x11.Pid(), 10s);
  const Cost x11 = Measure(on_x11);
  Weston weston(server, 800, 600);
  std::vector<std::string> wayland_only = weston.ClientEnvironment();
  wayland_only.push_back("DISPLAY=");
  const Cost weston_cost = Measure(Child({boska}, wayland_only));
  const Sway sway;
  const Cost sway_cost = Measure(Child({boska}, sway.ClientEnvironment()));

  const double render_100 = RenderPeakMegabytes(render, 100);
  const double render_1000 = RenderPeakMegabytes(render, 1000);

  Row("what (boska at 494 x 441 under Xvfb unless said)", "measured", "target");
  std::printf("|%s|%s|%s|\n", std::string(60, '-').c_str(), std::string(14, '-').c_str(),
              std::string(11, '-').c_str());
  Row("CPU share of one core over 20 s", Format("%.2f %%", x11.cpu_share), "<= 0.12 %");
  Row("CPU share of one core over 20 s, Wayland (Weston)", Format("%.2f %%", weston_cost.cpu_share),
      "<= X11");
  Row("CPU share of one core over 20 s, Wayland (sway)", Format("%.2f %%", sway_cost.cpu_share),
      "<= X11");
  Row("exec to first frame on screen (median of 8)", Format("%.0f ms", Median(first_frames)),
      "<= 150 ms");
  Row("key press to process gone (longest of 8, random times)",
      Format("%.0f ms", *std::max_element(gone.begin(), gone.end())), "<= 100 ms");
  Row("key press to process gone (longest of 4, during 1st plant)",
      Format("%.0f ms", *std::max_element(gone_mid_plant.begin(), gone_mid_plant.end())),
      "<= 100 ms");
  Row("peak resident memory", Format("%.1f MB", x11.peak_megabytes), "<= 8 MB");
  Row("peak resident memory, Wayland (Weston)", Format("%.1f MB", weston_cost.peak_megabytes),
      "<= 20 MB");
  Row("peak resident memory, Wayland (sway)", Format("%.1f MB", sway_cost.peak_megabytes),
      "<= 20 MB");
  Row("shared objects mapped, X11 / Weston / sway",
      std::to_string(x11.shared_objects) + " / " + std::to_string(weston_cost.shared_objects) +
          " / " + std::to_string(sway_cost.shared_objects),
      "");
  Row("peak memory, boska-render 1920 x 1080, 100 frames", Format("%.1f MB", render_100),
      "<= 40 MB");
  Row("peak memory, boska-render 1920 x 1080, 1,000 frames", Format("%.1f MB", render_1000),
      "flat");
  CompareOnFullScreens(argv[3], argv[4]);
  if (argc == 7) MeasureUnderWine(argv[5], argv[6]);
  return 0;
}
