// What SDL must be told about the display servers that its window runs on.
// SDL hides most of their differences; the rest is here, one rule in one
// place: which servers to try, what SDL must know before it opens a window
// on one, and how the loss of the server ends the program.
#pragma once

#include <SDL.h>

#include <optional>
#include <string>
#include <vector>

#include "surface/display.h"
#include "surface/x11/x_faults.h"

struct DisplayServer {
  std::string driver;   // SDL's video driver
  std::string display;  // the display's name, for messages
};

// The servers that the environment names, in the order to try them: the
// user's choice of SDL video driver alone, or else Wayland (unless Wayland
// says no) and then X11.
std::vector<DisplayServer> CandidateServers(bool Wayland);

// Tells SDL what it needs before it opens a window on Server for the
// program named Program; on X11, Faults takes over the X fault handling
// first, so that SDL's own handlers pass faults on to it. Throws
// DisplayError when the server cannot show the pictures at all.
void PrepareFor(const DisplayServer& Server, const char* Program, std::optional<XFaults>& Faults);

// SDL turns a broken Wayland connection into a quit event: if that is what
// the quit event means, ends the program with "Program: lost the display …"
// and status 1.
void EndIfDisplayGone(SDL_Window* Shown, const char* Program);
