// The real program on the desktops people run: under a window manager, as a
// client of a real Wayland compositor, and on X servers that are not the
// plain single 24-bit screen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
// clang-format on

#include <csignal>
#include <optional>

#include "compositors.h"
#include "one_line.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

const std::string kBoska = BOSKA_PATH;

std::vector<std::uint32_t> RootShot(const XServer& Server) {
  return Server.Screenshot(DefaultRootWindow(Server.Connection()));
}

// The screen once it has stopped changing (a compositor has drawn its
// desktop), or as it is after 5 s.
std::vector<std::uint32_t> SettledShot(const XServer& Server) {
  const Window root = DefaultRootWindow(Server.Connection());
  return Server.SettledPicture(root, 100ms, 5s).value_or(Server.Screenshot(root));
}

class UnderOpenbox : public testing::Test {
 protected:
  Window Start() {
    boska_ = std::make_unique<Child>(std::vector<std::string>{kBoska}, OnServer());
    const std::optional<Window> window = server_.WaitForWindow(boska_->Pid(), 5s);
    if (!window) throw std::runtime_error("no window appeared");
    return *window;
  }

  std::vector<std::string> OnServer() const { return {"DISPLAY=" + server_.Name()}; }

  // Whether the window manager says Id is active and gives it the keys.
  bool BecomesActive(Window Id) const {
    Display* display = server_.Connection();
    return WaitUntil(
        [&] {
          Window focus = 0;
          int revert = 0;
          XGetInputFocus(display, &focus, &revert);
          return focus == Id && server_.Property(DefaultRootWindow(display), "_NET_ACTIVE_WINDOW",
                                                 XA_WINDOW) == std::vector<long>{long(Id)};
        },
        1s);
  }

  XServer server_;
  Openbox openbox_{server_};
  std::unique_ptr<Child> boska_;
};

TEST_F(UnderOpenbox, HasNoFrameTakesTheFocusAndEndsOnAKey) {
  const Window window = Start();
  EXPECT_EQ(server_.Property(window, "_NET_FRAME_EXTENTS", XA_CARDINAL),
            (std::vector<long>{0, 0, 0, 0}));
  EXPECT_TRUE(BecomesActive(window));
  server_.XDoTool({"key", "space"});
  EXPECT_EQ(boska_->WaitFor(1s), 0);
}

TEST_F(UnderOpenbox, TheClickThatFocusesItEndsIt) {
  const Window window = Start();
  Child xterm({"xterm", "-geometry", "20x4+0+0"}, OnServer());
  const std::optional<Window> terminal = server_.WaitForWindow(xterm.Pid(), 5s);
  ASSERT_TRUE(terminal && BecomesActive(*terminal));
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(server_.Connection(), window, DefaultRootWindow(server_.Connection()), 250,
                        250, &x, &y, &child);
  server_.XDoTool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
  EXPECT_EQ(boska_->WaitFor(1s), 0);
}

// A Wayland session, with (mixed) or without an X display beside it.
class OnWeston : public testing::TestWithParam<bool> {
 protected:
  // Starts boska and waits until a plant shows inside Weston's output;
  // returns the offset on the screen of one of its pixels.
  long StartAndSeeAPlant() {
    std::vector<std::string> environment = weston_.ClientEnvironment();
    environment.push_back(GetParam() ? "DISPLAY=" + server_.Name() : "DISPLAY=");
    const std::vector<std::uint32_t> before = SettledShot(server_);
    boska_ = std::make_unique<Child>(std::vector<std::string>{kBoska}, environment);
    const auto after =
        server_.WaitForFirstPlant(DefaultRootWindow(server_.Connection()), 4s, before);
    if (!after) throw std::runtime_error("no plant; boska says: " + boska_->Err());
    // A Wayland client: nothing of it on the X server.
    EXPECT_FALSE(server_.WaitForWindow(boska_->Pid(), 0ms));
    long at = 0;
    while ((*after)[at] != kFirstPlant || before[at] == kFirstPlant) ++at;
    return at;
  }

  XServer server_;
  Weston weston_{server_, 800, 600};
  std::unique_ptr<Child> boska_;
};

std::string SessionName(const testing::TestParamInfo<bool>& Session) {
  return Session.param ? "Mixed" : "WaylandOnly";
}

