// A surface whose persistent image is a Cairo image in memory. Both windows
// use it: the real one shows the image of the surface in front, the
// off-screen one only keeps it. Lines and mild shrinking are drawn straight
// into the pixels (pixels.h); Cairo does strong shrinking and writes PNGs.
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>

#include "surface/pixels.h"
#include "surface/surface.h"

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
  void Line(Single X, Single Y, Colour Color) override;

  int Left() const { return left_; }
  int Top() const { return top_; }
  // The image's pixels, up to date, for reading or drawing.
  PixelRows Rows() const;
  void WritePng(const std::string& Path) const;

 private:
  struct ImageDeleter {
    void operator()(cairo_surface_t* image) const { cairo_surface_destroy(image); }
  };
  struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
  };

  void NewImage(int Width, int Height);
  // The pixels as they are, without the fill that Cls may have put off.
  PixelRows Pixels() const;
  void Fill(const PixelRows& Rows, int Left, int Top, int Right, int Bottom) const;
  // Cls fills lazily: a copy over most of the image then fills only the rest.
  void FillAround(int Left, int Top, int Right, int Bottom);
  // Hands the pixels, filled if Cls put that off, back to Cairo.
  void ForCairo() const;
  void Check(const char* operation) const;

  int left_;
  int top_;
  std::unique_ptr<cairo_surface_t, ImageDeleter> image_;
  std::unique_ptr<cairo_t, ContextDeleter> cairo_;
  std::function<void()> raised_;
  Single current_x_;
  Single current_y_;
  Int16 draw_width_ = 1;
  ShrinkCopy shrink_;
  // Whether the pixels have been drawn on directly since Cairo last drew.
  mutable bool direct_ = false;
  // Whether Cls has yet to fill the image.
  mutable bool fill_pending_ = false;
};
