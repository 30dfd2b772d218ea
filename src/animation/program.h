// The life of the program: the window object f on a window, until it ends.
#pragma once

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string_view>

#include "surface/platform.h"

// Input that a program cannot take (an unknown argument, a malformed
// number): the message names the problem in one line, and the program ends
// with kBadInputStatus without having started the animation.
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kBadInputStatus = 2;

// Returns the exit status: 0 when the program ended normally, 1 after a
// run-time error, which it reports on Errors as one line: the program's name
// ("boska", or the program that runs the animation), ": " and what failed.
int RunBoska(Platform& Window, std::ostream& Errors, std::string_view Program = "boska");

// The same ending for any run of the animation: status 0 after End, 1 with
// the report after a run-time error.
int EndOf(const std::function<void()>& Run, std::ostream& Errors,
          std::string_view Program = "boska");
