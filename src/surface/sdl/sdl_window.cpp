#include "surface/sdl/sdl_window.h"

#include <array>
#include <cstdlib>

#include "surface/icon.h"
#include "surface/sdl/sdl_display.h"

namespace {

std::string SdlError(const std::string& call) { return call + ": " + SDL_GetError(); }

void SetCommonHints() {
  // The window class that the desktop entry's StartupWMClass names; SDL's
  // Wayland driver takes it as the application id too.
  setenv("SDL_VIDEO_X11_WMCLASS", "boska", 0);
  SDL_SetHint(SDL_HINT_APP_NAME, kTitle);
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // The click that brings the window to the front ends it too.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
}

// The monitor under the pointer, where the pointer's position is known.
int MonitorUnderPointer() {
  SDL_Point pointer{};
  SDL_GetGlobalMouseState(&pointer.x, &pointer.y);
  for (int monitor = 0; monitor < SDL_GetNumVideoDisplays(); ++monitor) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(monitor, &bounds) == 0 && SDL_PointInRect(&pointer, &bounds)) {
      return monitor;
    }
  }
  return 0;
}

SDL_Window* CreateWindow(const WindowStyle& Style) {
  if (!Style.FullScreen) {
    return SDL_CreateWindow(kTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kDesignWidth,
                            kDesignHeight, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  }
  const int monitor = MonitorUnderPointer();
  SDL_Rect bounds{0, 0, kDesignWidth, kDesignHeight};
  SDL_GetDisplayBounds(monitor, &bounds);
  return SDL_CreateWindow(
      kTitle, SDL_WINDOWPOS_CENTERED_DISPLAY(monitor), SDL_WINDOWPOS_CENTERED_DISPLAY(monitor),
      bounds.w, bounds.h,
      SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN | SDL_WINDOW_FULLSCREEN_DESKTOP);
}

// A hidden window on Server that can present; on failure, SDL is shut down
// again and DisplayError says why.
SDL_Window* OpenOn(const DisplayServer& Server, const WindowStyle& Style,
                   std::optional<XFaults>& Faults) {
  PrepareFor(Server, Style.Program, Faults);
  SDL_SetHint(SDL_HINT_VIDEODRIVER, Server.driver.c_str());
  if (SDL_Init(SDL_INIT_VIDEO) != 0) throw DisplayError(SDL_GetError());
  SDL_Window* window = CreateWindow(Style);
  if (window != nullptr && SDL_GetWindowSurface(window) != nullptr) return window;
  const std::string failure =
      SdlError(window == nullptr ? "SDL_CreateWindow" : "SDL_GetWindowSurface");
  if (window != nullptr) SDL_DestroyWindow(window);
  SDL_Quit();
  throw DisplayError(failure);
}

// The window on the first server that the environment names and that can
// show it: a Wayland session whose compositor cannot be used falls back to
// its X server.
SDL_Window* OpenWindow(const WindowStyle& Style, std::optional<XFaults>& Faults) {
  OpenClosedStandardStreams();
  SetCommonHints();
  std::string failures = Style.Tried;
  for (const DisplayServer& server : CandidateServers(Style.Wayland)) {
    try {
      return OpenOn(server, Style, Faults);
    } catch (const DisplayError& error) {
      failures += (failures.empty() ? "" : "; ") + server.display + " (" + server.driver +
                  "): " + error.what();
    }
  }
  if (failures.empty()) failures = "neither DISPLAY nor WAYLAND_DISPLAY names one";
  throw DisplayError("cannot open display: " + failures);
}

void SetIcon(SDL_Window* window) {
  const IconPixels& pixels = Icon();
  SDL_Surface* icon =
      SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(pixels.data()), kIconSize,
                                         kIconSize, 32, kIconSize * 4, SDL_PIXELFORMAT_ARGB8888);
  if (icon == nullptr) throw SurfaceError(SdlError("icon"));
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

SDL_Palette* GrayPalette() {
  SDL_Palette* palette = SDL_AllocPalette(256);
  if (palette == nullptr) throw SurfaceError(SdlError("SDL_AllocPalette"));
  std::array<SDL_Color, 256> grays;
  for (std::size_t gray = 0; gray < grays.size(); ++gray) {
    const auto level = static_cast<Uint8>(gray);
    grays[gray] = {level, level, level, 255};
  }
  SDL_SetPaletteColors(palette, grays.data(), 0, 256);
  return palette;
}

bool Has(Uint16 Modifiers, SDL_Keymod Key) { return (Modifiers & Key) != 0; }

}  // namespace

