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

class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& Name() const { return name_; }
  Display* Connection() const { return display_; }

  // The top-level window of the process, once it is mapped.
  std::optional<Window> WaitForWindow(pid_t Pid, std::chrono::milliseconds Timeout) const;
  // The window's pixels as 0xRRGGBB, row by row.
  std::vector<std::uint32_t> Screenshot(Window Id, int& Width, int& Height) const;
  // Runs xdotool on this server.
  void XDoTool(const std::vector<std::string>& Arguments) const;
  // Asks the window to close, as a window manager does.
  void Close(Window Id) const;
  // Stops the server under its clients.
  void Kill();

 private:
  void Stop();

  std::string name_;
  std::unique_ptr<Child> server_;
  Display* display_ = nullptr;
};
