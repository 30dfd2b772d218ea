// boska: the animation in its window on the desktop.
#include <exception>
#include <iostream>

#include "animation/program.h"
#include "surface/random.h"
#include "surface/sdl/sdl_window.h"

int main() {
  try {
    Generator random;
    SdlWindow window(random);
    return RunBoska(window, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "boska: " << error.what() << '\n';
    return 1;
  }
}
