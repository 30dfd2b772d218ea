// How both Linux programs find their display: the Wayland compositor that
// WAYLAND_DISPLAY names, where it answers and has what the window needs,
// else the other way of showing it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "surface/display.h"
#include "surface/wayland/wayland_window.h"

// The Wayland window in Role, or the window that Otherwise opens; when that
// fails too, its one line names why Wayland did not serve either.
inline std::unique_ptr<PictureWindow> WaylandOr(
    RandomSource& Random, WaylandRole Role,
    const std::function<std::unique_ptr<PictureWindow>()>& Otherwise) {
  std::string tried;
  if (const char* wayland = Named("WAYLAND_DISPLAY")) {
    try {
      return std::make_unique<WaylandWindow>(Random, Role);
    } catch (const DisplayError& error) {
      tried = std::string("; ") + wayland + " (wayland): " + error.what();
    }
  }
  try {
    return Otherwise();
  } catch (const DisplayError& error) {
    throw DisplayError(error.what() + tried);
  }
}
