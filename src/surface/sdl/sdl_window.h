// The real window f on the desktop, through SDL2.
//
// What it promises:
//  - a window titled "Boska" with no border or title bar, client area
//    494 × 441, window class "boska", the program's icon;
//  - the surface in front shown from its persistent image, and repainted
//    whenever the window is exposed: from memory on X11 (no OpenGL), through
//    SDL's OpenGL ES texture on Wayland, its only way;
//  - key-down and mouse-button-down delivered to the handlers of the surface
//    in front; closing the window by the window manager ends the program;
//  - a wait for events that sleeps in the event queue instead of polling;
//  - the desktop's screensaver left alone;
//  - a native Wayland client where the session has a compositor, an X11
//    client otherwise (sdl_display.h).
// As the full-screen picture of the screensaver program, the window instead
// covers the whole monitor under the pointer.
// What it leaves out: resizing (the animation keeps the size it found at
// start-up), other events.
#pragma once

#include <SDL.h>

#include <optional>
#include <string>

#include "surface/picture_window.h"
#include "surface/x11/x_faults.h"

struct WindowStyle {
  const char* Program = "boska";  // names the program in messages
  bool FullScreen = false;
  // Whether SDL may open its window on Wayland, and what was tried before
  // SDL, for the message when no display can be opened.
  bool Wayland = true;
  std::string Tried{};
};

class SdlWindow final : public PictureWindow {
 public:
  explicit SdlWindow(RandomSource& Random, const WindowStyle& Style = {});
  ~SdlWindow() override;

  Single ScaleWidth() override;
  Single ScaleHeight() override;
  void DoEvents() override;
  void WaitEvents(double Seconds) override;

 protected:
  void Show() override;
  void Present() override;

 private:
  void Handle(const SDL_Event& Event);
  void Blit(const ImageSurface& Image, SDL_Surface* Screen);

  const char* program_;
  // Held while SDL runs on an X server.
  std::optional<XFaults> x_faults_;
  SDL_Window* window_ = nullptr;
  // The grays of the pictures' pixels, for SDL to turn into the screen's.
  SDL_Palette* grays_ = nullptr;
};
