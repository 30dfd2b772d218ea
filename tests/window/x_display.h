// A private X server (Xvfb) for the window tests, and what they look at on it.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process.h"

// The gray of the first plant, 95 in each channel: nothing else turns
// thousands of pixels exactly that gray, not a window appearing nor a
// compositor's animation of it.
inline constexpr std::uint32_t kFirstPlant = 0x5F5F5F;

// How many pixels are the first plant's gray and were not in Before (if
// given, of the same size).
long FirstPlantGrays(const std::vector<std::uint32_t>& Pixels,
                     const std::vector<std::uint32_t>& Before = {});

class XServer {
 public:
  // One screen of this size and depth, "WxHxD", each; Options go to Xvfb,
  // which Launcher (a command that runs the command after it) starts.
  explicit XServer(const std::vector<std::string>& Screens = {"1024x768x24"},
                   const std::vector<std::string>& Options = {},
                   const std::vector<std::string>& Launcher = {});
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& Name() const { return name_; }
  Display* Connection() const { return display_; }
  pid_t Pid() const { return server_->Pid(); }

  // The process's window, once it is mapped, on any screen and whether or not
  // a window manager has framed it.
  std::optional<Window> WaitForWindow(pid_t Pid, std::chrono::milliseconds Timeout) const;
  // The window's pixels as 0xRRGGBB, row by row.
  std::vector<std::uint32_t> Screenshot(Window Id, int& Width, int& Height) const;
  std::vector<std::uint32_t> Screenshot(Window Id) const;
  // The window's pixels once at least 1000 of them show the first plant's
  // gray that did not in Before (if given), within Timeout.
  std::optional<std::vector<std::uint32_t>> WaitForFirstPlant(
      Window Id, std::chrono::milliseconds Timeout,
      const std::vector<std::uint32_t>& Before = {}) const;
  // The window's picture once it has stayed the same for Steady and differs
  // from Other (if given), within Timeout: a compositor has drawn its
  // desktop, or a frame that a window painted in parts is whole.
  std::optional<std::vector<std::uint32_t>> SettledPicture(
      Window Id, std::chrono::milliseconds Steady, std::chrono::milliseconds Timeout,
      const std::vector<std::uint32_t>& Other = {}) const;
  // Runs xdotool on this server.
  void XDoTool(const std::vector<std::string>& Arguments) const;
  // Asks the window to close, as a window manager does.
  void Close(Window Id) const;
  // Stops the server under its clients.
  void Kill();
  // Reads a property of Window as a list of numbers (empty if it has none).
  std::vector<long> Property(Window Id, const char* Name, Atom Type) const;

 private:
  void Stop();

  std::string name_;
  std::unique_ptr<Child> server_;
  Display* display_ = nullptr;
};

// The window manager openbox on Server, managing windows once the
// constructor returns.
class Openbox {
 public:
  explicit Openbox(const XServer& Server);

 private:
  std::unique_ptr<Child> openbox_;
};

// A nested Wayland compositor: Weston in a window of Server, drawing with
// its software renderer, with a private runtime folder. Its output is Width
// × Height in the compositor's units, Scale pixels to each of them.
class Weston {
 public:
  Weston(const XServer& Server, int Width, int Height, int Scale = 1);
  ~Weston();
  Weston(const Weston&) = delete;
  Weston& operator=(const Weston&) = delete;

  // What a client needs in its environment to connect to it.
  std::vector<std::string> ClientEnvironment() const;
  // Puts Weston's pointer at X, Y of its output, as the X pointer.
  void MovePointer(int X, int Y) const;
  // Ends it, as a user logging out would.
  void Stop();

 private:
  const XServer& server_;
  int width_, height_;
  std::string runtime_dir_;
  std::unique_ptr<Child> weston_;
};

// sway, drawing with its software renderer, with a private runtime folder:
// headless with no input devices but the virtual ones that wtype makes, or
// nested in a window of Nested (which must let any user connect), where
// Nested's keys and pointer are its own, or nested in Outer with Outputs
// outputs, each a window of Outer's ("wlroots - WL-1", …) that closing
// takes away, the first 640 × 480 and the others 1280 × 720. It refuses to run as root, so a root
// test runs it as nobody.
class Sway {
 public:
  explicit Sway(const XServer* Nested = nullptr);
  Sway(const Sway& Outer, int Outputs);
  ~Sway();
  Sway(const Sway&) = delete;
  Sway& operator=(const Sway&) = delete;

  std::vector<std::string> ClientEnvironment() const;
  // Runs swaymsg with Arguments; returns what it printed.
  std::string Message(const std::vector<std::string>& Arguments) const;
  // What sway says of the window whose app_id is AppId, its spaces taken
  // out: its type, border and rect; empty while there is none.
  std::string Node(const std::string& AppId) const;
  // Makes one more output, to the right of the others, once sway has laid
  // it out.
  void AddOutput() const;
  // The pixels of Output as 0xRRGGBB, row by row (grim's screenshot).
  std::vector<std::uint32_t> Screenshot(const std::string& Output) const;
  // Types through the virtual keyboard protocol, with wtype's Arguments.
  void Type(const std::vector<std::string>& Arguments) const;

 private:
  Sway(const std::vector<std::string>& Backend, const std::string& Config);

  std::string runtime_dir_;
  std::string socket_;
  std::unique_ptr<Child> sway_;
};