INSTANTIATE_TEST_SUITE_P(Session, OnWeston, testing::Values(true, false), SessionName);

// Keys and clicks go through XTEST into Weston's window and on to boska.
TEST_P(OnWeston, DrawsAndEndsWith0OnTerminationAKeyOrAClick) {
  for (const char* ending : {"SIGTERM", "key", "click"}) {
    const long at = StartAndSeeAPlant();
    const int width = DisplayWidth(server_.Connection(), 0);
    weston_.MovePointer(int(at % width), int(at / width));
    if (ending == std::string("SIGTERM")) boska_->Signal(SIGTERM);
    if (ending == std::string("key")) server_.XDoTool({"key", "space"});
    if (ending == std::string("click")) server_.XDoTool({"click", "1"});
    EXPECT_EQ(boska_->WaitFor(1s), 0) << ending << ": " << boska_->Err();
  }
}

TEST_P(OnWeston, EndsWithOneLineWhenTheCompositorGoes) {
  StartAndSeeAPlant();
  weston_.Stop();
  EXPECT_EQ(boska_->WaitFor(2s), 1);
  EXPECT_THAT(boska_->Err(), OneLineStartingWith("boska: lost the display wayland-boska"));
}

// How many 2 × 2 blocks of the screen below row Top hold the first plant's
// gray, and how many of those are not of one colour: a compositor that
// resamples a picture blurs its edges.
std::pair<long, long> FirstPlantBlocks(const std::vector<std::uint32_t>& Shot, int Width, int Top) {
  long plant = 0, blurred = 0;
  for (std::size_t top = std::size_t(Top) * Width; top + Width < Shot.size();
       top += 2 * std::size_t(Width)) {
    for (std::size_t at = top; at + 1 < top + Width; at += 2) {
      const std::array<std::uint32_t, 4> block{Shot[at], Shot[at + 1], Shot[at + Width],
                                               Shot[at + Width + 1]};
      if (std::ranges::find(block, kFirstPlant) == block.end()) continue;
      ++plant;
      blurred += std::ranges::count(block, block[0]) != 4;
    }
  }
  return {plant, blurred};
}

// On an output of scale 2 each of the animation's pixels is a block of 2 × 2
// on the screen: the window keeps its size and its picture stays sharp.
TEST(OnAScaledOutput, EachPixelIsTwoByTwoOfTheScreen) {
  XServer server({"1280x1024x24"});
  Weston weston(server, 600, 500, 2);
  Child boska({kBoska}, weston.ClientEnvironment());
  std::pair<long, long> blocks;
  EXPECT_TRUE(WaitUntil(
      [&] {
        // Below Weston's panel, whose text has grays of its own.
        blocks = FirstPlantBlocks(RootShot(server), 1280, 2 * 32);
        return blocks.first >= 250 && blocks.second == 0;
      },
      5s))
      << blocks.first << " blocks of the first plant, " << blocks.second
      << " of them blurred; boska says: " << boska.Err();
}

// Nested in an X server, sway takes that server's keys and pointer; it
// floats the window in the middle of its output. A key or a button ends it
// as it goes down, before it comes up again.
TEST(UnderSway, DrawsAndEndsOnAKeyOrAButtonPressed) {
  XServer server({"1024x768x24"}, {"-ac"});
  Sway sway(&server);
  for (const bool key : {true, false}) {
    const std::vector<std::uint32_t> before = SettledShot(server);
    Child boska({kBoska}, sway.ClientEnvironment());
    EXPECT_TRUE(server.WaitForFirstPlant(DefaultRootWindow(server.Connection()), 4s, before))
        << boska.Err();
    server.XDoTool(key ? std::vector<std::string>{"keydown", "space"}
                       : std::vector<std::string>{"mousemove", "512", "384", "mousedown", "1"});
    EXPECT_EQ(boska.WaitFor(1s), 0) << (key ? "key: " : "button: ") << boska.Err();
    server.XDoTool(key ? std::vector<std::string>{"keyup", "space"}
                       : std::vector<std::string>{"mouseup", "1"});
  }
}

