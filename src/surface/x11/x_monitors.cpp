#include "surface/x11/x_monitors.h"

#include <X11/extensions/Xrandr.h>

Box MonitorUnderPointer(Display* Server, int Number) {
  const Window root = RootWindow(Server, Number);
  Box chosen{0, 0, DisplayWidth(Server, Number), DisplayHeight(Server, Number)};
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(Server, &event, &error) || !XRRQueryVersion(Server, &major, &minor) ||
      major * 100 + minor < 105) {
    return chosen;
  }
  Window ignored = 0;
  int x = 0, y = 0, window_x = 0, window_y = 0;
  unsigned buttons = 0;
  // A pointer on another screen is taken to be at this one's origin.
  if (!XQueryPointer(Server, root, &ignored, &ignored, &x, &y, &window_x, &window_y, &buttons)) {
    x = y = 0;
  }
  int count = 0;
  XRRMonitorInfo* monitors = XRRGetMonitors(Server, root, True, &count);
  // Of monitors that overlap (one that a user has split an output into, and
  // the output's own), the smallest under the pointer.
  long smallest = 0;
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& monitor = monitors[i];
    const long area = long(monitor.width) * monitor.height;
    if (x >= monitor.x && x < monitor.x + monitor.width && y >= monitor.y &&
        y < monitor.y + monitor.height && (smallest == 0 || area < smallest)) {
      smallest = area;
      chosen = {monitor.x, monitor.y, monitor.x + monitor.width, monitor.y + monitor.height};
    }
  }
  if (monitors != nullptr) XRRFreeMonitors(monitors);
  return chosen;
}
