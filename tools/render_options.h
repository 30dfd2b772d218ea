// The command line of boska-render and the random file it may read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "animation/program.h"
#include "surface/platform.h"

struct RenderOptions {
  int Width = kDesignWidth;
  int Height = kDesignHeight;
  long Frames = 40;
  std::optional<std::uint32_t> Seed;
  std::string RandomFile;
  std::string PngDir;
  std::string GifFile;
  bool Trace = false;
  bool Time = false;
  bool Version = false;
  bool Help = false;
};

RenderOptions ParseRenderOptions(const std::vector<std::string>& Arguments);

// The numbers of a random file: one decimal a line, each rounded to the
// nearest single and in [0, 1) after that.
std::vector<float> ReadRandomNumbers(const std::string& Text);
std::vector<float> ReadRandomFile(const std::string& Path);

extern const char kRenderUsage[];
