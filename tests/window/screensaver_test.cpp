// The screensaver program on real X servers: under the real screensaver
// daemon, in a window another client made, on the root window, and on a full
// screen of its own; and on real Wayland compositors, over every output and
// as the wallpaper.
// GoogleTest comes before Xlib, whose macros (None, Bool) clash with it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <thread>

#include "compositors.h"
#include "one_line.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kScreensaver = BOSKA_SCREENSAVER_PATH;
const std::string kBoska = BOSKA_PATH;
constexpr std::uint32_t kBlack = 0;  // no plant is black in its first minute

long CountOf(const std::vector<std::uint32_t>& Pixels, std::uint32_t Colour) {
  return std::count(Pixels.begin(), Pixels.end(), Colour);
}

// Whether the first plant's trunk stands near the bottom of a picture Width
// pixels wide, as the animation draws it when its size is the window's: it
// grows from the bottom edge, and one shrunk copy (right after the start)
// or two lift it by some 50 or 100 pixels.
bool StandsOnTheBottom(const std::vector<std::uint32_t>& Pixels, std::size_t Width) {
  const auto last = std::find(Pixels.rbegin(), Pixels.rend(), kFirstPlant);
  if (last == Pixels.rend()) return false;
  const std::size_t lowest = (Pixels.size() - 1 - std::size_t(last - Pixels.rbegin())) / Width;
  return lowest >= Pixels.size() / Width - 100;
}

// The daemon of Debian's xscreensaver package, as the unprivileged user
// nobody (it starts no screensaver for root), with a private home whose
// settings list only the screensaver program, copied where nobody may run it.
class Daemon {
 public:
  explicit Daemon(const XServer& Server) {
    char folder[] = "/tmp/boska-daemon-XXXXXX";
    if (mkdtemp(folder) == nullptr) throw std::runtime_error("no folder for the daemon");
    folder_ = folder;
    program_ = folder_ / "boska-screensaver";
    fs::copy_file(kScreensaver, program_);
    fs::create_directory(folder_ / "home");
    std::ofstream(folder_ / "home" / ".xscreensaver")
        << "mode: one\nselected: 0\nlock: False\nfade: False\nunfade: False\nsplash: False\n"
        << "programs: " << program_.string() << " --root\n";
    chmod(folder, 0755);
    const std::string home = (folder_ / "home").string();
    RunToEnd({"chown", "-R", "65534:65534", home});
    as_nobody_ = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env"};
    as_nobody_.insert(as_nobody_.end(), {"HOME=" + home, "DISPLAY=" + Server.Name()});
    daemon_ = std::make_unique<Child>(Command({"xscreensaver", "-no-splash", "-verbose"}));
    WaitUntil([&] { return Tell("-version") == 0; }, 5s);
  }
  ~Daemon() {
    daemon_->Signal(SIGTERM);
    daemon_->WaitFor(2s);
    fs::remove_all(folder_);
  }

  // Starts Words as the daemon's user, with its settings.
  std::unique_ptr<Child> Run(std::vector<std::string> Words) const {
    return std::make_unique<Child>(Command(std::move(Words)));
  }

  // What the daemon has said so far, for a failure's message.
  std::string Log() const { return daemon_->Err(); }

  // Whether the daemon says Words within Timeout.
  bool Says(const std::string& Words, std::chrono::milliseconds Timeout) const {
    return WaitUntil([&] { return Log().find(Words) != std::string::npos; }, Timeout);
  }

  // Runs xscreensaver-command with Request; its exit status.
  int Tell(const std::string& Request) const {
    return RunToEnd(Command({"xscreensaver-command", Request})).status;
  }

  // Whether the screensaver program runs (a zombie does not).
  bool Running() const {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::error_code error;
      if (fs::read_symlink(entry.path() / "exe", error) != program_) continue;
      std::ifstream stat(entry.path() / "stat");
      std::string pid, name, state;
      if (stat >> pid >> name >> state && state != "Z") return true;
    }
    return false;
  }

 private:
  std::vector<std::string> Command(std::vector<std::string> Words) const {
    Words.insert(Words.begin(), as_nobody_.begin(), as_nobody_.end());
    return Words;
  }

  fs::path folder_;
  fs::path program_;
  std::vector<std::string> as_nobody_;
  std::unique_ptr<Child> daemon_;
};

