// What every window on a display server (rather than on Windows) shares:
// the failure to open or use a display, the standard streams a display
// connection must not take, and the one line that ends the program when its
// display fails it.
#pragma once

#include <stdexcept>
#include <string>

#include "numbers.h"

// No display could be opened, or it cannot show the pictures.
class DisplayError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The display failed the running animation: the connection lost, a
// request refused, the window destroyed. A run-time error like the
// animation's own: the program ends with its one line and status 1.
class DisplayLost : public RunTimeError {
 public:
  using RunTimeError::RunTimeError;
};

// A launcher may start the program with standard input, output or error
// closed; a display connection would then take that descriptor, and a
// message meant for standard error would go down the socket. Opens each
// closed one on /dev/null.
void OpenClosedStandardStreams();

// Ends the program at once with the line "Program: What" and status 1,
// cleaning nothing up: for Xlib's handler of a broken connection alone,
// which may neither return nor let an exception through Xlib's frames.
[[noreturn]] void EndWithLine(const char* Program, const std::string& What);

// From now on SIGTERM (a session, a screensaver daemon) and SIGINT (a
// user) end the program at once with status 0, whatever it is doing: the
// display server cleans up after the connection.
void EndOnSignals();

// The value of an environment variable, or nothing when it is unset or
// empty.
const char* Named(const char* Variable);
