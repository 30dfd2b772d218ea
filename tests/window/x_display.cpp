#include "x_display.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

// Whether a live X server holds display number n. A lock left by a server
// that was killed names a process that is gone; Xvfb reclaims it.
bool Taken(const std::string& n) {
  std::ifstream lock("/tmp/.X" + n + "-lock");
  pid_t pid = 0;
  return lock >> pid && pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

std::optional<long> Cardinal(Display* display, Window window, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<long> value;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False,
                         XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      count == 1) {
    value = *reinterpret_cast<long*>(data);
  }
  if (data != nullptr) XFree(data);
  return value;
}

}  // namespace

XServer::XServer() {
  for (int number = 77; number < 200 && display_ == nullptr; ++number) {
    const std::string n = std::to_string(number);
    if (Taken(n)) continue;
    name_ = ":" + n;
    server_ = std::make_unique<Child>(
        std::vector<std::string>{"Xvfb", name_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    for (int attempt = 0; attempt < 100 && display_ == nullptr; ++attempt) {
      if (server_->WaitFor(std::chrono::milliseconds(50))) break;  // it failed to start
      display_ = XOpenDisplay(name_.c_str());
    }
  }
  if (display_ == nullptr) throw std::runtime_error("cannot start Xvfb");
  // A window manager would have made this atom; without it SDL does not say
  // that the window wants no border.
  XInternAtom(display_, "_MOTIF_WM_HINTS", False);
  XSync(display_, False);
}

XServer::~XServer() {
  if (display_ != nullptr) XCloseDisplay(display_);
  Stop();
}

// SIGTERM lets Xvfb remove its lock and socket.
void XServer::Stop() {
  server_->Signal(SIGTERM);
  server_->WaitFor(std::chrono::seconds(2));
}

std::optional<Window> XServer::WaitForWindow(pid_t Pid, std::chrono::milliseconds Timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
    std::optional<Window> found;
    for (unsigned i = 0; i < count && !found; ++i) {
      XWindowAttributes attributes;
      if (Cardinal(display_, children[i], "_NET_WM_PID") == Pid &&
          XGetWindowAttributes(display_, children[i], &attributes) &&
          attributes.map_state == IsViewable) {
        found = children[i];
      }
    }
    if (children != nullptr) XFree(children);
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

std::vector<std::uint32_t> XServer::Screenshot(Window Id, int& Width, int& Height) const {
  XWindowAttributes attributes;
  XGetWindowAttributes(display_, Id, &attributes);
  Width = attributes.width;
  Height = attributes.height;
  XImage* image = XGetImage(display_, Id, 0, 0, static_cast<unsigned>(Width),
                            static_cast<unsigned>(Height), AllPlanes, ZPixmap);
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
  XDestroyImage(image);
  return pixels;
}

void XServer::XDoTool(const std::vector<std::string>& Arguments) const {
  std::vector<std::string> command{"xdotool"};
  command.insert(command.end(), Arguments.begin(), Arguments.end());
  const Finished run = RunToEnd(command, {"DISPLAY=" + name_});
  if (run.status != 0) throw std::runtime_error("xdotool failed: " + run.err);
}

void XServer::Kill() {
  XCloseDisplay(display_);
  display_ = nullptr;
  Stop();
}

void XServer::Close(Window Id) const {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = Id;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, Id, False, NoEventMask, &event);
  XFlush(display_);
}
