// How X faults end the program. Xlib reports a broken connection and a
// refused request to handlers that are the same for the whole process, so
// one XFaults is in force at a time: the one that the window showing the
// animation holds. A refused request is recorded, to be raised as a
// run-time error once Xlib has returned.
#pragma once

#include <string>

class XFaults {
 public:
  // From now on a broken X connection ends the program at once with one
  // line "Program: …" and status 1, and a request that the X server refuses
  // (the window destroyed by another client) is recorded for Raise.
  explicit XFaults(const char* Program);
  // Xlib's own handlers again.
  ~XFaults();
  XFaults(const XFaults&) = delete;
  XFaults& operator=(const XFaults&) = delete;

  // The window is being closed at the program's end. Closing can race with
  // a request sent to the window being destroyed, which the server then
  // refuses; that is no fault any more.
  void Closing() { closing_ = true; }
  // Throws DisplayLost for the first request refused since the last call,
  // if any was.
  void Raise();

 private:
  const char* program_;
  bool closing_ = false;
  std::string refused_;
};