TEST(Screensaver, RunsUnderTheScreensaverDaemonOverTheWholeScreen) {
  XServer server({"1024x768x24"});
  const Daemon daemon(server);
  ASSERT_EQ(daemon.Tell("-activate"), 0);
  const Window root = DefaultRootWindow(server.Connection());
  const auto screen = server.WaitForFirstPlant(root, 3s);
  ASSERT_TRUE(screen);
  EXPECT_GT(CountOf(*screen, 0xFFFFFF), long(screen->size()) / 2);
  EXPECT_TRUE(StandsOnTheBottom(*screen, 1024));

  ASSERT_TRUE(daemon.Running());
  ASSERT_EQ(daemon.Tell("-deactivate"), 0);
  // The daemon's helper passes the signal on at times more than a second
  // after the command (so it does for its own screensavers): the program's
  // second starts when the helper says so.
  ASSERT_TRUE(daemon.Says("killing pid", 3s)) << daemon.Log();
  EXPECT_TRUE(WaitUntil([&] { return !daemon.Running(); }, 1s)) << daemon.Log();
}

// The daemon's settings program previews the selected screensaver in a
// pane of its window, with --window-id appended to the configured command,
// which says --root: the window named wins.
TEST(Screensaver, ShowsInThePreviewOfTheDaemonsSettings) {
  XServer server({"1024x768x24"});
  const Daemon daemon(server);
  const std::unique_ptr<Child> settings = daemon.Run({"xscreensaver-settings"});
  EXPECT_TRUE(server.WaitForFirstPlant(DefaultRootWindow(server.Connection()), 15s))
      << settings->Err();
}

// On a server without shared memory, as a remote one is: the pictures go
// over the connection.
TEST(Screensaver, DrawsIntoAWindowByIdSizedToItAndEndsWhenItIsDestroyed) {
  XServer server({"1024x768x24"}, {"-extension", "MIT-SHM"});
  Display* display = server.Connection();
  const Window root = DefaultRootWindow(display);
  const std::vector<std::uint32_t> before = server.Screenshot(root);
  const Window window = XCreateSimpleWindow(display, root, 300, 200, 600, 500, 0, 0, 0);
  XMapWindow(display, window);
  XSync(display, False);
  Child screensaver({kScreensaver, "--window-id", std::to_string(window)},
                    {"DISPLAY=" + server.Name()});

  const auto inside = server.WaitForFirstPlant(window, 3s);
  ASSERT_TRUE(inside) << screensaver.Err();
  EXPECT_TRUE(StandsOnTheBottom(*inside, 600));
  EXPECT_EQ(CountOf(*inside, kBlack), 0);
  std::vector<std::uint32_t> after = server.Screenshot(root);
  for (int y = 200; y < 700; ++y) {
    std::copy_n(before.begin() + y * 1024 + 300, 600, after.begin() + y * 1024 + 300);
  }
  EXPECT_TRUE(after == before) << "the screen outside the window changed";

  XDestroyWindow(display, window);
  XSync(display, False);
  EXPECT_EQ(screensaver.WaitFor(1s), 1);
  EXPECT_THAT(screensaver.Err(), OneLineStartingWith("boska-screensaver: "));
}

// Only one client may select button presses on the root window.
bool RootButtonsAreFree(Display* display) {
  static bool refused = false;
  refused = false;
  XErrorHandler previous =
      XSetErrorHandler([](Display*, XErrorEvent*) { return refused = true, 0; });
  XSelectInput(display, DefaultRootWindow(display), ButtonPressMask);
  XSync(display, False);
  XSelectInput(display, DefaultRootWindow(display), NoEventMask);
  XSync(display, False);
  XSetErrorHandler(previous);
  return !refused;
}