// The tiling window manager that most X users of tiling desktops run floats
// the window at its size, without a border; a key ends it.
TEST(UnderI3, FloatsWithoutABorderAndEndsOnAKey) {
  XServer server;
  const I3 i3(server);
  Child boska({kBoska}, {"DISPLAY=" + server.Name(), "WAYLAND_DISPLAY="});
  std::string node;
  ASSERT_TRUE(WaitUntil([&] { return !(node = i3.Node("boska")).empty(); }, 5s)) << boska.Err();
  EXPECT_THAT(node, testing::MatchesRegex("\"border\":\"none\",\"rect\":.*\"width\":494,"
                                          "\"height\":441}"));
  server.XDoTool({"key", "space"});
  EXPECT_EQ(boska.WaitFor(1s), 0) << boska.Err();
}

// The compositors of GNOME and KDE, headless. The window and the
// screensaver show their frames (the client's own log of its requests
// shows a buffer attached, which it does once configured) and end with 0 on
// SIGTERM; the wallpaper needs layers, which KWin has and mutter lacks: it
// is refused there in one line, having let go of all it made.
TEST(OnTheBigDesktops, TheWindowAndTheScreensaverRunAndEndOnSIGTERM) {
  const std::vector<std::string> window{kBoska}, screensaver{BOSKA_SCREENSAVER_PATH},
      wallpaper{BOSKA_SCREENSAVER_PATH, "--wallpaper"};
  for (const Desktop desktop : {Desktop::Gnome, Desktop::Kde}) {
    const DesktopCompositor compositor(desktop, 800, 600);
    const char* name = desktop == Desktop::Gnome ? "mutter: " : "kwin: ";
    for (const std::vector<std::string>& program : {window, screensaver, wallpaper}) {
      if (desktop == Desktop::Gnome && program == wallpaper) {
        const Finished refused = RunToEnd(program, compositor.ClientEnvironment());
        EXPECT_EQ(refused.status, 1) << name << refused.err;
        EXPECT_THAT(refused.err, OneLineStartingWith("boska-screensaver: a wallpaper needs"));
        continue;
      }
      std::vector<std::string> environment = compositor.ClientEnvironment();
      environment.push_back("WAYLAND_DEBUG=client");
      Child running(program, environment);
      EXPECT_TRUE(WaitUntil(
          [&] { return running.Err().find(".attach(wl_buffer") != std::string::npos; }, 10s))
          << name << program.back() << " shows nothing: " << running.Err().substr(0, 2000);
      running.Signal(SIGTERM);
      EXPECT_EQ(running.WaitFor(2s), 0) << name << program.back();
    }
  }
}

TEST(OnX11, TakesOverWhenTheSessionsCompositorCannotBeReached) {
  XServer server;
  Child boska({kBoska}, {"DISPLAY=" + server.Name(), "WAYLAND_DISPLAY=wayland-gone"});
  EXPECT_TRUE(server.WaitForWindow(boska.Pid(), 5s)) << boska.Err();
}

TEST(OnX11, EndsWithOneLineWhenAnotherClientDestroysTheWindow) {
  XServer server;
  Child boska({kBoska}, {"DISPLAY=" + server.Name()});
  const std::optional<Window> window = server.WaitForWindow(boska.Pid(), 5s);
  ASSERT_TRUE(window);
  server.XDoTool({"windowclose", std::to_string(*window)});
  EXPECT_EQ(boska.WaitFor(2s), 1);
  EXPECT_THAT(boska.Err(), OneLineStartingWith("boska: "));
}

TEST(OnX11, DrawsOnA30BitScreen) {
  XServer server({"1024x768x30"});
  const std::vector<std::uint32_t> before = RootShot(server);
  Child boska({kBoska}, {"DISPLAY=" + server.Name()});
  EXPECT_TRUE(server.WaitForFirstPlant(DefaultRootWindow(server.Connection()), 5s, before))
      << boska.Err();
}

TEST(OnX11, NamesTheColourDepthOfAPaletteScreen) {
  XServer server({"800x600x8"});
  const Finished run = RunToEnd({kBoska}, {"DISPLAY=" + server.Name(), "WAYLAND_DISPLAY="});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, OneLineStartingWith("boska: cannot open display: "));
  EXPECT_THAT(run.err, HasSubstr("8-bit colour"));
}

