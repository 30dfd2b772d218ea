// The Windows programs, cross-built, under wine on Xvfb servers of their
// own, driven as a user would drive them.
// GoogleTest comes before Xlib, whose macros (None, Bool) clash with it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xatom.h>
// clang-format on

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "x_display.h"

namespace {

using namespace std::chrono_literals;
using testing::StartsWith;

const std::string kWindowsDir = BOSKA_WINDOWS_DIR;
const std::string kLinuxRender = BOSKA_RENDER_PATH;
const std::string kGolden = BOSKA_GOLDEN_DIR;

// Program of the Windows build, or a Windows path (C:\...) in the prefix.
std::vector<std::string> Wine(const std::string& Program, std::vector<std::string> Arguments) {
  const bool built = Program.find(':') == std::string::npos;
  Arguments.insert(Arguments.begin(), {"wine", built ? kWindowsDir + "/" + Program : Program});
  return Arguments;
}

std::vector<std::string> WineEnvironment(const std::string& Display = "") {
  return {"WINEPREFIX=" BOSKA_WINE_PREFIX, "WINEDEBUG=-all", "DISPLAY=" + Display};
}

// Gray pixels other than white; -1 if any pixel is not a gray.
long Grays(const std::vector<std::uint32_t>& Pixels) {
  long grays = 0;
  for (const std::uint32_t pixel : Pixels) {
    const std::uint32_t red = pixel >> 16, green = pixel >> 8 & 0xFF, blue = pixel & 0xFF;
    if (red != green || green != blue) return -1;
    grays += red != 255;
  }
  return grays;
}

// Programs under wine on their own X server with a window manager, as on a
// desktop (without one, wine waits two seconds for a manager to take each
// window down). Wine keeps a server process and a desktop process per
// prefix, which would outlive the X server: both go at the end of each test,
// also of those that show no window, whose desktop process has no display.
class UnderWine : public testing::Test {
 protected:
  ~UnderWine() override {
    program_.reset();
    RunToEnd({"wineserver", "--kill"}, WineEnvironment());
    RunToEnd({"wineserver", "--wait"}, WineEnvironment());
  }

  // Starts Program and waits for its first window.
  Window Start(const std::string& Program, const std::vector<std::string>& Arguments = {}) {
    program_ = std::make_unique<Child>(Wine(Program, Arguments), WineEnvironment(server_.Name()));
    const std::optional<Window> window = server_.WaitForWindow(program_->Pid(), 20s);
    if (!window) {
      throw std::runtime_error("no window of " + Program + " appeared: " + program_->Err());
    }
    return *window;
  }

  std::vector<std::uint32_t> Shot(Window Id) const { return server_.Screenshot(Id); }

  // Whether the window shows gray plants, and nothing but grays, within
  // Timeout: the animation runs.
  bool ShowsPlants(Window Id, std::chrono::milliseconds Timeout = 10s) const {
    return WaitUntil([&] { return Grays(Shot(Id)) >= 1000; }, Timeout);
  }

  std::string Title(Window Id) const {
    char* title = nullptr;
    XFetchName(server_.Connection(), Id, &title);
    const std::string text = title != nullptr ? title : "";
    XFree(title);
    return text;
  }

  // A key pressed with the window in front, as a user would press it.
  void Press(Window Id, const char* Key) const {
    server_.XDoTool({"windowactivate", "--sync", std::to_string(Id), "key", Key});
  }

  // Whether the program runs on after Pause.
  bool RunsOn(std::chrono::milliseconds Pause) { return !program_->WaitFor(Pause); }