TEST(Screensaver, OnTheRootLeavesInputToOthersRepaintsExposuresAndEndsOnSignals) {
  XServer server({"1024x768x24"});
  Display* display = server.Connection();
  const Window root = DefaultRootWindow(display);
  std::mt19937 random(11);
  for (const int signal : {SIGTERM, SIGINT, SIGTERM}) {
    Child screensaver({kScreensaver, "--root"}, {"DISPLAY=" + server.Name()});
    ASSERT_TRUE(server.WaitForFirstPlant(root, 3s)) << screensaver.Err();
    EXPECT_TRUE(RootButtonsAreFree(display));
    // A window shown and taken away over the root's top left: the server
    // paints the root's black-and-white weave there, the program its picture.
    const Window cover = XCreateSimpleWindow(display, root, 0, 0, 200, 200, 0, 0, 0);
    XMapWindow(display, cover);
    XSync(display, False);
    XDestroyWindow(display, cover);
    XSync(display, False);
    EXPECT_TRUE(WaitUntil([&] { return CountOf(server.Screenshot(root), kBlack) == 0; }, 150ms))
        << "not repainted";

    // Not a wait: the signal comes at a random point of the frame.
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 900));
    screensaver.Signal(signal);
    EXPECT_EQ(screensaver.WaitFor(100ms), 0) << "signal " << signal;
  }
}

// Program and server each in an IPC namespace of its own, as in containers:
// the number of the program's shared memory names none in the server's
// namespace, or another segment, large enough.
TEST(Screensaver, DrawsFromAnotherIpcNamespace) {
  const std::vector<std::string> own_namespace{"unshare", "--ipc"};
  // Decoys for the program's first two segments, numbers 0 and 1.
  const std::string decoy = "ipcmk -M 16777216 >/dev/null && ";
  for (const std::string& decoys : {std::string(), decoy + decoy}) {
    std::vector<std::string> launcher = own_namespace;
    launcher.insert(launcher.end(), {"sh", "-c", decoys + "exec \"$0\" \"$@\""});
    XServer server({"1024x768x24"}, {}, launcher);
    std::vector<std::string> command = own_namespace;
    command.insert(command.end(), {kScreensaver, "--root"});
    Child screensaver(command, {"DISPLAY=" + server.Name()});
    EXPECT_TRUE(server.WaitForFirstPlant(DefaultRootWindow(server.Connection()), 3s)) << decoys;
  }
}

TEST(Screensaver, EndsWithOneLineWhenTheDisplayGoes) {
  XServer server({"1024x768x24"});
  Child screensaver({kScreensaver, "--root"}, {"DISPLAY=" + server.Name()});
  ASSERT_TRUE(server.WaitForFirstPlant(DefaultRootWindow(server.Connection()), 3s));
  server.Kill();
  EXPECT_EQ(screensaver.WaitFor(1s), 1);
  EXPECT_THAT(screensaver.Err(), OneLineStartingWith("boska-screensaver: lost the display"));
}