SdlWindow::SdlWindow(RandomSource& Random, const WindowStyle& Style)
    : PictureWindow(Random),
      program_(Style.Program),
      window_(OpenWindow(Style, x_faults_)),
      grays_(GrayPalette()) {
  SetIcon(window_);
}

SdlWindow::~SdlWindow() {
  if (x_faults_) x_faults_->Closing();
  SDL_FreePalette(grays_);
  SDL_DestroyWindow(window_);
  SDL_Quit();
}

// The window counts as shown once it is mapped: SDL says shown or exposed.
void SdlWindow::Show() {
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
}

Single SdlWindow::ScaleWidth() {
  int width = 0;
  SDL_GetWindowSize(window_, &width, nullptr);
  return static_cast<float>(width);
}

Single SdlWindow::ScaleHeight() {
  int height = 0;
  SDL_GetWindowSize(window_, nullptr, &height);
  return static_cast<float>(height);
}

void SdlWindow::DoEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) Handle(event);
  DeliverInput();
}

void SdlWindow::WaitEvents(double Seconds) {
  SDL_Event event;
  if (SDL_WaitEventTimeout(&event, WaitMilliseconds(Seconds)) != 0) Handle(event);
  DoEvents();
}

void SdlWindow::Handle(const SDL_Event& Event) {
  const auto shift = [](Uint16 Modifiers) {
    return ShiftState(Has(Modifiers, KMOD_SHIFT), Has(Modifiers, KMOD_CTRL),
                      Has(Modifiers, KMOD_ALT));
  };
  switch (Event.type) {
    case SDL_QUIT:
      // A compositor that goes away is not a request to end.
      EndIfDisplayGone(window_, program_);
      QueueClose();
      break;
    case SDL_WINDOWEVENT:
      if (Event.window.event == SDL_WINDOWEVENT_CLOSE) QueueClose();
      if (Event.window.event == SDL_WINDOWEVENT_SHOWN) Activated();
      if (Event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        Activated();
        Present();
      }
      break;
    case SDL_KEYDOWN:
      QueueKey(static_cast<std::int16_t>(Event.key.keysym.scancode), shift(Event.key.keysym.mod));
      break;
    case SDL_MOUSEBUTTONDOWN:
      QueueButton(Event.button.button, shift(SDL_GetModState()), static_cast<float>(Event.button.x),
                  static_cast<float>(Event.button.y));
      break;
    default:
      break;
  }
}

void SdlWindow::Blit(const ImageSurface& Image, SDL_Surface* Screen) {
  const PixelRows pixels = Image.Rows();
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      pixels.Data, pixels.Width, pixels.Height, 8, pixels.Stride, SDL_PIXELFORMAT_INDEX8);
  if (source == nullptr || SDL_SetSurfacePalette(source, grays_) != 0) {
    SDL_FreeSurface(source);
    throw SurfaceError(SdlError("present"));
  }
  SDL_Rect at{Image.Left(), Image.Top(), 0, 0};
  const int status = SDL_BlitSurface(source, nullptr, Screen, &at);
  SDL_FreeSurface(source);
  if (status != 0) throw SurfaceError(SdlError("present"));
}

void SdlWindow::Present() {
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (screen == nullptr) throw SurfaceError(SdlError("SDL_GetWindowSurface"));
  Repaint(
      screen->w, screen->h,
      [&] { SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 255, 255, 255)); },
      [&](const ImageSurface& Image, int) { Blit(Image, screen); });
  if (SDL_UpdateWindowSurface(window_) != 0) throw SurfaceError(SdlError("present"));
}
