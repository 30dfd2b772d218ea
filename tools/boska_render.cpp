// boska-render: the animation on the off-screen window, for pictures, traces
// and checks without a display.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "animation/program.h"
#include "render_options.h"
#include "surface/clock.h"
#include "surface/offscreen/offscreen_window.h"
#include "surface/picture/image_surface.h"
#include "version.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// The animation shows a frame every 0.9 s.
constexpr int kGifCentiseconds = 90;

std::unique_ptr<RandomSource> MakeRandomSource(const RenderOptions& options) {
  if (!options.RandomFile.empty()) {
    return std::make_unique<ScriptedRandom>(ReadRandomFile(options.RandomFile));
  }
  return std::make_unique<Generator>(options.Seed);
}

// A folder the pictures can go to, found out before the run rather than
// after its first frame.
void CheckPngDir(const std::string& dir) {
  if (!kWritesPng) throw BadInput("--png: this build writes no PNG files");
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    throw BadInput("--png folder " + dir + " is not a folder");
  }
  const std::string probe = dir + "/.boska-render-probe";
  std::FILE* file = std::fopen(probe.c_str(), "w");
  if (file == nullptr) {
    throw BadInput("--png folder " + dir + " cannot be written: " + std::strerror(errno));
  }
  std::fclose(file);
  std::remove(probe.c_str());
}

// The animation's file, made before the run so that a path it cannot take
// is bad input.
std::optional<GifAnimation> MakeGif(const RenderOptions& options) {
  if (options.GifFile.empty()) return std::nullopt;
  if (!kWritesGif) throw BadInput("--gif: this build writes no GIF files");
  try {
    return std::optional<GifAnimation>(std::in_place, options.GifFile, options.Width,
                                       options.Height, kGifCentiseconds);
  } catch (const GifError& error) {
    throw BadInput("--gif file " + options.GifFile + " cannot be written: " + error.what());
  }
}

std::string Summary(std::vector<double> milliseconds, const char* what) {
  char text[96];
  if (milliseconds.empty()) {
    std::snprintf(text, sizeof text, "no %s frames", what);
  } else {
    std::sort(milliseconds.begin(), milliseconds.end());
    const std::size_t n = milliseconds.size();
    const double median =
        n % 2 ? milliseconds[n / 2] : (milliseconds[n / 2 - 1] + milliseconds[n / 2]) / 2;
    std::snprintf(text, sizeof text, "%s frames median %.2f ms, max %.2f ms (%zu)", what, median,
                  milliseconds.back(), n);
  }
  return text;
}

int Render(const RenderOptions& options) {
  if (!options.PngDir.empty()) CheckPngDir(options.PngDir);
  const std::unique_ptr<RandomSource> random = MakeRandomSource(options);
  std::optional<GifAnimation> gif = MakeGif(options);
  std::ios::sync_with_stdio(false);
  OffscreenWindow window({.Width = options.Width,
                          .Height = options.Height,
                          .Frames = options.Frames,
                          .StartTime = SecondsSinceMidnight(),
                          .Trace = options.Trace ? &std::cout : nullptr,
                          .PngDir = options.PngDir,
                          .Gif = gif ? &*gif : nullptr,
                          .Time = options.Time},
                         *random);
  int status = RunBoska(window, std::cerr);
  if (gif && status == 0) status = EndOf([&] { gif->Close(); }, std::cerr);
  if (options.Time) {
    std::cout << options.Width << 'x' << options.Height << ": "
              << Summary(window.Times().Plant, "plant") << "; "
              << Summary(window.Times().CopyOnly, "copy-only") << '\n';
  }
  std::cout.flush();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // Lines end in a line feed alone, as everywhere else, so that a trace is
  // the same file on every platform.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  try {
    const RenderOptions options = ParseRenderOptions({argv + 1, argv + argc});
    if (options.Help) {
      std::cout << kRenderUsage;
    } else if (options.Version) {
      std::cout << "boska-render " << kBoskaVersion << '\n';
    } else {
      return Render(options);
    }
    return 0;
  } catch (const BadInput& error) {
    std::cerr << "boska-render: " << error.what() << '\n';
  } catch (const RandomExhausted& error) {
    std::cerr << "boska-render: " << error.what() << '\n';
  }
  return kBadInputStatus;
}