TEST(Screensaver, OnAFullScreenOfItsOwnEndsOnAKeyOrAClick) {
  XServer server({"1024x768x24"});
  for (const std::vector<std::string>& press :
       {std::vector<std::string>{"keydown", "space"}, std::vector<std::string>{"mousedown", "1"}}) {
    Child screensaver({kScreensaver}, {"DISPLAY=" + server.Name()});
    const std::optional<Window> window = server.WaitForWindow(screensaver.Pid(), 5s);
    ASSERT_TRUE(window) << screensaver.Err();
    EXPECT_TRUE(server.WaitForFirstPlant(*window, 3s));
    int width = 0, height = 0;
    server.Screenshot(*window, width, height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    server.XDoTool({"mousemove", "--window", std::to_string(*window), "300", "300"});
    server.XDoTool(press);
    EXPECT_EQ(screensaver.WaitFor(1s), 0) << press[0];
    server.XDoTool({press[0] == "keydown" ? "keyup" : "mouseup", press[1]});
  }
}

// sway with two outputs side by side, one to be taken away as a monitor
// unplugged. One animation spans both; white is the animation's.
TEST(ScreensaverOnWayland, CoversEveryOutputAsOutputsComeAndGo) {
  const Sway sway(2);
  Child saver({kScreensaver}, sway.ClientEnvironment());
  // Both outputs covered (sway's own background is black), the first plant
  // on whichever one its random place puts it.
  EXPECT_TRUE(WaitUntil(
      [&] {
        long plant = 0;
        for (const int output : {1, 2}) {
          const std::vector<std::uint32_t> shot = sway.Screenshot(sway.Output(output));
          if (shot.empty() || CountOf(shot, kBlack) > 0) return false;
          plant += FirstPlantGrays(shot);
        }
        return plant >= 1000;
      },
      10s))
      << saver.Err();
  sway.AddOutput();
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::vector<std::uint32_t> shot = sway.Screenshot(sway.Output(3));
        return !shot.empty() && CountOf(shot, 0xFFFFFF) == long(shot.size());
      },
      3s))
      << "the new output is not covered";
  sway.RemoveOutput(2);
  ASSERT_TRUE(WaitUntil([&] { return sway.Screenshot(sway.Output(2)).empty(); }, 3s));
  const std::vector<std::uint32_t> before = sway.Screenshot(sway.Output(1));
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::vector<std::uint32_t> shot = sway.Screenshot(sway.Output(1));
        return shot != before && CountOf(shot, 0xFFFFFF) > 0;
      },
      3s))
      << "no frame after an output went: " << saver.Err();
  sway.Type({"-s", "300", "a"});
  EXPECT_EQ(saver.WaitFor(2s), 0) << "key: " << saver.Err();
}

// Weston has no layer shell: a full-screen toplevel instead, hiding all of
// Weston's output (its background and panel, which are not gray). It ends
// on a key, a click and the pointer moved past the slack. Weston gives its
// pointer to the surface only with a motion that comes after the surface,
// so a click or a move may need a second one: they are repeated (the click
// with a nudge to and fro, within the slack) until it ends. The wallpaper,
// which needs layers, is refused in one line, having let go of all it made.
TEST(ScreensaverOnWayland, TakesAFullScreenWhereTheCompositorHasNoLayers) {
  XServer server({"1024x768x24"});
  Weston weston(server, 800, 600);
  const std::vector<std::vector<std::string>> endings{
      {"key", "space"},
      {"mousemove_relative", "--", "1", "0", "click", "1", "mousemove_relative", "--", "-1", "0"},
      {"mousemove_relative", "20", "0"}};
  for (const std::vector<std::string>& ending : endings) {
    weston.MovePointer(400, 300);
    Child saver({kScreensaver}, weston.ClientEnvironment());
    EXPECT_TRUE(WaitUntil(
        [&] {
          const std::vector<std::uint32_t> shot =
              server.Screenshot(DefaultRootWindow(server.Connection()));
          long grays = 0;
          for (std::size_t at = 0; at < 600 * 1024; at += at % 1024 == 799 ? 225 : 1) {
            grays += shot[at] == (shot[at] & 0xFF) * 0x010101U;
          }
          return grays == 800 * 600 && FirstPlantGrays(shot) >= 1000;
        },
        5s))
        << saver.Err();
    WaitUntil(
        [&] {
          server.XDoTool(ending);
          return saver.WaitFor(200ms).has_value();
        },
        3s);
    EXPECT_EQ(saver.WaitFor(0ms), 0) << testing::PrintToString(ending) << ": " << saver.Err();
  }
  const Finished wallpaper = RunToEnd({kScreensaver, "--wallpaper"}, weston.ClientEnvironment());
  EXPECT_EQ(wallpaper.status, 1) << wallpaper.err;
  EXPECT_THAT(wallpaper.err, OneLineStartingWith("boska-screensaver: a wallpaper needs a Wayland"));
  EXPECT_THAT(wallpaper.err, testing::HasSubstr("the compositor gives no layer shell"));
}

