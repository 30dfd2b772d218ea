#include "surface/x11/x_grays.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xrender.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "surface/display.h"

namespace {

constexpr XRenderColor kWhite{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

// Rows go to the server this many at a time, in the box of their changes:
// tall enough for few requests, short enough that the boxes stay close to
// the rows' own ink.
constexpr int kUploadRows = 32;

// Only a server on this machine, reached through a local socket, can read
// our shared memory.
bool OnThisMachine(Display* display) {
  const std::string_view name = DisplayString(display);
  return name.starts_with(":") || name.starts_with("unix:");
}

// Whether the server refused any of the requests that Requests makes; the
// program's own handler, which would end it, is set aside meanwhile.
template <typename Send>
bool Refused(Display* display, Send Requests) {
  static bool refused;
  refused = false;
  const XErrorHandler previous =
      XSetErrorHandler([](Display*, XErrorEvent*) { return refused = true, 0; });
  Requests();
  XSync(display, False);
  XSetErrorHandler(previous);
  return refused;
}

// The bytes that the read-back probe puts through shared memory.
char ProbeByte(unsigned x) { return static_cast<char>(37 * x + 11); }

// The box of the rows [Top, Bottom) that may differ between pictures white
// outside Old and outside New.
Box ChangedBand(const InkRows& Old, const InkRows& New, int Top, int Bottom) {
  InkRows::Span columns;
  int first = Bottom, last = Top;
  for (int y = Top; y < Bottom; ++y) {
    const InkRows::Span row = Old.Row(y).Hull(New.Row(y));
    if (row.Empty()) continue;
    columns = columns.Hull(row);
    first = std::min(first, y);
    last = y + 1;
  }
  return columns.Empty() ? Box{} : Box{columns.Left, first, columns.Right, last};
}

// Calls Put with each band of rows that may have changed, top to bottom.
template <typename Band>
void ForEachChangedBand(const InkRows& Old, const InkRows& New, Band Put) {
  const Box rows = Old.Hull().Hull(New.Hull());
  for (int top = rows.Top; top < rows.Bottom; top += kUploadRows) {
    const Box band = ChangedBand(Old, New, top, std::min(top + kUploadRows, rows.Bottom));
    if (!band.Empty()) Put(band);
  }
}

}  // namespace

XGrays::XGrays(Display* Connection, Window Target, Visual* Look)
    : display_(Connection), window_(Target), visual_(Look) {
  int event_base = 0, error_base = 0;
  if (!XRenderQueryExtension(display_, &event_base, &error_base)) {
    throw DisplayError("the display has no RENDER extension");
  }
  // Any true-colour window will do, at any depth; a palette has no room for
  // the 256 grays.
  const XRenderPictFormat* format = XRenderFindVisualFormat(display_, visual_);
  if (format == nullptr || format->type != PictTypeDirect) {
    throw DisplayError("the window has palette colour; the animation needs true colour");
  }
  window_picture_ = XRenderCreatePicture(display_, window_, format, 0, nullptr);
  white_ = XRenderCreateSolidFill(display_, &kWhite);
  const Pixmap eight_bits = XCreatePixmap(display_, window_, 1, 1, 8);
  XGCValues white{};
  white.foreground = 0xFF;
  gc_ = XCreateGC(display_, eight_bits, GCForeground, &white);
  XFreePixmap(display_, eight_bits);
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display_, &count);
  for (int i = 0; i < count; ++i) {
    if (formats[i].depth == 8) line_pad_ = formats[i].scanline_pad / 8;
  }
  XFree(formats);
  share_ = XShmQueryExtension(display_) && OnThisMachine(display_);
}

XGrays::~XGrays() { ReleaseSharedMemory(); }

