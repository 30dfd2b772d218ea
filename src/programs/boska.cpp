// boska: the animation in its window on the desktop.
#include <exception>
#include <iostream>
#include <memory>

#include "animation/program.h"
#include "desktop_window.h"
#include "surface/random.h"
#include "surface/x11/x_window.h"

namespace {

// The window on the session's display: on Wayland where WAYLAND_DISPLAY
// names a compositor that answers, else on the X server that DISPLAY names.
std::unique_ptr<PictureWindow> OpenWindow(RandomSource& Random) {
  return WaylandOr(Random, WaylandRole::Window,
                   [&] { return std::make_unique<XWindow>(Random, "boska"); });
}

}  // namespace

int main() {
  try {
    Generator random;
    const std::unique_ptr<PictureWindow> window = OpenWindow(random);
    return RunBoska(*window, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "boska: " << error.what() << '\n';
    return 1;
  }
}
