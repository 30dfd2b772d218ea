#include "surface/x11/x_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "surface/display.h"
#include "surface/icon.h"
#include "surface/x11/x_monitors.h"

namespace {

// The decorations field of the Motif hints, and none of them.
constexpr long kMotifDecorations = 1L << 1;

// A true-colour visual's pixel for an 0xRRGGBB colour, each channel
// scaled to the width of its mask (10 bits on a 30-bit screen).
unsigned long PixelOf(const Visual& Look, std::uint32_t Colour) {
  const auto channel = [](unsigned long Level, unsigned long Mask) {
    const int shift = __builtin_ctzl(Mask);
    const unsigned long top = Mask >> shift;
    return ((Level * top + 127) / 255) << shift;
  };
  return channel(Colour >> 16 & 0xFF, Look.red_mask) |
         channel(Colour >> 8 & 0xFF, Look.green_mask) | channel(Colour & 0xFF, Look.blue_mask);
}

// The icon as a pixmap of the screen's, for WM_HINTS.
Pixmap IconPixmap(Display* Connection, Window Root, Visual* Look, int Bits) {
  XImage* image = XCreateImage(Connection, Look, unsigned(Bits), ZPixmap, 0, nullptr, kIconSize,
                               kIconSize, 32, 0);
  image->data = static_cast<char*>(std::malloc(std::size_t(image->bytes_per_line) * kIconSize));
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x) {
      XPutPixel(image, x, y, PixelOf(*Look, Icon()[std::size_t(y * kIconSize + x)]));
    }
  }
  const Pixmap pixmap = XCreatePixmap(Connection, Root, kIconSize, kIconSize, unsigned(Bits));
  GC gc = XCreateGC(Connection, pixmap, 0, nullptr);
  XPutImage(Connection, pixmap, gc, image, 0, 0, 0, 0, kIconSize, kIconSize);
  XFreeGC(Connection, gc);
  XDestroyImage(image);
  return pixmap;
}

constexpr ButtonNames<unsigned> kButtons{Button1, Button3, Button2};

// The button pressed; none for the wheel's (4 to 7), which turns rather
// than presses.
std::optional<PressedButton> ButtonOf(unsigned Button) {
  if (Button >= 4 && Button <= 7) return std::nullopt;
  return kButtons.Of(Button);
}

// The whole monitor under the pointer, or the design size centred on it.
Box PlaceOnMonitor(Display* Server, int Number, bool Whole) {
  const Box monitor = MonitorUnderPointer(Server, Number);
  if (Whole) return monitor;
  return Box{0, 0, kDesignWidth, kDesignHeight}.Offset(
      (monitor.Left + monitor.Right - kDesignWidth) / 2,
      (monitor.Top + monitor.Bottom - kDesignHeight) / 2);
}

}  // namespace

XWindow::XWindow(RandomSource& Random, const char* Program, bool FullScreen)
    : XDrawnWindow(Random, Program),
      protocols_(XInternAtom(display_, "WM_PROTOCOLS", False)),
      delete_window_(XInternAtom(display_, "WM_DELETE_WINDOW", False)) {
  const int screen = DefaultScreen(display_);
  Visual* look = DefaultVisual(display_, screen);
  const int depth = DefaultDepth(display_, screen);
  if (look->c_class != TrueColor) {
    throw DisplayError("cannot open display: " + std::string(DisplayString(display_)) +
                       ": its screen has " + std::to_string(depth) +
                       "-bit colour; the animation needs true colour");
  }
  const Box place = PlaceOnMonitor(display_, screen, FullScreen);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = PixelOf(*look, 0xFFFFFF);
  attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask;
  const Window window = XCreateWindow(display_, RootWindow(display_, screen), place.Left, place.Top,
                                      unsigned(place.Width()), unsigned(place.Height()), 0, depth,
                                      InputOutput, look, CWBackPixel | CWEventMask, &attributes);
  DrawIn(window, look, place.Width(), place.Height());
  SetStandardHints(FullScreen, *look, depth);
  SetDesktopProperties(FullScreen);
  EndOnSignals();
}

