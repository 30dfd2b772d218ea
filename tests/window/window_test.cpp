// The real program on a real X server, driven as a user would drive it.
// GoogleTest comes before Xlib, whose macros (None, Bool) clash with it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>
// clang-format on

#include <csignal>
#include <fstream>
#include <map>

#include "one_line.h"
#include "x_display.h"

namespace {

using namespace std::chrono_literals;

const std::string kBoska = BOSKA_PATH;

class BoskaWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new XServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  // Starts boska and waits for its window.
  Window Start() {
    boska_ = std::make_unique<Child>(std::vector<std::string>{kBoska},
                                     std::vector<std::string>{"DISPLAY=" + server_->Name()});
    const std::optional<Window> window = server_->WaitForWindow(boska_->Pid(), 5s);
    if (!window) throw std::runtime_error("no window appeared");
    return *window;
  }

  // Starts boska and waits until its first plant shows: the animation runs.
  Window StartAnimation() {
    const Window window = Start();
    if (!server_->WaitForFirstPlant(window, 5s)) throw std::runtime_error("no plant appeared");
    return window;
  }

  std::string ProcFile(const char* name) const {
    std::ifstream file("/proc/" + std::to_string(boska_->Pid()) + "/" + name);
    return {std::istreambuf_iterator<char>(file), {}};
  }

  static XServer* server_;
  std::unique_ptr<Child> boska_;
};

XServer* BoskaWindow::server_ = nullptr;

TEST_F(BoskaWindow, OpensBorderlessAtTheDesignSizeWithTitleClassAndIcon) {
  const Window window = Start();
  Display* display = server_->Connection();
  XWindowAttributes attributes;
  XGetWindowAttributes(display, window, &attributes);
  EXPECT_EQ(attributes.width, 494);
  EXPECT_EQ(attributes.height, 441);

  char* title = nullptr;
  XFetchName(display, window, &title);
  EXPECT_STREQ(title, "Boska");
  XFree(title);

  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(display, window, &hint));
  EXPECT_STREQ(hint.res_class, "boska");
  XFree(hint.res_name);
  XFree(hint.res_class);

  // Motif hints: decorations flag set, no decorations.
  const std::vector<long> motif = server_->Property(window, "_MOTIF_WM_HINTS", AnyPropertyType);
  ASSERT_GE(motif.size(), 3U);
  EXPECT_TRUE(motif[0] & 2);
  EXPECT_EQ(motif[2], 0);

  // The icon as designed: 32 × 32, opaque, in black, gray and light gray,
  // all three of them.
  const std::vector<long> icon = server_->Property(window, "_NET_WM_ICON", XA_CARDINAL);
  ASSERT_EQ(icon.size(), 2U + 32 * 32);
  EXPECT_EQ(icon[0], 32);
  EXPECT_EQ(icon[1], 32);
  std::map<long, int> colours;
  for (std::size_t i = 2; i < icon.size(); ++i) ++colours[icon[i] & 0xFFFFFFFF];
  EXPECT_THAT(colours, testing::ElementsAre(testing::Key(0xFF000000), testing::Key(0xFF808080),
                                            testing::Key(0xFFC0C0C0)));
}

// The press alone ends it: the key is still down when it is gone.
TEST_F(BoskaWindow, AKeyPressEndsItWithStatus0) {
  const Window window = StartAnimation();
  server_->XDoTool({"mousemove", "--window", std::to_string(window), "200", "200"});
  server_->XDoTool({"keydown", "space"});
  EXPECT_EQ(boska_->WaitFor(1s), 0);
  server_->XDoTool({"keyup", "space"});
}

// The button going down ends it; it is released only afterwards.
TEST_F(BoskaWindow, AnyMouseButtonEndsItWithStatus0) {
  for (const char* button : {"1", "3"}) {
    const Window window = StartAnimation();
    server_->XDoTool({"mousemove", "--window", std::to_string(window), "100", "300"});
    server_->XDoTool({"mousedown", button});
    EXPECT_EQ(boska_->WaitFor(1s), 0) << "button " << button;
    server_->XDoTool({"mouseup", button});
  }
}

