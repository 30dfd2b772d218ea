#include "x_display.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

// Whether a live X server holds display number n. A lock left by a server
// that was killed names a process that is gone; Xvfb reclaims it.
bool Taken(const std::string& n) {
  std::ifstream lock("/tmp/.X" + n + "-lock");
  pid_t pid = 0;
  return lock >> pid && pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

std::vector<long> Numbers(Display* display, Window window, const char* name, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 4096, False, type,
                     &actual, &format, &count, &after, &data);
  std::vector<long> values(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
  if (data != nullptr) XFree(data);
  return values;
}

std::optional<long> Cardinal(Display* display, Window window, const char* name) {
  const std::vector<long> values = Numbers(display, window, name, XA_CARDINAL);
  if (values.size() != 1) return std::nullopt;
  return values[0];
}

XErrorHandler default_handler = nullptr;

// Window managers, compositors and wine make and drop windows of their own
// at any time: one may go while a search for a window looks at it. Any other
// refusal is a fault, handled as Xlib would.
int IgnoreVanishedWindows(Display* Connection, XErrorEvent* Error) {
  return Error->error_code == BadWindow ? 0 : default_handler(Connection, Error);
}

// The mapped window of process Pid below Parent: a top-level window, or the
// client inside a window manager's frame.
std::optional<Window> MappedWindowOf(Display* display, Window Parent, pid_t Pid, int Depth = 0) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(display, Parent, &root, &parent, &children, &count);
  std::optional<Window> found;
  for (unsigned i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes) ||
        attributes.map_state != IsViewable) {
      continue;
    }
    if (Cardinal(display, children[i], "_NET_WM_PID") == Pid) {
      found = children[i];
    } else if (Depth < 2) {
      found = MappedWindowOf(display, children[i], Pid, Depth + 1);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// One colour channel of a pixel, scaled to 0 to 255 whatever its width (10
// bits on a 30-bit screen).
std::uint32_t Channel(unsigned long Pixel, unsigned long Mask) {
  const int shift = __builtin_ctzl(Mask);
  const unsigned long top = Mask >> shift;
  return static_cast<std::uint32_t>((((Pixel & Mask) >> shift) * 255 + top / 2) / top);
}

}  // namespace

long FirstPlantGrays(const std::vector<std::uint32_t>& Pixels,
                     const std::vector<std::uint32_t>& Before) {
  long grays = 0;
  for (std::size_t i = 0; i < Pixels.size(); ++i) {
    grays += Pixels[i] == kFirstPlant && (Before.empty() || Before[i] != kFirstPlant);
  }
  return grays;
}

XServer::XServer(const std::vector<std::string>& Screens, const std::vector<std::string>& Options,
                 const std::vector<std::string>& Launcher) {
  for (int number = 77; number < 200 && display_ == nullptr; ++number) {
    const std::string n = std::to_string(number);
    if (Taken(n)) continue;
    name_ = ":" + n;
    std::vector<std::string> command{"Xvfb", name_, "-nolisten", "tcp"};
    for (std::size_t screen = 0; screen < Screens.size(); ++screen) {
      command.insert(command.end(), {"-screen", std::to_string(screen), Screens[screen]});
    }
    command.insert(command.end(), Options.begin(), Options.end());
    command.insert(command.begin(), Launcher.begin(), Launcher.end());
    server_ = std::make_unique<Child>(command);
    for (int attempt = 0; attempt < 100 && display_ == nullptr; ++attempt) {
      if (server_->WaitFor(std::chrono::milliseconds(50))) break;  // it failed to start
      display_ = XOpenDisplay(name_.c_str());
    }
  }
  if (display_ == nullptr) throw std::runtime_error("cannot start Xvfb");
  XErrorHandler previous = XSetErrorHandler(IgnoreVanishedWindows);
  if (previous != IgnoreVanishedWindows) default_handler = previous;
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
  std::optional<Window> found;
  WaitUntil(
      [&] {
        for (int screen = 0; screen < ScreenCount(display_) && !found; ++screen) {
          found = MappedWindowOf(display_, RootWindow(display_, screen), Pid);
        }
        return found.has_value();
      },
      Timeout);
  return found;
}

std::vector<std::uint32_t> XServer::Screenshot(Window Id, int& Width, int& Height) const {
  XWindowAttributes attributes;
  XGetWindowAttributes(display_, Id, &attributes);
  Width = attributes.width;
  Height = attributes.height;
  XImage* image = XGetImage(display_, Id, 0, 0, static_cast<unsigned>(Width),
                            static_cast<unsigned>(Height), AllPlanes, ZPixmap);
  const Visual& visual = *attributes.visual;
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      pixels.push_back(Channel(pixel, visual.red_mask) << 16 |
                       Channel(pixel, visual.green_mask) << 8 | Channel(pixel, visual.blue_mask));
    }
  }
  XDestroyImage(image);
  return pixels;
}

std::vector<std::uint32_t> XServer::Screenshot(Window Id) const {
  int width = 0, height = 0;
  return Screenshot(Id, width, height);
}

