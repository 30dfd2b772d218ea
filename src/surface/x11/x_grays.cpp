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
  share_ = XShmQueryExtension(display_) && OnThisMachine(display_);
}

XGrays::~XGrays() {
  for (Held& held : held_) ReleaseSharedMemory(held);
}

// A segment of at least Bytes for Target that the server has attached and
// reads; false if it cannot, and then nothing is shared.
bool XGrays::ShareMemory(Held& Target, std::size_t Bytes) {
  if (Target.segment_bytes >= Bytes) return true;
  ReleaseSharedMemory(Target);
  XShmSegmentInfo& segment = Target.segment;
  segment.shmid = shmget(IPC_PRIVATE, Bytes, IPC_CREAT | 0600);
  if (segment.shmid < 0) return false;
  void* at = shmat(segment.shmid, nullptr, 0);
  segment.shmaddr = static_cast<char*>(at);
  segment.readOnly = True;
  const bool attached = at != reinterpret_cast<void*>(-1) &&
                        !Refused(display_, [&] { XShmAttach(display_, &segment); });
  // Freed once both sides have let go of it.
  shmctl(segment.shmid, IPC_RMID, nullptr);
  if (!attached) {
    if (at != reinterpret_cast<void*>(-1)) shmdt(at);
    segment = {};
    return false;
  }
  Target.segment_bytes = Bytes;
  Target.segment_holds_picture = false;
  if (ServerReadsSegment(Target)) return true;
  ReleaseSharedMemory(Target);
  return false;
}

// The server finds a segment by its number in its own IPC namespace; from
// another one (a container's, say) that number may name someone else's
// segment or none. A few bytes put through the segment and read back tell.
bool XGrays::ServerReadsSegment(Held& Target) {
  XShmSegmentInfo& segment = Target.segment;
  const unsigned width = unsigned(std::min(Target.width, 16));
  XImage* image =
      XShmCreateImage(display_, visual_, 8, ZPixmap, segment.shmaddr, &segment, width, 1);
  if (image == nullptr) return false;
  for (unsigned x = 0; x < width; ++x) segment.shmaddr[x] = ProbeByte(x);
  XImage* back = nullptr;
  const bool refused = Refused(display_, [&] {
    XShmPutImage(display_, Target.pixmap, gc_, image, 0, 0, 0, 0, width, 1, False);
    back = XGetImage(display_, Target.pixmap, 0, 0, width, 1, AllPlanes, ZPixmap);
  });
  bool same = !refused && back != nullptr;
  for (unsigned x = 0; same && x < width; ++x) {
    same = XGetPixel(back, int(x), 0) == static_cast<unsigned char>(ProbeByte(x));
  }
  if (back != nullptr) XDestroyImage(back);
  image->data = nullptr;  // the segment's, not Xlib's to free
  XDestroyImage(image);
  return same;
}

void XGrays::ReleaseSharedMemory(Held& Target) {
  if (Target.segment_bytes == 0) return;
  XShmDetach(display_, &Target.segment);
  XSync(display_, False);
  shmdt(Target.segment.shmaddr);
  Target.segment = {};
  Target.segment_bytes = 0;
}

// Through Target's segment, if the server can take it; waits until the
// server has, so that the segment can be written again. Each row of Area
// that the segment holds as last sent changes only within the old and the
// new ink.
bool XGrays::PutShared(Held& Target, const PixelRows& Pixels, const InkRows& Ink, const Box& Area) {
  XImage* image = XShmCreateImage(display_, visual_, 8, ZPixmap, nullptr, &Target.segment,
                                  unsigned(Pixels.Width), unsigned(Pixels.Height));
  if (image == nullptr) return false;
  const bool shared =
      ShareMemory(Target, std::size_t(image->bytes_per_line) * std::size_t(Pixels.Height));
  if (shared) {
    for (int y = Area.Top; y < Area.Bottom; ++y) {
      const InkRows::Span changed = Target.segment_holds_picture
                                        ? Ink.Row(y).Hull(Target.ink.Row(y))
                                        : InkRows::Span{Area.Left, Area.Right};
      if (changed.Empty()) continue;
      std::memcpy(Target.segment.shmaddr + std::ptrdiff_t(y) * image->bytes_per_line + changed.Left,
                  Pixels.Row(y) + changed.Left, std::size_t(changed.Right - changed.Left));
    }
    image->data = Target.segment.shmaddr;
    XShmPutImage(display_, Target.pixmap, gc_, image, Area.Left, Area.Top, Area.Left, Area.Top,
                 unsigned(Area.Width()), unsigned(Area.Height()), False);
    XSync(display_, False);
    Target.segment_holds_picture = true;
  }
  image->data = nullptr;  // the segment's, not Xlib's to free
  XDestroyImage(image);
  return shared;
}

void XGrays::Send(int Slot, const PixelRows& Pixels, const InkRows& Ink) {
  Held& held = held_[std::size_t(Slot)];
  // Outside both the old and the new ink the pixmap is white and stays so;
  // a new pixmap takes everything.
  Box area = Ink.Hull().Hull(held.ink.Hull());
  if (held.width != Pixels.Width || held.height != Pixels.Height) {
    Replace(held, Pixels.Width, Pixels.Height);
    area = {0, 0, Pixels.Width, Pixels.Height};
  }
  if (!area.Empty()) {
    if (!share_ || !PutShared(held, Pixels, Ink, area)) {
      share_ = false;
      PutOverTheConnection(held, Pixels, area);
    }
  }
  held.ink = Ink;
}

// A new pixmap for pictures of Width × Height in place of Target's.
void XGrays::Replace(Held& Target, int Width, int Height) {
  if (Target.pixmap != 0) {
    XRenderFreePicture(display_, Target.alpha);
    XFreePixmap(display_, Target.pixmap);
  }
  Target.pixmap = XCreatePixmap(display_, window_, unsigned(std::max(Width, 1)),
                                unsigned(std::max(Height, 1)), 8);
  Target.alpha = XRenderCreatePicture(
      display_, Target.pixmap, XRenderFindStandardFormat(display_, PictStandardA8), 0, nullptr);
  Target.width = Width;
  Target.height = Height;
  Target.segment_holds_picture = false;
  if (gc_ == nullptr) gc_ = XCreateGC(display_, Target.pixmap, 0, nullptr);
}

void XGrays::PutOverTheConnection(const Held& Target, const PixelRows& Pixels, const Box& Area) {
  XImage* image =
      XCreateImage(display_, visual_, 8, ZPixmap, 0, reinterpret_cast<char*>(Pixels.Data),
                   unsigned(Pixels.Width), unsigned(Pixels.Height), 8, Pixels.Stride);
  if (image == nullptr) throw DisplayError("no image for the pixels");
  XPutImage(display_, Target.pixmap, gc_, image, Area.Left, Area.Top, Area.Left, Area.Top,
            unsigned(Area.Width()), unsigned(Area.Height()));
  image->data = nullptr;  // the caller's, not Xlib's to free
  XDestroyImage(image);
}

// White through the gray as alpha: 255 × gray / 255, exactly the gray.
void XGrays::Paint(int Slot, int Left, int Top) {
  const Held& held = held_[std::size_t(Slot)];
  XRenderComposite(display_, PictOpSrc, white_, held.alpha, window_picture_, 0, 0, 0, 0, Left, Top,
                   unsigned(held.width), unsigned(held.height));
}

void XGrays::PaintWhite(int Width, int Height) {
  XRenderFillRectangle(display_, PictOpSrc, window_picture_, &kWhite, 0, 0, unsigned(Width),
                       unsigned(Height));
}
