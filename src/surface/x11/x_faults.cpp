#include "surface/x11/x_faults.h"

#include <X11/Xlib.h>

#include <string>
#include <utility>

#include "surface/display.h"

namespace {

// The handlers take no argument of ours: they find the program's rules here.
XFaults* in_force = nullptr;

}  // namespace

XFaults::XFaults(const char* Program) : program_(Program) {
  in_force = this;
  // Xlib ends the process itself if this handler returns, and nothing may
  // unwind through its C frames: the line and _Exit are all there is.
  XSetIOErrorHandler([](Display* display) -> int {
    EndWithLine(in_force->program_, std::string("lost the display ") + DisplayString(display));
  });
  XSetErrorHandler([](Display* display, XErrorEvent* error) {
    if (in_force->closing_ || !in_force->refused_.empty()) return 0;
    char what[256];
    XGetErrorText(display, error->error_code, what, sizeof what);
    in_force->refused_ = std::string("the display ") + DisplayString(display) +
                         " refused a request: " + what + " (request " +
                         std::to_string(error->request_code) + ")";
    return 0;
  });
}

void XFaults::Raise() {
  if (!refused_.empty()) throw DisplayLost(std::exchange(refused_, {}));
}

XFaults::~XFaults() {
  XSetIOErrorHandler(nullptr);
  XSetErrorHandler(nullptr);
  in_force = nullptr;
}
