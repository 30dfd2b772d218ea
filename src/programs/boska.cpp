// boska: the animation in its window on the desktop.
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "animation/program.h"
#include "surface/display.h"
#include "surface/random.h"
#include "surface/wayland/wayland_window.h"
#include "surface/x11/x_window.h"

namespace {

// The window on the session's display: on Wayland where WAYLAND_DISPLAY
// names a compositor that answers, else on the X server that DISPLAY names.
std::unique_ptr<PictureWindow> OpenWindow(RandomSource& Random) {
  std::string tried;
  if (const char* wayland = Named("WAYLAND_DISPLAY")) {
    try {
      return std::make_unique<WaylandWindow>(Random, "boska");
    } catch (const DisplayError& error) {
      tried = std::string("; ") + wayland + " (wayland): " + error.what();
    }
  }
  try {
    return std::make_unique<XWindow>(Random, "boska");
  } catch (const DisplayError& error) {
    throw DisplayError(error.what() + tried);
  }
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
