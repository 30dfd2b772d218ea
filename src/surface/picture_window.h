// What every window shares: the two surfaces of pb over gray images in
// memory, laid at their design positions, and the random source.
#pragma once

#include <array>
#include <memory>

#include "surface/image_surface.h"
#include "surface/platform.h"
#include "surface/random.h"

inline constexpr char kTitle[] = "Boska";
inline constexpr int kDesignWidth = 494;
inline constexpr int kDesignHeight = 441;

class PictureWindow : public Platform {
 public:
  Surface& pb(Int16 Index) override { return Image(Index); }
  void Randomize(Single Seed) override { random_.Randomize(Seed); }
  Single Rnd() override { return random_.Next(); }

 protected:
  explicit PictureWindow(RandomSource& Random);

  // The surface pb(Index); any index but 0 and 1 is a surface error.
  ImageSurface& Image(Int16 Index);
  Int16 FrontIndex() const { return static_cast<std::int16_t>(front_); }
  const ImageSurface& FrontImage() const { return *images_[front_]; }
  const ImageSurface& BackImage() const { return *images_[1 - front_]; }
  // Whether the surface in front covers a window of this size; until
  // start-up has laid it over the whole window, the window shows white and
  // the surface behind around it.
  bool FrontCovers(int Width, int Height) const;
  // How long a wait for events of at most Seconds blocks, in whole
  // milliseconds: at least 1, so that it never spins, and at most a second.
  static int WaitMilliseconds(double Seconds);
  // How long a window waits to be shown and activated before the animation
  // starts anyway: a desktop without a window manager may never say so.
  static constexpr int kShowTimeoutMs = 2000;
  // Runs after ZOrder has brought pb(Index) in front.
  virtual void Raised(int Index) = 0;

 private:
  RandomSource& random_;
  std::array<std::unique_ptr<ImageSurface>, 2> images_;
  int front_ = 0;
};
