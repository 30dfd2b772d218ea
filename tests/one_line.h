#pragma once

#include <gmock/gmock.h>

#include <algorithm>
#include <string>

// What the programs write on standard error when they end on a failure: one
// line, starting with Start.
MATCHER_P(OneLineStartingWith, Start, "is one line starting with \"" + std::string(Start) + "\"") {
  return arg.rfind(Start, 0) == 0 && std::count(arg.begin(), arg.end(), '\n') == 1 &&
         arg.back() == '\n';
}
