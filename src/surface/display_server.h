// What differs between the display servers that the window runs on. SDL
// hides most of it; the rest is here, one rule in one place: which servers
// to try, what SDL must be told before it opens a window on one, and how the
// loss of the server ends the program.
#pragma once

#include <SDL.h>

#include <stdexcept>
#include <string>
#include <vector>

// No display could be opened, or it cannot show the pictures.
class DisplayError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DisplayServer {
  std::string driver;   // SDL's video driver
  std::string display;  // the display's name, for messages
};

// The servers that the environment names, in the order to try them: the
// user's choice of SDL video driver alone, or else Wayland and then X11.
std::vector<DisplayServer> CandidateServers();

// Tells SDL what it needs before it opens a window on Server for the
// program named Program. Throws DisplayError when the server cannot show the
// pictures at all.
void PrepareFor(const DisplayServer& Server, const char* Program);

// From now on a broken X connection or a request that the X server refuses
// (the window destroyed by another client) ends the program at once with one
// line "Program: …" and status 1, until ClosingWindow.
void EndOnX11Faults(const char* Program);

// A launcher may start the program with standard input, output or error
// closed; a display connection would then take that descriptor, and a
// message meant for standard error would go down the socket. Opens each
// closed one on /dev/null.
void OpenClosedStandardStreams();

// The window is being closed at the program's end. SDL's closing can race
// with a message it sent to the window it destroys, which the server then
// refuses; that is no fault any more.
void ClosingWindow();

// SDL turns a broken Wayland connection into a quit event: if that is what
// the quit event means, ends the program with "Program: lost the display …"
// and status 1.
void EndIfDisplayGone(SDL_Window* window);
