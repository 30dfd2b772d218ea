// Real Wayland compositors for the window tests, each started by the test
// with a private runtime folder, and what the tests look at on them.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "process.h"
#include "x_display.h"

// A compositor's runtime folder, also its home, private to the user who
// runs it: nobody when the tests run as root, for the compositors that
// refuse root or want a session of their own user.
class RuntimeFolder {
 public:
  RuntimeFolder(const char* Compositor, bool Unprivileged);
  ~RuntimeFolder();
  RuntimeFolder(const RuntimeFolder&) = delete;
  RuntimeFolder& operator=(const RuntimeFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Command, run as the folder's owner with the folder as its runtime
  // folder and home.
  std::vector<std::string> AsOwner(std::vector<std::string> Command) const;
  // Waits until Process, running Compositor, has made the socket Socket in
  // the folder; throws with what it said if it ends or is not listening
  // within Timeout.
  void WaitForSocket(const Child& Process, const std::string& Socket,
                     std::chrono::seconds Timeout = std::chrono::seconds(10)) const;
  // What a client needs in its environment to connect to Socket.
  std::vector<std::string> ClientEnvironment(const std::string& Socket) const;

 private:
  std::string compositor_;
  std::string path_;
  bool unprivileged_;
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
  RuntimeFolder folder_{"weston", false};
  std::unique_ptr<Child> weston_;
};

// sway, drawing with its software renderer, run by nobody: headless with
// no input devices but the virtual ones that wtype makes, with one output
// of 1280 × 720, or nested in a window of Nested (which must let any user
// connect), where Nested's keys and pointer are its own, or with Outputs
// outputs that can be taken away, the first 640 × 480 and the others
// 1280 × 720.
class Sway {
 public:
  explicit Sway(const XServer* Nested = nullptr);
  explicit Sway(int Outputs);
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
  // The name of the Number-th output, from 1.
  std::string Output(int Number) const;
  // Takes the Number-th output away, as a monitor unplugged.
  void RemoveOutput(int Number) const;
  // The pixels of Output as 0xRRGGBB, row by row (grim's screenshot).
  std::vector<std::uint32_t> Screenshot(const std::string& Output) const;
  // Types through the virtual keyboard protocol, with wtype's Arguments.
  void Type(const std::vector<std::string>& Arguments) const;

 private:
  void Start(const std::vector<std::string>& Backend, const std::string& Config);

  // Where sway 1.7 nests the outputs that it can take away.
  std::unique_ptr<Sway> outer_;
  RuntimeFolder folder_{"sway", true};
  std::string socket_;
  std::unique_ptr<Child> sway_;
};

// The compositors of the two big desktops, headless with one virtual
// output of Width × Height, each in a D-Bus session of its own, run by
// nobody: GNOME's mutter, and KDE's KWin (from a copy of its binary, whose
// file capability this sandbox refuses to execute; its platform plugin
// wants the name kwin_wayland). Neither takes input from outside here:
// mutter has no virtual keyboard, KWin only its own fake-input protocol.
enum class Desktop { Gnome, Kde };

class DesktopCompositor {
 public:
  DesktopCompositor(Desktop Which, int Width, int Height);

  std::vector<std::string> ClientEnvironment() const;

 private:
  RuntimeFolder folder_;
  std::unique_ptr<Child> compositor_;
};
