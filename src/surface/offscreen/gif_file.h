// An animated GIF of gray pictures, written a frame at a time as they are
// drawn: its palette is the 256 grays, so every frame is exact; each frame
// shows for the same time and the whole loops for ever. Each frame after the
// first holds only the rectangle of pixels that changed, drawn over the
// picture before it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "surface/picture/pixel_rows.h"
#include "surface/surface.h"

#if defined(BOSKA_GIF)
inline constexpr bool kWritesGif = true;
#else
inline constexpr bool kWritesGif = false;
#endif

struct GifFileType;

// Why a GIF file could not be made, in a few words.
class GifError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class GifAnimation {
 public:
  // Creates the file Path for pictures of Width × Height pixels, each shown
  // for Centiseconds, or raises GifError. Once it is made, a failure to
  // write it is a surface error.
  GifAnimation(const std::string& Path, int Width, int Height, int Centiseconds);
  GifAnimation(const GifAnimation&) = delete;
  GifAnimation& operator=(const GifAnimation&) = delete;
  ~GifAnimation();

  // Appends Picture, of the size given, as the next frame.
  void Add(const PixelRows& Picture);
  // Writes the end of the file and closes it.
  void Close();

 private:
  void Start();
  Box Changed(const PixelRows& Picture) const;
  void Check(int Status) const;
  [[noreturn]] void Fail(int Error) const;

  GifFileType* gif_ = nullptr;
  std::string path_;
  int width_;
  int height_;
  int centiseconds_;
  // The picture the frames so far add up to, a byte a pixel without gaps.
  std::vector<std::uint8_t> shown_;
  bool started_ = false;
};
