// The command line of boska-render and the random file it may read.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct RenderOptions {
  int Width = 494;
  int Height = 441;
  long Frames = 40;
  std::optional<std::uint32_t> Seed;
  std::string RandomFile;
  std::string PngDir;
  bool Trace = false;
  bool Time = false;
  bool Version = false;
  bool Help = false;
};

// Bad input: the message names the problem in one line.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

RenderOptions ParseRenderOptions(const std::vector<std::string>& Arguments);

// The numbers of a random file: one decimal a line, each rounded to the
// nearest single and in [0, 1) after that.
std::vector<float> ReadRandomNumbers(const std::string& Text);
std::vector<float> ReadRandomFile(const std::string& Path);

extern const char kRenderUsage[];
