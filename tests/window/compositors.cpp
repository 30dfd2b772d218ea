#include "compositors.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

RuntimeFolder::RuntimeFolder(const char* Compositor, bool Unprivileged)
    : compositor_(Compositor), unprivileged_(Unprivileged && geteuid() == 0) {
  std::string pattern = "/tmp/boska-" + compositor_ + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("no runtime folder for " + compositor_);
  }
  path_ = pattern;
  if (unprivileged_ && chown(path_.c_str(), 65534, 65534) != 0) {
    fs::remove(path_);
    throw std::runtime_error("cannot give nobody the runtime folder of " + compositor_);
  }
}

RuntimeFolder::~RuntimeFolder() { fs::remove_all(path_); }

std::vector<std::string> RuntimeFolder::AsOwner(std::vector<std::string> Command) const {
  std::vector<std::string> prefix{"env", "XDG_RUNTIME_DIR=" + path_, "HOME=" + path_};
  if (unprivileged_) {
    prefix.insert(prefix.begin(),
                  {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  }
  Command.insert(Command.begin(), prefix.begin(), prefix.end());
  return Command;
}

void RuntimeFolder::WaitForSocket(const Child& Process, const std::string& Socket,
                                  std::chrono::seconds Timeout) const {
  const bool listening = WaitUntil(
      [&] {
        return !fs::exists(fs::path("/proc") / std::to_string(Process.Pid()) / "exe") ||
               (fs::exists(path_ + "/" + Socket + ".lock") && fs::exists(path_ + "/" + Socket));
      },
      Timeout);
  if (!listening || !fs::exists(path_ + "/" + Socket)) {
    throw std::runtime_error(compositor_ + " did not start: " + Process.Err());
  }
}

std::vector<std::string> RuntimeFolder::ClientEnvironment(const std::string& Socket) const {
  return {"XDG_RUNTIME_DIR=" + path_, "WAYLAND_DISPLAY=" + Socket, "DISPLAY="};
}

Weston::Weston(const XServer& Server, int Width, int Height, int Scale)
    : server_(Server), width_(Width * Scale), height_(Height * Scale) {
  weston_ = std::make_unique<Child>(
      folder_.AsOwner({"weston", "--backend=x11-backend.so", "--use-pixman",
                       "--socket=wayland-boska", "--width=" + std::to_string(Width),
                       "--height=" + std::to_string(Height), "--scale=" + std::to_string(Scale)}),
      std::vector<std::string>{"DISPLAY=" + Server.Name(), "WAYLAND_DISPLAY="});
  folder_.WaitForSocket(*weston_, "wayland-boska");
}

Weston::~Weston() { Stop(); }

std::vector<std::string> Weston::ClientEnvironment() const {
  return folder_.ClientEnvironment("wayland-boska");
}

// Weston's X11 backend follows the X pointer inside its window only by the
// pointer's relative motion, from where it last came in: a pointer that never
// came in (XTEST moves it there) points elsewhere for Weston than for X. So
// it comes in from outside the window, at the output's bottom right.
void Weston::MovePointer(int X, int Y) const {
  server_.XDoTool({"mousemove", std::to_string(width_), std::to_string(height_), "mousemove",
                   std::to_string(X), std::to_string(Y)});
}

void Weston::Stop() {
  weston_->Signal(SIGTERM);
  weston_->WaitFor(std::chrono::seconds(2));
}

Sway::Sway(const XServer* Nested) {
  Start(Nested ? std::vector<std::string>{"WLR_BACKENDS=x11", "DISPLAY=" + Nested->Name(),
                                          "WAYLAND_DISPLAY="}
               : std::vector<std::string>{"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
                                          "DISPLAY=", "WAYLAND_DISPLAY="},
        Nested ? ""
               : "output HEADLESS-1 resolution 1280x720\n"
                 "for_window [app_id=\"wlroots\"] floating enable\n");
}

namespace {

// Whether this sway can unplug a headless output, as it can from version
// 1.8 on. Before, it keeps a headless output's global when it is turned
// off, and outputs that can go are windows of an outer sway; from 1.10 on
// an outer headless sway sends them no frames, so they never show anything
// new.
bool UnplugsHeadlessOutputs() {
  int major = 0, minor = 0;
  std::sscanf(RunToEnd({"sway", "--version"}).out.c_str(), "sway version %d.%d", &major, &minor);
  return major > 1 || (major == 1 && minor >= 8);
}

}  // namespace

Sway::Sway(int Outputs) : outer_(UnplugsHeadlessOutputs() ? nullptr : std::make_unique<Sway>()) {
  const std::string count = std::to_string(Outputs);
  Start(outer_
            ? std::vector<std::string>{"WLR_BACKENDS=wayland", "WLR_WL_OUTPUTS=" + count,
                                       "WAYLAND_DISPLAY=" + outer_->folder_.Path() + "/wayland-1",
                                       "DISPLAY="}
            : std::vector<std::string>{"WLR_BACKENDS=headless", "WLR_HEADLESS_OUTPUTS=" + count,
                                       "WLR_LIBINPUT_NO_DEVICES=1", "DISPLAY=", "WAYLAND_DISPLAY="},
        "output " + Output(1) + " resolution 640x480\n");
}

std::string Sway::Output(int Number) const {
  return (outer_ ? "WL-" : "HEADLESS-") + std::to_string(Number);
}

void Sway::RemoveOutput(int Number) const {
  if (outer_) {
    outer_->Message({"[title=\"wlroots - " + Output(Number) + "\"]", "kill"});
  } else {
    Message({"output", Output(Number), "unplug"});
  }
}

void Sway::Start(const std::vector<std::string>& Backend, const std::string& Config) {
  const std::string config = folder_.Path() + "/config";
  std::ofstream(config) << Config;
  std::vector<std::string> environment{"WLR_RENDERER=pixman"};
  environment.insert(environment.end(), Backend.begin(), Backend.end());
  sway_ = std::make_unique<Child>(folder_.AsOwner({"sway", "-c", config}), environment);
  folder_.WaitForSocket(*sway_, "wayland-1");
  const bool answering = WaitUntil(
      [&] {
        for (const auto& entry : fs::directory_iterator(folder_.Path())) {
          if (entry.path().extension() == ".sock") socket_ = entry.path();
        }
        return !socket_.empty();
      },
      std::chrono::seconds(10));
  if (!answering) throw std::runtime_error("sway takes no messages: " + sway_->Err());
}

Sway::~Sway() {
  sway_->Signal(SIGTERM);
  sway_->WaitFor(std::chrono::seconds(2));
}

std::vector<std::string> Sway::ClientEnvironment() const {
  return folder_.ClientEnvironment("wayland-1");
}

std::string Sway::Message(const std::vector<std::string>& Arguments) const {
  std::vector<std::string> command{"swaymsg", "-s", socket_};
  command.insert(command.end(), Arguments.begin(), Arguments.end());
  return RunToEnd(command).out;
}

std::string Sway::Node(const std::string& AppId) const {
  return NodeFields(Message({"-t", "get_tree"}), "\"app_id\":\"" + AppId + "\"",
                    {"type", "border", "rect"});
}

void Sway::AddOutput() const {
  const auto laid_out = [&] {
    std::string outputs = Message({"-t", "get_outputs"});
    std::erase_if(outputs, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    long count = 0;
    for (std::size_t at = 0; (at = outputs.find("\"active\":true", at)) != std::string::npos;
         ++at) {
      ++count;
    }
    return count;
  };
  const long before = laid_out();
  Message({"create_output"});
  if (!WaitUntil([&] { return laid_out() > before; }, std::chrono::seconds(5))) {
    throw std::runtime_error("sway made no output");
  }
}

std::vector<std::uint32_t> Sway::Screenshot(const std::string& Output) const {
  std::istringstream shot(
      RunToEnd({"grim", "-t", "ppm", "-o", Output, "-"}, ClientEnvironment()).out);
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  shot >> magic >> width >> height >> maximum;
  shot.get();
  std::vector<std::uint32_t> pixels(std::size_t(std::max(width, 0)) *
                                    std::size_t(std::max(height, 0)));
  for (std::uint32_t& pixel : pixels) {
    unsigned char rgb[3] = {};
    shot.read(reinterpret_cast<char*>(rgb), 3);
    pixel = std::uint32_t(rgb[0]) << 16 | std::uint32_t(rgb[1]) << 8 | rgb[2];
  }
  return shot ? pixels : std::vector<std::uint32_t>{};
}

void Sway::Type(const std::vector<std::string>& Arguments) const {
  std::vector<std::string> command{"wtype"};
  command.insert(command.end(), Arguments.begin(), Arguments.end());
  RunToEnd(command, ClientEnvironment());
}

DesktopCompositor::DesktopCompositor(Desktop Which, int Width, int Height)
    : folder_(Which == Desktop::Gnome ? "mutter" : "kwin", true) {
  const std::string width = std::to_string(Width), height = std::to_string(Height);
  std::vector<std::string> command{"mutter",
                                   "--headless",
                                   "--wayland",
                                   "--no-x11",
                                   "--wayland-display=wayland-boska",
                                   "--virtual-monitor",
                                   width + "x" + height};
  std::vector<std::string> environment;
  if (Which == Desktop::Kde) {
    const std::string copy = folder_.Path() + "/kwin_wayland";
    fs::copy_file("/usr/bin/kwin_wayland", copy);
    command = {copy,
               "--virtual",
               "--width",
               width,
               "--height",
               height,
               "--socket",
               "wayland-boska",
               "--no-lockscreen",
               "--no-global-shortcuts",
               "--no-kactivities"};
    environment = {"KWIN_COMPOSE=Q"};
  }
  command.insert(command.begin(), {"dbus-run-session", "--"});
  compositor_ = std::make_unique<Child>(folder_.AsOwner(command), environment);
  folder_.WaitForSocket(*compositor_, "wayland-boska", std::chrono::seconds(30));
}

std::vector<std::string> DesktopCompositor::ClientEnvironment() const {
  return folder_.ClientEnvironment("wayland-boska");
}
