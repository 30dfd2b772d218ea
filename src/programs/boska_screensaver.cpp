// boska-screensaver: the animation as a screensaver, or on a full screen of
// its own, or as a Wayland desktop's wallpaper.
//
//   boska-screensaver [--root | --window-id ID | --wallpaper]
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "animation/program.h"
#include "desktop_window.h"
#include "surface/random.h"
#include "surface/x11/foreign_window.h"
#include "surface/x11/x_window.h"
#include "version.h"

namespace {

constexpr char kProgram[] = "boska-screensaver";

constexpr char kUsage[] = R"(usage: boska-screensaver [--root | --window-id ID | --wallpaper]
Shows the animation as a screensaver or on a full screen.
  --root          draw on the root window; under a screensaver daemon, on the
                  window that it names in XSCREENSAVER_WINDOW
  --window-id ID  draw into the window ID (decimal or 0x-hex)
  --wallpaper     in a Wayland session, draw under every window on every
                  output, until stopped
  --version       print the version and exit
  --help          print this help and exit
With none, it draws into the window that XSCREENSAVER_WINDOW names; else, in a
Wayland session, over every output; else on a full-screen window of its own.
Any key or mouse button ends those two, and so does moving the pointer on
Wayland.
)";

// Where to draw: an X window by its id, the root window, the wallpaper, or
// (none) over the whole desktop.
struct Target {
  std::optional<Window> Id;
  bool Root = false;
  bool Wallpaper = false;
};

struct Options {
  Target Where;
  bool Help = false;
  bool Version = false;
};

// A window id, decimal or 0x-hex, as X numbers windows (29 bits, never 0).
Window ParseWindowId(std::string_view Text, const std::string& What) {
  const bool hex = Text.starts_with("0x") || Text.starts_with("0X");
  const std::string_view digits = hex ? Text.substr(2) : Text;
  const std::string_view allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (digits.empty() || digits.size() > 10 || digits.find_first_not_of(allowed) != digits.npos) {
    throw BadInput(What + " is not a window id: " + std::string(Text));
  }
  const unsigned long id = std::stoul(std::string(digits), nullptr, hex ? 16 : 10);
  if (id == 0 || id > 0x1FFFFFFF)
    throw BadInput(What + " is not a window id: " + std::string(Text));
  return id;
}

// Both spellings that screensaver programs accept: "--root" and "-root".
bool Is(std::string_view Argument, std::string_view Option) {
  return Argument == Option || Argument == Option.substr(1);
}

Options Parse(const std::vector<std::string_view>& Arguments) {
  Options options;
  for (std::size_t i = 0; i < Arguments.size(); ++i) {
    const std::string_view argument = Arguments[i];
    if (Is(argument, "--help")) {
      options.Help = true;
    } else if (Is(argument, "--version")) {
      options.Version = true;
    } else if (Is(argument, "--root")) {
      options.Where.Root = true;
    } else if (Is(argument, "--wallpaper")) {
      options.Where.Wallpaper = true;
    } else if (Is(argument, "--window-id")) {
      if (++i == Arguments.size()) throw BadInput("--window-id needs a window id");
      options.Where.Id = ParseWindowId(Arguments[i], "--window-id");
    } else {
      throw BadInput("unknown argument " + std::string(argument) + " (see --help)");
    }
  }
  // A daemon's settings program previews a screensaver by appending
  // --window-id to its configured command, which may say --root: the
  // window named wins.
  if (options.Where.Id) options.Where.Root = false;
  if (options.Where.Wallpaper && (options.Where.Root || options.Where.Id)) {
    throw BadInput("--wallpaper excludes --root and --window-id");
  }
  return options;
}

// A screensaver daemon names the window it shows in XSCREENSAVER_WINDOW; it
// stands in for the root window as well (a virtual root).
Target Resolve(Target Where) {
  const char* daemons = Named("XSCREENSAVER_WINDOW");
  if (!Where.Id && !Where.Wallpaper && daemons != nullptr) {
    Where.Id = ParseWindowId(daemons, "XSCREENSAVER_WINDOW");
  }
  return Where;
}

// The whole desktop: in a Wayland session whose compositor answers, every
// output; else a full screen on X11. The wallpaper is Wayland's alone (on
// X11 the root window is the wallpaper: --root).
std::unique_ptr<PictureWindow> OpenDesktop(RandomSource& Random, bool Wallpaper) {
  return WaylandOr(
      Random, Wallpaper ? WaylandRole::Wallpaper : WaylandRole::Screensaver,
      [&]() -> std::unique_ptr<PictureWindow> {
        if (Wallpaper) {
          throw DisplayError("a wallpaper needs a Wayland compositor with a layer shell");
        }
        return std::make_unique<XWindow>(Random, kProgram, true);
      });
}

int Show(const Target& Where) {
  EndOnSignals();
  Generator random;
  if (Where.Id || Where.Root) {
    ForeignWindow window(random, Where.Id, kProgram);
    return RunBoska(window, std::cerr, kProgram);
  }
  const std::unique_ptr<PictureWindow> window = OpenDesktop(random, Where.Wallpaper);
  return RunBoska(*window, std::cerr, kProgram);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = Parse({argv + 1, argv + argc});
    if (options.Help) {
      std::cout << kUsage;
    } else if (options.Version) {
      std::cout << kProgram << ' ' << kBoskaVersion << '\n';
    } else {
      return Show(Resolve(options.Where));
    }
    return 0;
  } catch (const BadInput& error) {
    std::cerr << kProgram << ": " << error.what() << '\n';
    return kBadInputStatus;
  } catch (const std::exception& error) {
    std::cerr << kProgram << ": " << error.what() << '\n';
    return 1;
  }
}
