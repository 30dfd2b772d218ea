#include "render_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

const char kRenderUsage[] =
    "usage: boska-render [options]\n"
    "Runs the animation without a display, frames back to back.\n"
    "  --size WxH     drawing area in pixels (default 494x441)\n"
    "  --frames N     number of frames (default 40)\n"
    "  --seed N       seed the program's own generator with N\n"
    "  --random FILE  take the random numbers from FILE, one a line, each in [0, 1)\n"
    "  --png DIR      write each frame's front picture as DIR/frame-0001.png, ...\n"
    "  --gif FILE     write the frames as an animated GIF, 0.9 s apart, looping\n"
    "  --trace        print the surface operations on standard output\n"
    "  --time         print the median and longest drawing time of plant frames\n"
    "                 and of copy-only frames after the run\n"
    "  --version      print the version and exit\n"
    "  --help         print this help and exit\n";

namespace {

constexpr std::size_t kLongestLine = 64;
constexpr long kLargestSide = 32767;
constexpr std::size_t kLongestQuote = 40;

// The user's text in a message: quoted, control characters escaped and cut
// short, so that the message stays one readable line.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text.substr(0, kLongestQuote)) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + (text.size() > kLongestQuote ? "...'" : "'");
}

template <typename Number>
Number ParseWhole(const std::string& text, Number least, Number most, const std::string& what) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || ptr != end || value < least || value > most) {
    throw BadInput(what + " must be a whole number from " + std::to_string(least) + " to " +
                   std::to_string(most) + ", not " + Quoted(text));
  }
  return value;
}

void ParseSize(const std::string& text, RenderOptions& options) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) throw BadInput("--size must be WxH, not " + Quoted(text));
  options.Width = static_cast<int>(ParseWhole<long>(text.substr(0, x), 1, kLargestSide, "width"));
  options.Height =
      static_cast<int>(ParseWhole<long>(text.substr(x + 1), 1, kLargestSide, "height"));
}

float ParseRandomLine(const std::string& line, std::size_t number) {
  const std::string where = "line " + std::to_string(number) + " of the random file";
  if (line.empty()) throw BadInput(where + " is empty");
  if (line.size() > kLongestLine) throw BadInput(where + " is too long");
  float value = 0;
  const char* end = line.data() + line.size();
  const auto [ptr, error] = std::from_chars(line.data(), end, value);
  if (error != std::errc{} || ptr != end || !std::isfinite(value)) {
    throw BadInput(where + " is not a number: " + Quoted(line));
  }
  if (value < 0 || value >= 1) throw BadInput(where + " is outside [0, 1): " + Quoted(line));
  return value;
}

}  // namespace

RenderOptions ParseRenderOptions(const std::vector<std::string>& Arguments) {
  RenderOptions options;
  for (std::size_t i = 0; i < Arguments.size(); ++i) {
    const std::string& name = Arguments[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 == Arguments.size()) throw BadInput(name + " needs a value");  // a known name
      return Arguments[++i];
    };
    if (name == "--size") {
      ParseSize(value(), options);
    } else if (name == "--frames") {
      options.Frames = ParseWhole<long>(value(), 0, std::numeric_limits<int>::max(), "--frames");
    } else if (name == "--seed") {
      options.Seed = ParseWhole<std::uint32_t>(value(), 0,
                                               std::numeric_limits<std::uint32_t>::max(), "--seed");
    } else if (name == "--random") {
      options.RandomFile = value();
    } else if (name == "--png") {
      options.PngDir = value();
    } else if (name == "--gif") {
      options.GifFile = value();
    } else if (name == "--trace") {
      options.Trace = true;
    } else if (name == "--time") {
      options.Time = true;
    } else if (name == "--version") {
      options.Version = true;
    } else if (name == "--help") {
      options.Help = true;
    } else {
      throw BadInput("unknown argument " + Quoted(name) + " (try --help)");
    }
  }
  if (options.Seed && !options.RandomFile.empty()) {
    throw BadInput("--seed and --random exclude each other");
  }
  return options;
}

std::vector<float> ReadRandomNumbers(const std::string& Text) {
  std::vector<float> numbers;
  std::istringstream lines(Text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    numbers.push_back(ParseRandomLine(line, numbers.size() + 1));
  }
  return numbers;
}

std::vector<float> ReadRandomFile(const std::string& Path) {
  std::error_code error;
  if (std::filesystem::is_directory(Path, error)) {
    throw BadInput("random file " + Quoted(Path) + " is a directory");
  }
  std::ifstream file(Path, std::ios::binary);
  if (!file) throw BadInput("cannot read random file " + Quoted(Path));
  std::ostringstream text;
  text << file.rdbuf();
  return ReadRandomNumbers(text.str());
}
