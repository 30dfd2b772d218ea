#include "surface/offscreen/gif_file.h"

#if defined(BOSKA_GIF)
#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

// The application extension that makes viewers loop: its name, then a
// loop count of 0, for ever.
constexpr char kLooping[] = "NETSCAPE2.0";
constexpr std::array<GifByteType, 3> kForever{1, 0, 0};

}  // namespace

GifAnimation::GifAnimation(const std::string& Path, int Width, int Height, int Centiseconds)
    : path_(Path),
      width_(Width),
      height_(Height),
      centiseconds_(Centiseconds),
      shown_(static_cast<std::size_t>(Width) * Height) {
  // Opened here rather than by name in giflib, which would make the file
  // readable by its owner alone.
  const int file = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (file < 0) throw GifError(std::strerror(errno));
  int error = 0;
  gif_ = EGifOpenFileHandle(file, &error);
  if (gif_ == nullptr) {
    close(file);
    throw GifError(GifErrorString(error));
  }
}

// The screen with its palette of grays, and the looping.
void GifAnimation::Start() {
  std::array<GifColorType, 256> grays;
  for (int gray = 0; gray < 256; ++gray) {
    const auto level = static_cast<GifByteType>(gray);
    grays[gray] = {level, level, level};
  }
  ColorMapObject* palette = GifMakeMapObject(256, grays.data());
  EGifSetGifVersion(gif_, true);
  const int status = EGifPutScreenDesc(gif_, width_, height_, 8, 0, palette);
  GifFreeMapObject(palette);
  Check(status);
  Check(EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE));
  Check(EGifPutExtensionBlock(gif_, sizeof kLooping - 1, kLooping));
  Check(EGifPutExtensionBlock(gif_, kForever.size(), kForever.data()));
  Check(EGifPutExtensionTrailer(gif_));
}

GifAnimation::~GifAnimation() {
  if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
}

void GifAnimation::Check(int Status) const {
  if (Status != GIF_OK) Fail(gif_->Error);
}

void GifAnimation::Fail(int Error) const {
  throw SurfaceError("cannot write " + path_ + ": " +
                     (errno != 0 ? std::strerror(errno) : GifErrorString(Error)));
}

// The smallest box holding every pixel that differs from what is shown; a
// frame has at least one pixel, so one that changes nothing repeats the
// first.
Box GifAnimation::Changed(const PixelRows& Picture) const {
  if (!started_) return {0, 0, width_, height_};
  Box changed{width_, height_, 0, 0};
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* now = Picture.Row(y);
    const std::uint8_t* before = shown_.data() + static_cast<std::ptrdiff_t>(y) * width_;
    if (std::memcmp(now, before, width_) == 0) continue;
    int first = 0, last = width_ - 1;
    while (now[first] == before[first]) ++first;
    while (now[last] == before[last]) --last;
    changed = changed.Hull({first, y, last + 1, y + 1});
  }
  return changed.Empty() ? Box{0, 0, 1, 1} : changed;
}

void GifAnimation::Add(const PixelRows& Picture) {
  errno = 0;
  if (!started_) Start();
  const Box frame = Changed(Picture);
  for (int y = frame.Top; y < frame.Bottom; ++y) {
    std::memcpy(shown_.data() + static_cast<std::ptrdiff_t>(y) * width_, Picture.Row(y), width_);
  }
  started_ = true;
  const GraphicsControlBlock control{DISPOSE_DO_NOT, false, centiseconds_, NO_TRANSPARENT_COLOR};
  std::array<GifByteType, 4> extension;
  EGifGCBToExtension(&control, extension.data());
  Check(EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, extension.size(), extension.data()));
  Check(
      EGifPutImageDesc(gif_, frame.Left, frame.Top, frame.Width(), frame.Height(), false, nullptr));
  for (int y = frame.Top; y < frame.Bottom; ++y) {
    Check(EGifPutLine(gif_, shown_.data() + static_cast<std::ptrdiff_t>(y) * width_ + frame.Left,
                      frame.Width()));
  }
}

void GifAnimation::Close() {
  errno = 0;
  if (!started_) Start();
  int error = 0;
  const int status = EGifCloseFile(gif_, &error);
  gif_ = nullptr;
  if (status != GIF_OK) Fail(error);
}
#else
GifAnimation::GifAnimation(const std::string&, int, int, int) {
  throw GifError("this build writes no GIF files");
}

GifAnimation::~GifAnimation() = default;

void GifAnimation::Add(const PixelRows&) {}

void GifAnimation::Close() {}
#endif