// A segment of at least Bytes that the server has attached and reads; false
// if it cannot, and then nothing is shared.
bool XGrays::ShareMemory(std::size_t Bytes) {
  if (segment_bytes_ >= Bytes) return true;
  ReleaseSharedMemory();
  segment_.shmid = shmget(IPC_PRIVATE, Bytes, IPC_CREAT | 0600);
  if (segment_.shmid < 0) return false;
  void* at = shmat(segment_.shmid, nullptr, 0);
  segment_.shmaddr = static_cast<char*>(at);
  segment_.readOnly = True;
  const bool attached = at != reinterpret_cast<void*>(-1) &&
                        !Refused(display_, [&] { XShmAttach(display_, &segment_); });
  // Freed once both sides have let go of it.
  shmctl(segment_.shmid, IPC_RMID, nullptr);
  if (!attached) {
    if (at != reinterpret_cast<void*>(-1)) shmdt(at);
    segment_ = {};
    return false;
  }
  segment_bytes_ = Bytes;
  band_ = XShmCreateImage(display_, visual_, 8, ZPixmap, segment_.shmaddr, &segment_, 1, 1);
  if (band_ != nullptr && ServerReadsSegment()) return true;
  ReleaseSharedMemory();
  return false;
}

// The server finds a segment by its number in its own IPC namespace; from
// another one (a container's, say) that number may name someone else's
// segment or none. A few bytes put through the segment into a pixmap of
// their own and read back tell.
bool XGrays::ServerReadsSegment() {
  constexpr unsigned kWidth = 16;
  for (unsigned x = 0; x < kWidth; ++x) segment_.shmaddr[x] = ProbeByte(x);
  band_->width = int(kWidth);
  band_->height = 1;
  band_->bytes_per_line = PaddedLine(int(kWidth));
  const Pixmap probe = XCreatePixmap(display_, window_, kWidth, 1, 8);
  XImage* back = nullptr;
  const bool refused = Refused(display_, [&] {
    XShmPutImage(display_, probe, gc_, band_, 0, 0, 0, 0, kWidth, 1, False);
    back = XGetImage(display_, probe, 0, 0, kWidth, 1, AllPlanes, ZPixmap);
  });
  XFreePixmap(display_, probe);
  bool same = !refused && back != nullptr;
  for (unsigned x = 0; same && x < kWidth; ++x) {
    same = XGetPixel(back, int(x), 0) == static_cast<unsigned char>(ProbeByte(x));
  }
  if (back != nullptr) XDestroyImage(back);
  return same;
}

void XGrays::ReleaseSharedMemory() {
  if (band_ != nullptr) {
    band_->data = nullptr;  // the segment's, not Xlib's to free
    XDestroyImage(band_);
    band_ = nullptr;
  }
  if (segment_bytes_ == 0) return;
  XShmDetach(display_, &segment_);
  XSync(display_, False);
  shmdt(segment_.shmaddr);
  segment_ = {};
  segment_bytes_ = 0;
}

int XGrays::PaddedLine(int Width) const { return (Width + line_pad_ - 1) / line_pad_ * line_pad_; }

// Through the segment, if the server can take it: each changed band packed
// after the one before, as rows as wide as the band. Waits until the server
// has read them all, so that the next frame can write the segment again.
bool XGrays::PutShared(const Held& Target, const PixelRows& Pixels, const InkRows& Ink) {
  // The bands share no rows and none is wider than the picture: a
  // picture's worth of padded rows holds them all.
  if (!ShareMemory(std::size_t(PaddedLine(Pixels.Width)) * std::size_t(Pixels.Height))) {
    return false;
  }
  std::size_t used = 0;
  ForEachChangedBand(Target.ink, Ink, [&](const Box& Band) {
    const int line = PaddedLine(Band.Width());
    char* const start = segment_.shmaddr + used;
    for (int y = Band.Top; y < Band.Bottom; ++y) {
      std::memcpy(start + std::ptrdiff_t(y - Band.Top) * line, Pixels.Row(y) + Band.Left,
                  std::size_t(Band.Width()));
    }
    band_->width = Band.Width();
    band_->height = Band.Height();
    band_->bytes_per_line = line;
    band_->data = start;
    XShmPutImage(display_, Target.pixmap, gc_, band_, 0, 0, Band.Left, Band.Top,
                 unsigned(Band.Width()), unsigned(Band.Height()), False);
    used += std::size_t(line) * std::size_t(Band.Height());
  });
  if (used > 0) XSync(display_, False);
  return true;
}