// What every window manager reads: size, input, icon, names, and that it
// may ask the window to close.
void XWindow::SetStandardHints(bool FullScreen, const Visual& Look, int Bits) {
  XSizeHints* size = XAllocSizeHints();
  size->flags = PPosition | PSize;
  if (!FullScreen) {
    size->flags |= PMinSize | PMaxSize;
    size->min_width = size->max_width = kDesignWidth;
    size->min_height = size->max_height = kDesignHeight;
  }
  XWMHints* hints = XAllocWMHints();
  hints->flags = InputHint | StateHint | IconPixmapHint;
  hints->input = True;
  hints->initial_state = NormalState;
  hints->icon_pixmap =
      IconPixmap(display_, DefaultRootWindow(display_), const_cast<Visual*>(&Look), Bits);
  XClassHint* names = XAllocClassHint();
  std::string id = kApplicationId;
  names->res_name = names->res_class = id.data();
  std::string title = kTitle;
  char* titles[] = {title.data()};
  XTextProperty name{};
  XStringListToTextProperty(titles, 1, &name);
  XSetWMProperties(display_, window_, &name, &name, nullptr, 0, size, hints, names);
  XFree(name.value);
  XFree(names);
  XFree(hints);
  XFree(size);
  Atom protocols[] = {delete_window_};
  XSetWMProtocols(display_, window_, protocols, 1);
}

// What desktops read beside: the title in UTF-8, the process, no frame,
// the icon in colour, and full screen where asked.
void XWindow::SetDesktopProperties(bool FullScreen) {
  const auto set = [&](const char* Property, Atom Type, int Format, const void* Data, int Count) {
    XChangeProperty(display_, window_, XInternAtom(display_, Property, False), Type, Format,
                    PropModeReplace, static_cast<const unsigned char*>(Data), Count);
  };
  set("_NET_WM_NAME", XInternAtom(display_, "UTF8_STRING", False), 8, kTitle,
      int(std::char_traits<char>::length(kTitle)));
  const long pid = getpid();
  set("_NET_WM_PID", XA_CARDINAL, 32, &pid, 1);
  const long motif[5] = {kMotifDecorations, 0, 0, 0, 0};
  set("_MOTIF_WM_HINTS", XInternAtom(display_, "_MOTIF_WM_HINTS", False), 32, motif, 5);
  std::vector<long> icon{kIconSize, kIconSize};
  icon.insert(icon.end(), Icon().begin(), Icon().end());
  set("_NET_WM_ICON", XA_CARDINAL, 32, icon.data(), int(icon.size()));
  if (FullScreen) {
    const Atom full = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
    set("_NET_WM_STATE", XA_ATOM, 32, &full, 1);
  }
}

void XWindow::Show() {
  SendBoth();
  XMapRaised(display_, window_);
}

void XWindow::Handle(const XEvent& Event) {
  const auto shift = [](unsigned State) {
    return ShiftState(State & ShiftMask, State & ControlMask, State & Mod1Mask);
  };
  switch (Event.type) {
    case MapNotify:
      // The size is the window manager's by now: the animation's, once.
      if (!IsActivated()) {
        XWindowAttributes attributes;
        XGetWindowAttributes(display_, window_, &attributes);
        width_ = attributes.width;
        height_ = attributes.height;
        Activated();
      }
      break;
    case KeyPress:
      QueueKey(static_cast<std::int16_t>(Event.xkey.keycode), shift(Event.xkey.state));
      break;
    case ButtonPress:
      if (const std::optional<PressedButton> button = ButtonOf(Event.xbutton.button)) {
        QueueButton(*button, shift(Event.xbutton.state), float(Event.xbutton.x),
                    float(Event.xbutton.y));
      }
      break;
    case ClientMessage:
      if (Event.xclient.message_type == protocols_ &&
          Atom(Event.xclient.data.l[0]) == delete_window_) {
        QueueClose();
      }
      break;
    default:
      break;
  }
  XDrawnWindow::Handle(Event);
}