  XServer server_;
  Openbox openbox_{server_};
  std::unique_ptr<Child> program_;
};

TEST_F(UnderWine, OpensBorderlessTitledBoskaAndGrowsGrayPlants) {
  const Window window = Start("boska.exe");
  XWindowAttributes attributes;
  XGetWindowAttributes(server_.Connection(), window, &attributes);
  EXPECT_EQ(attributes.width, 494);
  EXPECT_EQ(attributes.height, 441);
  EXPECT_EQ(server_.Property(window, "_NET_FRAME_EXTENTS", XA_CARDINAL),
            (std::vector<long>{0, 0, 0, 0}));
  EXPECT_EQ(Title(window), "Boska");
  EXPECT_TRUE(ShowsPlants(window));
}

TEST_F(UnderWine, EndsWithStatus0OnAKeyAClickOrClosing) {
  const std::map<std::string, std::function<void(Window)>> enders{
      {"key", [&](Window Id) { Press(Id, "a"); }},
      {"click",
       [&](Window Id) {
         server_.XDoTool({"mousemove", "--window", std::to_string(Id), "200", "200", "click", "3"});
       }},
      {"wmctrl -c", [&](Window) {
         RunToEnd({"wmctrl", "-c", "Boska"}, {"DISPLAY=" + server_.Name()});
       }}};
  for (const auto& [name, end] : enders) {
    const Window window = Start("boska.exe");
    ASSERT_TRUE(ShowsPlants(window)) << name;
    end(window);
    EXPECT_EQ(program_->WaitFor(5s), 0) << name;
  }
}

TEST_F(UnderWine, EndsWhenTheDisplayGoes) {
  ASSERT_TRUE(ShowsPlants(Start("boska.exe")));
  server_.Kill();
  EXPECT_TRUE(program_->WaitFor(10s));
}

// The screensaver over the whole screen. A pointer nudged by a pixel or two
// leaves it running; moving it further, a key or a click ends it.
TEST_F(UnderWine, ScreensaverCoversTheScreenAndEndsOnInput) {
  const std::map<std::string, std::vector<std::string>> enders{
      {"key", {"key", "Escape"}}, {"click", {"click", "1"}}, {"move", {"mousemove", "530", "400"}}};
  for (const auto& [name, input] : enders) {
    server_.XDoTool({"mousemove", "500", "400"});
    const Window window = Start("boska.scr", {"/s"});
    XWindowAttributes attributes;
    XGetWindowAttributes(server_.Connection(), window, &attributes);
    EXPECT_EQ(attributes.width, 1024);
    EXPECT_EQ(attributes.height, 768);
    EXPECT_TRUE(ShowsPlants(window)) << name;
    // The screensaver takes the pointer's resting place a second after it
    // shows: wine learns where the pointer is only from its first events
    // and places it in the middle of the screen until then. Four settled
    // pictures (frames come 0.9 s apart; wine may paint one in parts) from
    // here reach its third frame at least (1.8 s after the first), though
    // the first of them be what the screen showed there before it, the
    // second the window still white.
    std::vector<std::uint32_t> picture;
    for (int count = 0; count < 4; ++count) {
      const auto next = server_.SettledPicture(window, 300ms, 5s, picture);
      ASSERT_TRUE(next) << name;
      picture = *next;
    }
    server_.XDoTool({"mousemove", "502", "401"});
    EXPECT_TRUE(RunsOn(1000ms)) << name;
    server_.XDoTool(input);
    EXPECT_EQ(program_->WaitFor(5s), 0) << name;
  }
}

// A preview window of another process: the screensaver's window is its
// child, filling its client area, and ends when it goes. Wine shows no
// pixels of a child window that another process draws, so the host reports
// what it holds instead, two seconds after the preview came.
TEST_F(UnderWine, ScreensaverPreviewFillsItsWindowUntilTheWindowGoes) {
  const std::string report = testing::TempDir() + "preview-host.txt";
  std::remove(report.c_str());
  Child host(Wine("preview-host.exe", {report, "20"}), WineEnvironment(server_.Name()));
  std::string window;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::string line = Slurp(report);
        if (line.ends_with("\r\n")) window = line.substr(0, line.size() - 2);
        return !window.empty();
      },
      20s));
  program_ =
      std::make_unique<Child>(Wine("boska.scr", {"/p", window}), WineEnvironment(server_.Name()));
  EXPECT_EQ(host.WaitFor(15s), 0);
  EXPECT_EQ(program_->WaitFor(3s), 0) << program_->Err();
  EXPECT_THAT(Slurp(report), testing::HasSubstr("child boska 152x112"));
}

// Boxes that Enter closes: with /c or no argument at all, the settings
// (there are none); after a failure, its line, which goes to standard error
// too when that is redirected; then the status.
TEST_F(UnderWine, ScreensaverBoxesCloseOnEnterAndEndWithTheirStatus) {
  const struct {
    std::vector<std::string> arguments;
    const char* line;
    int status;
  } cases[] = {
      {{"/c"}, "", 0},
      {{}, "", 0},
      {{"/p", "999999"}, "boska.scr: there is no window 999999 to preview in\n", 1},
      {{"/p"}, "boska.scr: /p needs a window\n", 2},
      {{"/x"}, "boska.scr: unknown option /x; use /s, /p HWND or /c\n", 2},
  };
  for (const auto& c : cases) {
    const Window box = Start("boska.scr", c.arguments);
    EXPECT_EQ(Title(box), "Boska") << c.line;
    EXPECT_TRUE(RunsOn(500ms)) << c.line;
    Press(box, "Return");
    EXPECT_EQ(program_->WaitFor(5s), c.status) << c.line;
    EXPECT_EQ(program_->Err(), c.line);
  }
}

