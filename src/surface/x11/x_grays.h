// Gray pictures in an X window: the X server keeps each picture as an 8-bit
// pixmap and paints it into the window as the alpha of white (RENDER), which
// gives every gray exactly in the window's own colours. One byte a pixel
// goes to the server, only for pixels that may have changed: in bands of
// rows, each the box of its rows' old and new ink. Where the server runs on
// this machine the bands go through one shared-memory segment, packed one
// after another from its start, so that a frame writes a few dense pages
// rather than a piece of every row of a screen-sized picture. Repainting
// sends nothing.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <array>
#include <cstddef>
#include <optional>

#include "surface/picture/pixel_rows.h"

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
  // Paints picture Slot with its top-left corner at (Left, Top) into the
  // window, of Width × Height.
  void Paint(int Slot, int Left, int Top, int Width, int Height);
  // The same for a picture that covers the window, painting only the bands
  // that may differ from the picture that covered it before at the same
  // place (their rows' ink of either); false, painting nothing, for a
  // picture that does not cover the window. Whatever else changed what the
  // window shows, an exposure, is to be painted whole.
  bool PaintChanges(int Slot, int Left, int Top, int Width, int Height);
  void PaintWhite(int Width, int Height);

 private:
  struct Held {
    Pixmap pixmap = 0;
    XID alpha = 0;  // the pixmap as a RENDER picture
    int width = 0;
    int height = 0;
    InkRows ink;  // the pixmap is white outside it
  };

  // A picture that covered the window when it was painted whole, at
  // (left, top), and its ink then.
  struct Shown {
    int left = 0;
    int top = 0;
    InkRows ink;
  };

  void Composite(const Held& Target, const Box& Part, int Left, int Top);
  static bool Covers(const Held& Target, int Left, int Top, int Width, int Height);
  void Remember(const Held& Target, int Left, int Top, int Width, int Height);
  bool ShareMemory(std::size_t Bytes);
  bool ServerReadsSegment();
  void ReleaseSharedMemory();
  void Replace(Held& Target, int Width, int Height);
  int PaddedLine(int Width) const;
  bool PutShared(const Held& Target, const PixelRows& Pixels, const InkRows& Ink);
  void PutOverTheConnection(const Held& Target, const PixelRows& Pixels, const InkRows& Ink);

  Display* display_;
  Window window_;
  Visual* visual_;
  XID window_picture_ = 0;
  XID white_ = 0;
  GC gc_ = nullptr;  // for the 8-bit pixmaps, white as its foreground
  int line_pad_ = 4;  // the server's rows of 8-bit pixels pad to this many bytes
  std::array<Held, 2> held_;
  std::optional<Shown> shown_;  // what the window shows, when one picture covers it
  bool share_ = false;  // through shared memory
  XShmSegmentInfo segment_{};
  std::size_t segment_bytes_ = 0;
  // Describes one band in the segment at a time.
  XImage* band_ = nullptr;
};