// Nested in an X server: the wallpaper under boska's window, a click beside
// the window going to the desktop rather than to the wallpaper, one on the
// window reaching the window; then the screensaver, which a click ends.
TEST(ScreensaverOnWayland, AsTheWallpaperDrawsUnderWindowsAndTakesNoInput) {
  XServer server({"1024x768x24"}, {"-ac"});
  Sway sway(&server);
  Child wallpaper({kScreensaver, "--wallpaper"}, sway.ClientEnvironment());
  EXPECT_TRUE(server.WaitForFirstPlant(DefaultRootWindow(server.Connection()), 5s))
      << wallpaper.Err();
  Child boska({kBoska}, sway.ClientEnvironment());
  ASSERT_TRUE(WaitUntil([&] { return !sway.Node("boska").empty(); }, 5s)) << boska.Err();
  server.XDoTool({"mousemove", "20", "20", "click", "1"});
  // Sway lists the window a moment before it takes clicks: they are
  // repeated until one reaches it.
  WaitUntil(
      [&] {
        server.XDoTool({"mousemove", "512", "384", "click", "1"});
        return boska.WaitFor(200ms).has_value();
      },
      5s);
  EXPECT_EQ(boska.WaitFor(0ms), 0) << boska.Err();
  EXPECT_FALSE(wallpaper.WaitFor(0ms)) << "a click ended the wallpaper";
  wallpaper.Signal(SIGTERM);
  EXPECT_EQ(wallpaper.WaitFor(1s), 0) << wallpaper.Err();
  // Sway's own background has no white: white is the animation's.
  Child saver({kScreensaver}, sway.ClientEnvironment());
  EXPECT_TRUE(WaitUntil(
      [&] {
        return CountOf(server.Screenshot(DefaultRootWindow(server.Connection())), 0xFFFFFF) > 1000;
      },
      5s));
  // Sway gives the pointer to the new layer a moment after it shows, so
  // the click is repeated until it ends the screensaver.
  WaitUntil(
      [&] {
        server.XDoTool({"click", "1"});
        return saver.WaitFor(200ms).has_value();
      },
      3s);
  EXPECT_EQ(saver.WaitFor(0ms), 0) << "click: " << saver.Err();
}

// The processor time a process has taken, in clock ticks.
long Ticks(pid_t Pid) {
  std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
  std::string field;
  for (int i = 0; i < 13; ++i) stat >> field;
  long user = 0, system = 0;
  stat >> user >> system;
  return user + system;
}

// Whether the process waits in poll with no timeout.
bool SleepsWithoutATimer(pid_t Pid) {
  std::ifstream call("/proc/" + std::to_string(Pid) + "/syscall");
  long number = -1;
  std::string fds, count, timeout;
  call >> number >> fds >> count >> timeout;
  return number == 7 && std::stoull(timeout, nullptr, 16) % (1ULL << 32) == 0xFFFFFFFFULL;
}

// Nothing of the wallpaper is shown under a window made full screen, nor of
// the window on a workspace not shown, and the compositor asks them for no
// frame: each sleeps on the connection with no timer, taking at most a tick
// of processor time in 20 s; shown again, it presents a new picture at once
// (its own log of its requests shows it).
TEST(ScreensaverOnWayland, SleepsWhileNothingOfItIsShown) {
  struct Case {
    std::vector<std::string> program;
    bool under_a_window;  // one of boska's, which hide makes full screen
    std::vector<std::string> hide, show;
  };
  const std::string boska = "[app_id=\"boska\"]";
  const std::vector<Case> cases{
      {{kScreensaver, "--wallpaper"},
       true,
       {boska, "fullscreen", "enable"},
       {boska, "fullscreen", "disable"}},
      {{kBoska}, false, {boska, "move", "to", "workspace", "2"}, {"workspace", "2"}}};
  XServer server({"1024x768x24"}, {"-ac"});
  Sway sway(&server);
  std::vector<std::string> logged = sway.ClientEnvironment();
  logged.push_back("WAYLAND_DEBUG=client");
  for (const Case& c : cases) {
    Child watched(c.program, logged);
    const auto presented_since = [&](std::size_t Known) {
      return watched.Err().find(".attach(wl_buffer", Known) != std::string::npos;
    };
    ASSERT_TRUE(WaitUntil([&] { return presented_since(0); }, 5s)) << watched.Err();
    // A second window would hide the first one, which sway 1.10 then asks
    // for no frame either.
    std::optional<Child> window;
    if (c.under_a_window)
      window.emplace(std::vector<std::string>{kBoska}, sway.ClientEnvironment());
    ASSERT_TRUE(WaitUntil([&] { return !sway.Node("boska").empty(); }, 5s));
    sway.Message(c.hide);
    ASSERT_TRUE(WaitUntil([&] { return SleepsWithoutATimer(watched.Pid()); }, 5s)) << c.hide[1];
    const long asleep = Ticks(watched.Pid());
    EXPECT_FALSE(WaitUntil([&] { return Ticks(watched.Pid()) > asleep + 1; }, 20s)) << c.hide[1];
    const std::size_t known = watched.Err().size();
    sway.Message(c.show);
    EXPECT_TRUE(WaitUntil([&] { return presented_since(known); }, 2s)) << c.show[1];
  }
}

