#include "surface/display_loss.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace {

int DisplayLost(Display* display) {
  std::fprintf(stderr, "boska: lost the display %s\n", DisplayString(display));
  std::exit(1);
}

}  // namespace

void EndOnX11DisplayLoss() { XSetIOErrorHandler(DisplayLost); }
