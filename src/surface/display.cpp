#include "surface/display.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

void OpenClosedStandardStreams() {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) == -1) open("/dev/null", O_RDWR);
  }
}

void EndWithLine(const char* Program, const std::string& What) {
  std::fprintf(stderr, "%s: %s\n", Program, What.c_str());
  std::_Exit(1);
}

const char* Named(const char* Variable) {
  const char* value = std::getenv(Variable);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

void EndOnSignals() {
  struct sigaction action {};
  action.sa_handler = [](int) { _exit(0); };
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}