TEST(Screensaver, AnswersHelpAndVersionAndRefusesBadInputInOneLine) {
  struct Case {
    std::vector<std::string> arguments;
    std::string environment;
    int status;
    std::string starts;  // standard output, or error when the status is not 0
  };
  const std::vector<Case> cases{
      {{"--help"}, "", 0, "usage: boska-screensaver [--root | --window-id ID | --wallpaper]\n"},
      {{"--version"}, "", 0, "boska-screensaver 1.00\n"},
      {{"--bogus"}, "", 2, "boska-screensaver: unknown argument --bogus"},
      {{"--window-id"}, "", 2, "boska-screensaver: --window-id needs"},
      {{"--window-id", "12x"}, "", 2, "boska-screensaver: --window-id is not a window id: 12x"},
      {{"--window-id", "0x"}, "", 2, "boska-screensaver: --window-id is not a window id"},
      {{"--window-id", "0"}, "", 2, "boska-screensaver: --window-id is not a window id"},
      {{"---root"}, "", 2, "boska-screensaver: unknown argument ---root"},
      {{"-window-id", "12x"}, "", 2, "boska-screensaver: --window-id is not a window id: 12x"},
      {{"-version"}, "", 0, "boska-screensaver 1.00\n"},
      {{"--wallpaper", "-root"}, "", 2, "boska-screensaver: --wallpaper excludes --root"},
      {{"--window-id", "5", "--wallpaper"}, "", 2, "boska-screensaver: --wallpaper excludes"},
      {{"--wallpaper"}, "WAYLAND_DISPLAY=", 1, "boska-screensaver: a wallpaper needs a Wayland"},
      {{}, "XSCREENSAVER_WINDOW=-3", 2, "boska-screensaver: XSCREENSAVER_WINDOW is not"},
      {{"--window-id", "0x1fffffff"}, "", 1, "boska-screensaver: the display"},
      {{"--root"}, "DISPLAY=:999", 1, "boska-screensaver: cannot open display: :999"},
  };
  XServer server({"1024x768x24"});
  for (const Case& c : cases) {
    std::vector<std::string> command{kScreensaver};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    std::vector<std::string> environment{"DISPLAY=" + server.Name()};
    if (!c.environment.empty()) environment.insert(environment.begin(), c.environment);
    const Finished run = RunToEnd(command, environment);
    EXPECT_EQ(run.status, c.status) << c.starts;
    if (c.status == 0) {
      EXPECT_THAT(run.out, testing::StartsWith(c.starts));
    } else {
      EXPECT_THAT(run.err, OneLineStartingWith(c.starts));
    }
  }
  const Finished unset = RunToEnd({"env", "-u", "XDG_RUNTIME_DIR", kScreensaver, "--wallpaper"},
                                  {"WAYLAND_DISPLAY=wayland-none"});
  EXPECT_EQ(unset.status, 1);
  EXPECT_THAT(unset.err, OneLineStartingWith("boska-screensaver: a wallpaper needs a Wayland"));
}

}  // namespace