std::optional<std::vector<std::uint32_t>> XServer::WaitForFirstPlant(
    Window Id, std::chrono::milliseconds Timeout, const std::vector<std::uint32_t>& Before) const {
  std::vector<std::uint32_t> shot;
  if (WaitUntil([&] { return FirstPlantGrays(shot = Screenshot(Id), Before) >= 1000; }, Timeout)) {
    return shot;
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint32_t>> XServer::SettledPicture(
    Window Id, std::chrono::milliseconds Steady, std::chrono::milliseconds Timeout,
    const std::vector<std::uint32_t>& Other) const {
  std::vector<std::uint32_t> shot = Screenshot(Id);
  auto since = std::chrono::steady_clock::now();
  const bool settled = WaitUntil(
      [&] {
        if (std::vector<std::uint32_t> now = Screenshot(Id); now != shot) {
          shot = std::move(now);
          since = std::chrono::steady_clock::now();
        }
        return shot != Other && std::chrono::steady_clock::now() - since >= Steady;
      },
      Timeout);
  if (!settled) return std::nullopt;
  return shot;
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

std::vector<long> XServer::Property(Window Id, const char* Name, Atom Type) const {
  return Numbers(display_, Id, Name, Type);
}

// Openbox takes the screen before it can manage windows: it then loads its
// fonts for the first frame it draws, which takes some 20 s without a font
// cache (on a fresh machine the package install may leave none, so it is
// built first), and a window mapped in that time may go unmanaged, its map
// request dropped. It is ready once it has framed and shown a window of
// ours, asked again until openbox has taken it.
Openbox::Openbox(const XServer& Server) {
  RunToEnd({"fc-cache"});
  openbox_ = std::make_unique<Child>(std::vector<std::string>{"openbox", "--sm-disable"},
                                     std::vector<std::string>{"DISPLAY=" + Server.Name()});
  Display* display = Server.Connection();
  const Window root = DefaultRootWindow(display);
  const Window probe = XCreateSimpleWindow(display, root, 0, 0, 100, 100, 0, 0, 0);
  const bool managed = WaitUntil(
      [&] {
        if (openbox_->WaitFor(std::chrono::milliseconds(0))) return true;
        Window top = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, probe, &top, &parent, &children, &count);
        if (children != nullptr) XFree(children);
        XWindowAttributes attributes;
        XGetWindowAttributes(display, probe, &attributes);
        if (parent == root && attributes.map_state != IsViewable &&
            !Server.Property(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty()) {
          XMapWindow(display, probe);
        }
        return parent != root && attributes.map_state == IsViewable;
      },
      std::chrono::seconds(60));
  XDestroyWindow(display, probe);
  XSync(display, False);
  if (!managed || openbox_->WaitFor(std::chrono::milliseconds(0))) {
    throw std::runtime_error("openbox manages no window: " + openbox_->Err());
  }
}

I3::I3(const XServer& Server) : server_(Server), config_("/tmp/boska-i3-XXXXXX") {
  const int file = mkstemp(config_.data());
  if (file < 0) throw std::runtime_error("no configuration file for i3");
  close(file);
  // The first line keeps i3 from converting the file as an old one.
  std::ofstream(config_) << "# i3 config file (v4)\nfont pango:monospace 8\n";
  i3_ = std::make_unique<Child>(std::vector<std::string>{"i3", "-c", config_},
                                std::vector<std::string>{"DISPLAY=" + Server.Name()});
  const bool answering = WaitUntil(
      [&] {
        return i3_->WaitFor(std::chrono::milliseconds(0)) || Message({"-t", "get_version"});
      },
      std::chrono::seconds(10));
  if (!answering || i3_->WaitFor(std::chrono::milliseconds(0))) {
    throw std::runtime_error("i3 did not start: " + i3_->Err());
  }
}

I3::~I3() { std::filesystem::remove(config_); }

std::optional<std::string> I3::Message(const std::vector<std::string>& Arguments) const {
  std::vector<std::string> command{"i3-msg"};
  command.insert(command.end(), Arguments.begin(), Arguments.end());
  Finished run = RunToEnd(command, {"DISPLAY=" + server_.Name()});
  if (run.status != 0) return std::nullopt;
  return std::move(run.out);
}

std::string I3::Node(const std::string& Class) const {
  const std::optional<std::string> tree = Message({"-t", "get_tree"});
  if (!tree) return {};
  return NodeFields(*tree, "\"class\":\"" + Class + "\"", {"border", "rect"});
}

std::string NodeFields(std::string Tree, const std::string& Marker,
                       const std::vector<std::string>& Fields) {
  std::erase_if(Tree, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
  const std::size_t at = Tree.find(Marker);
  if (at == std::string::npos) return {};
  std::string found;
  for (const std::string& key : Fields) {
    const std::size_t from = Tree.rfind("\"" + key + "\":", at);
    if (from == std::string::npos) continue;
    const char end = Tree[from + key.size() + 3] == '{' ? '}' : ',';
    found += Tree.substr(from, Tree.find(end, from) + 1 - from);
  }
  return found;
}
