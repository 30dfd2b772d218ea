#include "surface/surface.h"

SurfaceError::SurfaceError(const std::string& what) : RunTimeError("surface error: " + what) {}

Colour RGB(Int16 Red, Int16 Green, Int16 Blue) {
  for (const Int16 component : {Red, Green, Blue}) {
    if (component < 0 || component > 255) {
      throw SurfaceError("colour component " + std::to_string(component.Value()) +
                         " is outside 0 to 255");
    }
  }
  return Red.Value() + 256 * Green.Value() + 65536 * Blue.Value();
}
