// The run of the animation that both Windows programs share.
#pragma once

#include <exception>
#include <sstream>
#include <string>
#include <string_view>

#include "animation/program.h"
#include "surface/random.h"
#include "surface/win32/win32_window.h"

// Runs the animation in a window of the given style until it ends, and
// returns the exit status: 0, or 1 after a failure, which the user is told
// of once the window has gone. Program names the program in that line.
inline int RunInWin32Window(const Win32Style& Style, std::string_view Program) {
  std::ostringstream errors;
  int status = 1;
  try {
    Generator random;
    Win32Window window(random, Style);
    status = RunBoska(window, errors, Program);
  } catch (const std::exception& error) {
    errors << Program << ": " << error.what() << '\n';
  }
  std::string report = errors.str();
  if (!report.empty()) {
    report.pop_back();
    ReportFailure(report);
  }
  return status;
}