void XGrays::Send(int Slot, const PixelRows& Pixels, const InkRows& Ink) {
  Held& held = held_[std::size_t(Slot)];
  if (held.width != Pixels.Width || held.height != Pixels.Height) {
    Replace(held, Pixels.Width, Pixels.Height);
  }
  if (!share_ || !PutShared(held, Pixels, Ink)) {
    share_ = false;
    PutOverTheConnection(held, Pixels, Ink);
  }
  held.ink = Ink;
}

// A new white pixmap for pictures of Width × Height in place of Target's.
void XGrays::Replace(Held& Target, int Width, int Height) {
  if (Target.pixmap != 0) {
    XRenderFreePicture(display_, Target.alpha);
    XFreePixmap(display_, Target.pixmap);
  }
  const auto width = unsigned(std::max(Width, 1)), height = unsigned(std::max(Height, 1));
  Target.pixmap = XCreatePixmap(display_, window_, width, height, 8);
  XFillRectangle(display_, Target.pixmap, gc_, 0, 0, width, height);
  Target.alpha = XRenderCreatePicture(
      display_, Target.pixmap, XRenderFindStandardFormat(display_, PictStandardA8), 0, nullptr);
  Target.width = Width;
  Target.height = Height;
  Target.ink = InkRows(Height);
}

void XGrays::PutOverTheConnection(const Held& Target, const PixelRows& Pixels,
                                  const InkRows& Ink) {
  XImage* image =
      XCreateImage(display_, visual_, 8, ZPixmap, 0, reinterpret_cast<char*>(Pixels.Data),
                   unsigned(Pixels.Width), unsigned(Pixels.Height), 8, Pixels.Stride);
  if (image == nullptr) throw DisplayError("no image for the pixels");
  ForEachChangedBand(Target.ink, Ink, [&](const Box& Band) {
    XPutImage(display_, Target.pixmap, gc_, image, Band.Left, Band.Top, Band.Left, Band.Top,
              unsigned(Band.Width()), unsigned(Band.Height()));
  });
  image->data = nullptr;  // the caller's, not Xlib's to free
  XDestroyImage(image);
}

// White through the gray as alpha: 255 × gray / 255, exactly the gray.
void XGrays::Composite(const Held& Target, const Box& Part, int Left, int Top) {
  XRenderComposite(display_, PictOpSrc, white_, Target.alpha, window_picture_, 0, 0, Part.Left,
                   Part.Top, Left + Part.Left, Top + Part.Top, unsigned(Part.Width()),
                   unsigned(Part.Height()));
}

void XGrays::Paint(int Slot, int Left, int Top, int Width, int Height) {
  const Held& held = held_[std::size_t(Slot)];
  Composite(held, {0, 0, held.width, held.height}, Left, Top);
  Remember(held, Left, Top, Width, Height);
}

bool XGrays::PaintChanges(int Slot, int Left, int Top, int Width, int Height) {
  const Held& held = held_[std::size_t(Slot)];
  if (!Covers(held, Left, Top, Width, Height)) return false;
  if (!shown_ || shown_->left != Left || shown_->top != Top) {
    Paint(Slot, Left, Top, Width, Height);
    return true;
  }
  ForEachChangedBand(shown_->ink, held.ink,
                     [&](const Box& Band) { Composite(held, Band, Left, Top); });
  Remember(held, Left, Top, Width, Height);
  return true;
}

void XGrays::PaintWhite(int Width, int Height) {
  XRenderFillRectangle(display_, PictOpSrc, window_picture_, &kWhite, 0, 0, unsigned(Width),
                       unsigned(Height));
  shown_.reset();
}

bool XGrays::Covers(const Held& Target, int Left, int Top, int Width, int Height) {
  return Left <= 0 && Top <= 0 && Left + Target.width >= Width && Top + Target.height >= Height;
}

// What the window shows once Target is painted at (Left, Top): that
// picture alone, if it covers the window.
void XGrays::Remember(const Held& Target, int Left, int Top, int Width, int Height) {
  if (!Covers(Target, Left, Top, Width, Height)) {
    shown_.reset();
    return;
  }
  if (!shown_) shown_.emplace();
  shown_->left = Left;
  shown_->top = Top;
  shown_->ink = Target.ink;
}