TEST(OnX11, OpensOnTheScreenThatTheDisplayNames) {
  XServer server({"800x600x24", "1024x768x24"});
  Child boska({kBoska}, {"DISPLAY=" + server.Name() + ".1"});
  const std::optional<Window> window = server.WaitForWindow(boska.Pid(), 5s);
  ASSERT_TRUE(window);
  XWindowAttributes attributes;
  XGetWindowAttributes(server.Connection(), *window, &attributes);
  EXPECT_EQ(XScreenNumberOfScreen(attributes.screen), 1);
}

// Two monitors side by side on one screen, as RandR lists them: the window
// is centred on the one under the pointer, the screensaver's full screen
// covers it.
TEST(OnX11, OpensOnTheMonitorUnderThePointer) {
  XServer server({"1600x600x24"});
  Display* display = server.Connection();
  const Window root = DefaultRootWindow(display);
  for (const char* name : {"LEFT", "RIGHT"}) {
    XRRMonitorInfo monitor{};
    monitor.name = XInternAtom(display, name, False);
    monitor.x = name[0] == 'L' ? 0 : 800;
    monitor.width = 800;
    monitor.height = 600;
    XRRSetMonitor(display, root, &monitor);
  }
  XSync(display, False);
  struct Case {
    std::string program;
    int pointer_x;
    std::vector<int> place;  // x, y, width, height
  };
  for (const Case& run :
       {Case{kBoska, 1200, {953, 79, 494, 441}}, Case{kBoska, 100, {153, 79, 494, 441}},
        Case{BOSKA_SCREENSAVER_PATH, 1200, {800, 0, 800, 600}}}) {
    server.XDoTool({"mousemove", std::to_string(run.pointer_x), "300"});
    Child program({run.program}, {"DISPLAY=" + server.Name()});
    const std::optional<Window> window = server.WaitForWindow(program.Pid(), 5s);
    ASSERT_TRUE(window) << program.Err();
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, *window, root, 0, 0, &x, &y, &child);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, *window, &attributes);
    EXPECT_EQ(std::vector<int>({x, y, attributes.width, attributes.height}), run.place)
        << run.program << " with the pointer at " << run.pointer_x;
  }
}

// A tiling compositor floats a window of fixed size. Keys come through the
// virtual keyboard protocol: typed 300 ms after the keyboard appears, or at
// once, as a keyboard that comes and types does (a key that comes before
// the program has its keyboard may be lost, then a second one ends it).
TEST(UnderSway, FloatsWithoutAFrameAndEndsOnAKeyHoweverSoonItComes) {
  Sway sway;
  for (int start = 0; start < 40; ++start) {
    const bool at_once = start % 2 == 1;
    Child boska({kBoska}, sway.ClientEnvironment());
    std::string node;
    ASSERT_TRUE(WaitUntil([&] { return !(node = sway.Node("boska")).empty(); }, 5s)) << boska.Err();
    EXPECT_THAT(node,
                testing::MatchesRegex(".*\"type\":\"floating_con\",\"border\":\"(csd|none)\",.*"
                                      "\"width\":494,\"height\":441}"));
    sway.Type(at_once ? std::vector<std::string>{"a"} : std::vector<std::string>{"-s", "300", "a"});
    if (at_once && !boska.WaitFor(1s)) sway.Type({"-s", "300", "a"});
    EXPECT_EQ(boska.WaitFor(2s), 0) << (at_once ? "at once: " : "after 300 ms: ") << boska.Err();
  }
}

// The compositor closing the window (sway's kill) ends it with 0; so does
// a key that goes down and stays down (wtype's -P presses it and holds it
// until wtype ends, 5 s later).
TEST(UnderSway, EndsWhenTheCompositorClosesItOrAKeyGoesDown) {
  Sway sway;
  for (const bool by_key : {false, true}) {
    Child boska({kBoska}, sway.ClientEnvironment());
    ASSERT_TRUE(WaitUntil([&] { return !sway.Node("boska").empty(); }, 5s)) << boska.Err();
    std::optional<Child> held;
    if (by_key) {
      held.emplace(std::vector<std::string>{"wtype", "-s", "300", "-P", "a", "-s", "5000"},
                   sway.ClientEnvironment());
    } else {
      sway.Message({"[app_id=\"boska\"]", "kill"});
    }
    EXPECT_EQ(boska.WaitFor(2s), 0) << (by_key ? "a key held: " : "closed: ") << boska.Err();
  }
}

}  // namespace
