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

// The tiling window manager i3 on Server, with a configuration of its own,
// managing windows once the constructor returns.
class I3 {
 public:
  explicit I3(const XServer& Server);
  ~I3();
  I3(const I3&) = delete;
  I3& operator=(const I3&) = delete;

  // What i3 says of the window of the class Class, its spaces taken out:
  // its border and its rect (a tiled window's fills its place); empty
  // while there is none.
  std::string Node(const std::string& Class) const;

 private:
  // What i3-msg with Arguments prints; nothing if i3 does not answer.
  std::optional<std::string> Message(const std::vector<std::string>& Arguments) const;

  const XServer& server_;
  std::string config_;
  std::unique_ptr<Child> i3_;
};

// Text in what a tree that a window manager prints says of one node: the
// node in which Marker appears, with the Fields it has before Marker,
// spaces taken out; empty if Marker does not appear.
std::string NodeFields(std::string Tree, const std::string& Marker,
                       const std::vector<std::string>& Fields);
