// Gray pictures in an X window: the X server keeps each picture as an 8-bit
// pixmap and paints it into the window as the alpha of white (RENDER), which
// gives every gray exactly in the window's own colours. One byte a pixel
// goes to the server, only for pixels that may have changed, through shared
// memory where the server runs on this machine (a segment for each picture,
// which keeps it between frames, so that only each row's ink is written
// into it); repainting sends nothing.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <array>
#include <cstddef>

#include "surface/picture/pixels.h"

class XGrays {
 public:
  // Throws DisplayError when the display has no RENDER or the window's
  // visual is a palette.
  XGrays(Display* Connection, Window Target, Visual* Look);
  ~XGrays();
  XGrays(const XGrays&) = delete;
  XGrays& operator=(const XGrays&) = delete;

  // Sends Pixels as picture Slot (0 or 1), replacing what it held; they are
  // white outside Ink.
  void Send(int Slot, const PixelRows& Pixels, const InkRows& Ink);
  // Paints picture Slot with its top-left corner at (Left, Top).
  void Paint(int Slot, int Left, int Top);
  void PaintWhite(int Width, int Height);

 private:
  struct Held {
    Pixmap pixmap = 0;
    XID alpha = 0;  // the pixmap as a RENDER picture
    int width = 0;
    int height = 0;
    InkRows ink;  // the last pixels sent are white outside it
    // The shared memory through which the pixels go. Once written it holds
    // the picture as last sent, so that a frame writes into it only what
    // changed; a new segment or a new pixmap takes every pixel.
    XShmSegmentInfo segment{};
    std::size_t segment_bytes = 0;
    bool segment_holds_picture = false;
  };

  bool ShareMemory(Held& Target, std::size_t Bytes);
  bool ServerReadsSegment(Held& Target);
  void ReleaseSharedMemory(Held& Target);
  void Replace(Held& Target, int Width, int Height);
  bool PutShared(Held& Target, const PixelRows& Pixels, const InkRows& Ink, const Box& Area);
  void PutOverTheConnection(const Held& Target, const PixelRows& Pixels, const Box& Area);

  Display* display_;
  Window window_;
  Visual* visual_;
  XID window_picture_ = 0;
  XID white_ = 0;
  GC gc_ = nullptr;  // for the 8-bit pixmaps
  std::array<Held, 2> held_;
  bool share_ = false;  // through shared memory
};
