// Gray pictures in an X window: the X server keeps each picture as an 8-bit
// pixmap and paints it into the window as the alpha of white (RENDER), which
// gives every gray exactly in the window's own colours. One byte a pixel
// crosses the connection, once per picture; repainting sends nothing.
#pragma once

#include <X11/Xlib.h>

#include <array>

#include "surface/pixels.h"

class XGrays {
 public:
  // Throws DisplayError when the display has no RENDER or the window's
  // visual is a palette.
  XGrays(Display* Connection, Window Target, Visual* Look);

  // Sends Pixels as picture Slot (0 or 1), replacing what it held.
  void Send(int Slot, const PixelRows& Pixels);
  // Paints picture Slot with its top-left corner at (Left, Top).
  void Paint(int Slot, int Left, int Top);
  void PaintWhite(int Width, int Height);

 private:
  struct Held {
    Pixmap pixmap = 0;
    XID alpha = 0;  // the pixmap as a RENDER picture
    int width = 0;
    int height = 0;
  };

  Display* display_;
  Window window_;
  Visual* visual_;
  XID window_picture_ = 0;
  XID white_ = 0;
  GC gc_ = nullptr;  // for the 8-bit pixmaps
  std::array<Held, 2> held_;
};
