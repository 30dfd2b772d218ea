// boska: the animation in its window on the desktop.
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "animation/program.h"
#include "surface/display.h"
#include "surface/random.h"
#include "surface/sdl/sdl_window.h"
#include "surface/wayland/wayland_window.h"

namespace {

// The window on the session's display: Boska's own Wayland window where
// WAYLAND_DISPLAY names a compositor that answers, else SDL's on X11. SDL's
// Wayland window presents through OpenGL, which a picture that changes once
// a second does not need; a user who names an SDL video driver gets SDL
// with it.
std::unique_ptr<PictureWindow> OpenWindow(RandomSource& Random) {
  std::string tried;
  const char* wayland = Named("WAYLAND_DISPLAY");
  if (wayland != nullptr && Named("SDL_VIDEODRIVER") == nullptr) {
    try {
      return std::make_unique<WaylandWindow>(Random, "boska");
    } catch (const DisplayError& error) {
      tried = std::string(wayland) + " (wayland): " + error.what();
    }
  }
  return std::make_unique<SdlWindow>(Random, WindowStyle{.Wayland = tried.empty(), .Tried = tried});
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