// The Windows trace is the Linux one, byte for byte: on the golden input and
// over many whole plants. Their branch ends come from sines and cosines,
// whose last bits the platforms' own libraries round differently: the
// program's own are the same on both, compared here on 100,000 angles.
TEST_F(UnderWine, RenderTracesAndSinesEqualTheLinuxOnes) {
  const std::vector<std::vector<std::string>> runs{
      {"boska-render", "--frames", "1", "--random", kGolden + "/random.txt", "--trace"},
      {"boska-render", "--seed", "5", "--frames", "7", "--trace"},
      {"boska-render", "--seed", "4242", "--size", "1280x720", "--frames", "90", "--trace"},
      {"sines"},
  };
  for (const std::vector<std::string>& run : runs) {
    std::vector<std::string> linux_run = run;
    linux_run[0] = run[0] == "sines" ? BOSKA_SINES_PATH : kLinuxRender;
    const Finished theirs = RunToEnd(linux_run);
    const Finished ours =
        RunToEnd(Wine(run[0] + ".exe", {run.begin() + 1, run.end()}), WineEnvironment());
    EXPECT_EQ(ours.status, theirs.status) << run.back();
    EXPECT_TRUE(ours.out == theirs.out && !theirs.out.empty()) << run.back();
    EXPECT_EQ(std::regex_replace(ours.err, std::regex("\r\n"), "\n"), theirs.err) << run.back();
  }
  EXPECT_EQ(
      Slurp(kGolden + "/trace.txt"),
      RunToEnd(Wine("boska-render.exe", {runs[0].begin() + 1, runs[0].end()}), WineEnvironment())
          .out);
}

// The installer and its uninstaller, silent, as a scripted deployment runs
// them; between the two, the screensaver runs from the system folder. The
// uninstaller hands over to a copy of itself and ends at once: its work is
// awaited by what it removes.
TEST_F(UnderWine, InstallerPutsEachFileInPlaceAndItsUninstallerTakesThemAway) {
  const std::string drive = BOSKA_WINE_PREFIX "/drive_c/";
  const std::vector<std::string> files{
      drive + "Program Files/Boska/boska.exe", drive + "Program Files/Boska/boska-render.exe",
      drive + "Program Files/Boska/uninstall.exe", drive + "windows/system32/boska.scr",
      drive + "ProgramData/Microsoft/Windows/Start Menu/Programs/Boska.lnk"};
  const std::vector<std::string> entry{
      "wine", "reg", "query", R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Boska)"};
  // The display the programs started later show on: wine keeps the first
  // program's display for the rest of the prefix's session.
  const std::vector<std::string> environment = WineEnvironment(server_.Name());
  ASSERT_EQ(RunToEnd(Wine("boska-1.00-setup.exe", {"/S"}), environment).status, 0);
  for (const std::string& file : files) EXPECT_TRUE(std::filesystem::exists(file)) << file;
  const Finished registered = RunToEnd(entry, environment);
  for (const char* value :
       {R"(DisplayName    REG_SZ    Boska)", R"(DisplayVersion    REG_SZ    1.00)",
        R"(DisplayIcon    REG_SZ    C:\Program Files\Boska\boska.exe,0)",
        R"(UninstallString    REG_SZ    "C:\Program Files\Boska\uninstall.exe")"}) {
    EXPECT_THAT(registered.out, testing::HasSubstr(value));
  }
  const Window window = Start(R"(C:\windows\system32\boska.scr)", {"/s"});
  EXPECT_TRUE(ShowsPlants(window));
  Press(window, "Escape");
  EXPECT_EQ(program_->WaitFor(5s), 0);
  ASSERT_EQ(RunToEnd(Wine(R"(C:\Program Files\Boska\uninstall.exe)", {"/S"}), environment).status,
            0);
  const auto gone = [&] {
    const auto there = [](const std::string& file) { return std::filesystem::exists(file); };
    return std::none_of(files.begin(), files.end(), there) && !there(drive + "Program Files/Boska");
  };
  EXPECT_TRUE(WaitUntil(gone, 20s));
  EXPECT_NE(RunToEnd(entry, environment).status, 0);
}

