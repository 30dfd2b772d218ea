#include "surface/sdl/sdl_display.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <wayland-client.h>

#include <memory>

namespace {

// SDL falls back to drivers that draw nowhere when no display can be opened;
// the animation would then run invisibly for ever.
bool DrawsOnScreen(const std::string& driver) { return driver != "offscreen" && driver != "dummy"; }

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

// A TrueColor visual of the default screen with 8 bits a channel, the one
// kind of visual SDL can present our pixels on: the default one if it is
// such, else one the server offers besides (a 30-bit screen offers a 32-bit
// one for translucent windows). Nothing on a palette screen.
std::optional<VisualID> EightBitVisual(Display* display) {
  XVisualInfo wanted{};
  wanted.screen = DefaultScreen(display);
  wanted.c_class = TrueColor;
  wanted.red_mask = 0xFF0000;
  wanted.green_mask = 0xFF00;
  wanted.blue_mask = 0xFF;
  int count = 0;
  XVisualInfo* found = XGetVisualInfo(display,
                                      VisualScreenMask | VisualClassMask | VisualRedMaskMask |
                                          VisualGreenMaskMask | VisualBlueMaskMask,
                                      &wanted, &count);
  std::optional<VisualID> choice;
  const VisualID standard = XVisualIDFromVisual(DefaultVisual(display, wanted.screen));
  for (int i = 0; i < count; ++i) {
    if (!choice || found[i].visualid == standard) choice = found[i].visualid;
  }
  if (found != nullptr) XFree(found);
  return choice;
}

void PrepareForX11(const char* Program, std::optional<XFaults>& Faults) {
  // Set before SDL starts, so that SDL's own handlers pass faults on and
  // put them back when it ends.
  Faults.emplace(Program);
  // X11 presents from memory (shared-memory images): no OpenGL stack for a
  // picture that changes once a second.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) return;  // SDL says why
  // SDL lists the screens' monitors from screen 0 on and centres a window on
  // the first of them, so a display name like ":0.1" would open it on screen
  // 0. Without RandR SDL knows only the named screen.
  SDL_SetHint(SDL_HINT_VIDEO_X11_XRANDR, DefaultScreen(display.get()) == 0 ? "1" : "0");
  const std::optional<VisualID> visual = EightBitVisual(display.get());
  if (!visual) {
    throw DisplayError("its screen has " +
                       std::to_string(DefaultDepthOfScreen(DefaultScreenOfDisplay(display.get()))) +
                       "-bit colour; the animation needs 24-bit colour or more");
  }
  SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, std::to_string(*visual).c_str());
}

void PrepareForWayland() {
  // SDL's Wayland driver has no window surface in memory: it presents
  // through an OpenGL ES texture, the only way it has.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "1");
  // Window decorations come from libdecor, which a borderless window does
  // not need and which only prints its search for plugins.
  SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
}

}  // namespace

std::vector<DisplayServer> CandidateServers(bool Wayland) {
  if (const char* driver = Named("SDL_VIDEODRIVER")) return {{driver, "SDL_VIDEODRIVER"}};
  std::vector<DisplayServer> servers;
  const char* wayland = Named("WAYLAND_DISPLAY");
  if (Wayland && wayland != nullptr) servers.push_back({"wayland", wayland});
  if (const char* x11 = Named("DISPLAY")) servers.push_back({"x11", x11});
  return servers;
}

void PrepareFor(const DisplayServer& Server, const char* Program, std::optional<XFaults>& Faults) {
  if (!DrawsOnScreen(Server.driver)) throw DisplayError("the driver draws on no display");
  if (Server.driver == "x11") PrepareForX11(Program, Faults);
  if (Server.driver == "wayland") PrepareForWayland();
}

void EndIfDisplayGone(SDL_Window* Shown, const char* Program) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(Shown, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_WAYLAND &&
      wl_display_get_error(info.info.wl.display) != 0) {
    const char* name = Named("WAYLAND_DISPLAY");
    EndWithLine(Program, std::string("lost the display ") + (name != nullptr ? name : "wayland-0"));
  }
}
