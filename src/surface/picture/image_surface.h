// A surface whose persistent image is gray pixels in memory (pixels.h). Every
// window uses it: a real one shows the image of the surface in front, the
// off-screen one only keeps it. Lines and copies are drawn straight into the
// pixels; Cairo, where the build has it, writes PNGs.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "surface/picture/average_copy.h"
#include "surface/picture/pixel_memory.h"
#include "surface/picture/shrink_copy.h"
#include "surface/picture/thick_line.h"
#include "surface/surface.h"

#if defined(BOSKA_PNG)
inline constexpr bool kWritesPng = true;
#else
inline constexpr bool kWritesPng = false;
#endif

class ImageSurface final : public Surface, public Picture {
 public:
  // A surface at its design position; Raised runs when ZOrder brings it in
  // front.
  ImageSurface(int Left, int Top, int Width, int Height, std::function<void()> Raised);

  void Move(Single Left, Int16 Top, Int16 Width, Int16 Height) override;
  void Cls() override;
  const Picture& Image() const override { return *this; }
  void PaintPicture(const Picture& Source, Single X1, Single Y1, Int16 Width1, Int16 Height1,
                    Int16 X2, Int16 Y2, Int16 Width2, Int16 Height2) override;
  void ZOrder() override { raised_(); }
  void CurrentX(Single X) override { current_x_ = X; }
  void CurrentY(Single Y) override { current_y_ = Y; }
  void DrawWidth(Int16 Width) override;
  // Draws in grays only, the only colours of the animation; any other colour
  // is a surface error.
  void Line(Single X, Single Y, Colour Color) override;

  int Left() const { return left_; }
  int Top() const { return top_; }
  // The image's pixels, up to date, for reading; the surface's operations
  // alone draw into them.
  PixelRows Rows() const;
  // A box outside which every pixel is white. The animation's plants cover
  // only part of a large picture, so copying, clearing and showing it are
  // confined to this box, and within it to each row's ink (InkByRow).
  Box Ink() const { return InkByRow().Hull(); }
  const InkRows& InkByRow() const;
  // Writes the image as a PNG file; a surface error in builds without PNG
  // writing (kWritesPng).
  void WritePng(const std::string& Path) const;

 private:
  void NewImage(int Width, int Height);
  // The pixels as they are, without the clearing that Cls may have put off.
  PixelRows Pixels() const;
  void DrawQueued() const;
  void AveragedCopy(const ImageSurface& Source, double X1, double Y1, int Width1, int Height1,
                    int X2, int Y2, int Width2, int Height2);

  int left_;
  int top_;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;  // a multiple of 16 bytes, for the vector copy
  PixelMemory pixels_;
  std::function<void()> raised_;
  Single current_x_;
  Single current_y_;
  Int16 draw_width_ = 1;
  ShrinkCopy shrink_;
  AverageCopy average_;
  mutable InkRows ink_;
  InkRows copied_;  // what the last shrunk copy wrote
  // Lines not yet drawn: they are drawn several at a time, when the queue is
  // full and before anything reads or copies the pixels.
  static constexpr std::size_t kQueuedLines = 256;
  mutable std::array<LinePiece, kQueuedLines> queued_;
  mutable std::size_t queued_count_ = 0;
  // Whether Cls has yet to whiten the ink. A copy over most of the image
  // then whitens only what it does not cover.
  mutable bool clear_pending_ = false;
};