TEST_F(UnderWine, RenderTakesTheLinuxOptions) {
  const std::map<std::vector<std::string>, std::string> runs{
      {{"--version"}, "^boska-render 1\\.00\n$"},
      {{"--help"}, "^usage: boska-render \\[options\\]\n(.|\n)*--time(.|\n)*"},
      {{"--size", "300x200", "--frames", "4", "--seed", "1", "--time"},
       "^300x200: plant frames median [0-9.]+ ms, max [0-9.]+ ms \\(2\\); copy-only frames "
       "median [0-9.]+ ms, max [0-9.]+ ms \\(2\\)\n$"},
  };
  for (const auto& [run, pattern] : runs) {
    const Finished finished = RunToEnd(Wine("boska-render.exe", run), WineEnvironment());
    EXPECT_EQ(finished.status, 0) << run[0];
    EXPECT_TRUE(std::regex_search(finished.out, std::regex(pattern))) << finished.out;
  }
}

// A resource of the file, as wrestool extracts it.
std::string Resource(const std::string& File, const char* Type) {
  return RunToEnd({"wrestool", "--extract", "--raw", std::string("--type=") + Type, File}).out;
}

// The printable ASCII text of a UTF-16 block, each run of other characters
// one '|'.
std::string Text(const std::string& Utf16) {
  std::string text;
  for (std::size_t i = 0; i + 1 < Utf16.size(); i += 2) {
    const char c = Utf16[i + 1] == 0 && Utf16[i] >= ' ' && Utf16[i] < 0x7F ? Utf16[i] : 0;
    if (c != 0) {
      text += c;
    } else if (text.empty() || text.back() != '|') {
      text += '|';
    }
  }
  return text;
}

// The programs and the installer; the programs declare too that the system
// must never scale their pixels, and need nothing beside them.
TEST(WindowsResources, EachFileCarriesTheIconAndTheVersionRecord) {
  for (const std::string program :
       {"boska.exe", "boska.scr", "boska-render.exe", "boska-1.00-setup.exe"}) {
    const std::string file = kWindowsDir + "/" + program;
    const std::string version = Text(Resource(file, "16"));
    EXPECT_THAT(version, testing::HasSubstr("|FileVersion|1.00|")) << program;
    EXPECT_THAT(version, testing::HasSubstr("|ProductVersion|1.00|")) << program;
    EXPECT_THAT(version, testing::HasSubstr("|ProductName|Boska|")) << program;
    EXPECT_THAT(version, testing::HasSubstr(std::string("|OriginalFilename|") + program + "|"));
    // The numeric record: its signature, the structure's version (which the
    // installer's maker leaves 0), then file and product version 1.0.0.0,
    // each as two words of two halves.
    const std::string raw = Resource(file, "16");
    const std::size_t record = raw.find("\xBD\x04\xEF\xFE");
    ASSERT_NE(record, std::string::npos) << program;
    const std::string versions(
        "\x00\x00\x01\x00\x00\x00\x00\x00"
        "\x00\x00\x01\x00\x00\x00\x00\x00",
        16);
    EXPECT_EQ(raw.substr(record + 8, 16), versions) << program;
    // The icon group, written out as an icon file: one 32 × 32 image in 16
    // colours.
    const std::string icons = testing::TempDir() + "boska-icons.ico";
    std::ofstream(icons, std::ios::binary)
        << RunToEnd({"wrestool", "--extract", "--type=group_icon", file}).out;
    EXPECT_EQ(RunToEnd({"icotool", "--list", icons}).out,
              "--icon --index=1 --width=32 --height=32 --bit-depth=4 --palette-size=16\n")
        << program;
    if (program.ends_with("setup.exe")) continue;
    EXPECT_THAT(Resource(file, "24"),
                testing::HasSubstr(">PerMonitorV2, PerMonitor</dpiAwareness>"))
        << program;
    // One file: nothing but the system's libraries (no C++ runtime, no
    // Cairo) is needed beside it.
    const std::string imports = RunToEnd({"x86_64-w64-mingw32-objdump", "-p", file}).out;
    std::istringstream lines(imports);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("DLL Name: ") == std::string::npos) continue;
      EXPECT_THAT(line.substr(line.find(": ") + 2),
                  testing::AnyOf("GDI32.dll", "KERNEL32.dll", "msvcrt.dll", "USER32.dll"))
          << program;
    }
    EXPECT_THAT(imports, testing::HasSubstr("DLL Name: KERNEL32.dll")) << program;
  }
}

}  // namespace