TEST_F(BoskaWindow, ClosingTheWindowEndsItWithStatus0) {
  const Window window = StartAnimation();
  server_->Close(window);
  EXPECT_EQ(boska_->WaitFor(1s), 0);
}

TEST_F(BoskaWindow, StaysSmallAndLoadsNoOpenGL) {
#ifdef BOSKA_SANITIZED
  GTEST_SKIP() << "the sanitizers' own memory";
#endif
  StartAnimation();
  const std::string status = ProcFile("status");
  const std::size_t at = status.find("VmHWM:");
  ASSERT_NE(at, std::string::npos);
  EXPECT_LT(std::stol(status.substr(at + 6)), 30 * 1024) << "kB at the peak";
  const std::string maps = ProcFile("maps");
  for (const char* library : {"libGL", "libEGL", "_dri.so"}) {
    EXPECT_EQ(maps.find(library), std::string::npos) << library;
  }
}

TEST_F(BoskaWindow, LeavesTheScreensaverToTheDesktop) {
  Display* display = server_->Connection();
  int timeout = 0, interval = 0, blanking = 0, exposures = 0;
  XGetScreenSaver(display, &timeout, &interval, &blanking, &exposures);
  XSetScreenSaver(display, 1, 0, DontPreferBlanking, AllowExposures);  // after 1 s idle
  XFlush(display);
  StartAnimation();
  XScreenSaverInfo* info = XScreenSaverAllocInfo();
  EXPECT_TRUE(WaitUntil(
      [&] {
        XScreenSaverQueryInfo(display, DefaultRootWindow(display), info);
        return info->state == ScreenSaverOn;
      },
      5s));
  XFree(info);
  XSetScreenSaver(display, timeout, interval, blanking, exposures);
  XForceScreenSaver(display, ScreenSaverReset);
  XFlush(display);
}

TEST_F(BoskaWindow, TerminationAndInterruptEndItWithStatus0) {
  for (const int signal : {SIGTERM, SIGINT}) {
    StartAnimation();
    boska_->Signal(signal);
    EXPECT_EQ(boska_->WaitFor(1s), 0) << signal;
  }
}

TEST_F(BoskaWindow, TwoInstancesRunSideBySide) {
  const Window first = StartAnimation();
  std::unique_ptr<Child> one = std::move(boska_);
  const Window second = StartAnimation();
  server_->Close(first);
  EXPECT_EQ(one->WaitFor(1s), 0);
  // The other goes on drawing.
  const std::vector<std::uint32_t> before = server_->Screenshot(second);
  EXPECT_TRUE(WaitUntil([&] { return server_->Screenshot(second) != before; }, 2s));
  EXPECT_FALSE(boska_->WaitFor(0ms).has_value());
  server_->Close(second);
  EXPECT_EQ(boska_->WaitFor(1s), 0) << boska_->Err();
}

// With standard error closed by the launcher the message has nowhere to go,
// but the status still tells (not death by SIGPIPE).
TEST(BoskaDisplayLoss, EndsWithStatus1AndOneLine) {
  for (const ErrStream err : {ErrStream::Captured, ErrStream::Closed}) {
    XServer server;
    Child boska({kBoska}, {"DISPLAY=" + server.Name()}, err);
    const std::optional<Window> window = server.WaitForWindow(boska.Pid(), 5s);
    ASSERT_TRUE(window && server.WaitForFirstPlant(*window, 5s));
    server.Kill();
    EXPECT_EQ(boska.WaitFor(1s), 1);
    if (err == ErrStream::Closed) continue;
    EXPECT_THAT(boska.Err(), OneLineStartingWith("boska: lost the display"));
  }
}

TEST(BoskaWithoutDisplay, EndsAtOnceNamingTheDisplay) {
  for (const std::string display : {"DISPLAY=:999", "DISPLAY="}) {
    const Finished run = RunToEnd({kBoska}, {display, "WAYLAND_DISPLAY="});
    EXPECT_EQ(run.status, 1) << display;
    EXPECT_THAT(run.err, OneLineStartingWith("boska: cannot open display: ")) << display;
  }
}

}  // namespace
