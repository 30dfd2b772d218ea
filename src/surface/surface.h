// A picture surface: one member of the window's pair of surfaces.
//
// What it promises:
//  - a persistent off-screen image, white after Cls, that Cls, PaintPicture
//    and Line draw into; the screen shows it only where and when the surface
//    is in front, and repaints from it whenever the window is exposed;
//  - pixel coordinates from the surface's top-left corner, y downward;
//  - lines of DrawWidth pixels, anti-aliased, with round ends and joins;
//  - a shrunk copy that is filtered, so that thin lines soften instead of
//    breaking up.
// What it leaves out: everything else a picture box could do (text, fill
// styles, raster operations, scale modes other than pixels).
//
// Every operation raises SurfaceError when the platform fails to carry it out.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "numbers.h"

class SurfaceError : public RunTimeError {
 public:
  explicit SurfaceError(const std::string& what) : RunTimeError("surface error: " + what) {}
};

// A colour as red + 256 × green + 65536 × blue.
using Colour = std::int32_t;

// Composes a colour; each component must lie in 0 to 255.
inline Colour RGB(Int16 Red, Int16 Green, Int16 Blue) {
  for (const Int16 component : {Red, Green, Blue}) {
    if (component < 0 || component > 255) {
      throw SurfaceError("colour component " + std::to_string(component.Value()) +
                         " is outside 0 to 255");
    }
  }
  return Red.Value() + 256 * Green.Value() + 65536 * Blue.Value();
}

// What Image hands out: the persistent image of one surface, as it is when
// PaintPicture reads it.
class Picture {
 public:
  virtual ~Picture() = default;
};

class Surface {
 public:
  virtual ~Surface() = default;

  virtual void Move(Single Left, Int16 Top, Int16 Width, Int16 Height) = 0;
  virtual void Cls() = 0;
  virtual const Picture& Image() const = 0;
  // Copies the rectangle (X2, Y2, Width2, Height2) of the picture, scaled in x
  // and y independently, over the rectangle (X1, Y1, Width1, Height1); a
  // rectangle without area copies nothing.
  virtual void PaintPicture(const Picture& Source, Single X1, Single Y1, Int16 Width1,
                            Int16 Height1, Int16 X2, Int16 Y2, Int16 Width2, Int16 Height2) = 0;
  virtual void ZOrder() = 0;
  virtual void CurrentX(Single X) = 0;
  virtual void CurrentY(Single Y) = 0;
  virtual void DrawWidth(Int16 Width) = 0;
  // A straight line from the current point to (X, Y), which becomes the
  // current point.
  virtual void Line(Single X, Single Y, Colour Color) = 0;
};
