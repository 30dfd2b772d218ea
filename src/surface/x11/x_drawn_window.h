// What every window on an X server that shows the animation shares: the
// connection and its faults (x_faults.h), the pictures sent to the server
// and painted from there whenever the window is exposed (x_grays.h), the
// window destroyed by another client ending the program with one line and
// status 1, and a wait that sleeps on the connection instead of polling.
#pragma once

#include <X11/Xlib.h>

#include <memory>

#include "surface/picture_window.h"
#include "surface/x11/x_faults.h"
#include "surface/x11/x_grays.h"

class XDrawnWindow : public PictureWindow {
 public:
  ~XDrawnWindow() override;

  Single ScaleWidth() override { return static_cast<float>(width_); }
  Single ScaleHeight() override { return static_cast<float>(height_); }
  void DoEvents() override;
  void WaitEvents(double Seconds) override;

 protected:
  // Opens the display that DISPLAY names. Program names the program in
  // messages. Throws DisplayError when no display can be opened.
  XDrawnWindow(RandomSource& Random, const char* Program);

  // Shows the pictures in Id, of Width × Height in the visual Look, which
  // must be a true-colour one.
  void DrawIn(Window Id, Visual* Look, int Width, int Height);
  // Sends both pictures, as start-up made them.
  void SendBoth();
  void Present() override;
  void Raised(int Index) override;
  // One event of the connection's.
  virtual void Handle(const XEvent& Event);

 private:
  XFaults faults_;

 protected:
  Display* const display_;
  Window window_ = 0;
  int width_ = 0;
  int height_ = 0;

 private:
  void Send(int Index);

  std::unique_ptr<XGrays> grays_;
};
