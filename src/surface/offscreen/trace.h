// The trace of boska-render --trace: one line per surface operation, in the
// order the animation performs them.
//
//   move I L T W H     cls I                 zorder I
//   paint I S DX DY DW DH SX SY SW SH        frame K
//   pos I X Y          width I W             line I X Y C
//
// Integers in decimal, singles in the shortest decimal that reads back as the
// same single, colours as red + 256 × green + 65536 × blue.
#pragma once

#include <ostream>

#include "surface/surface.h"

// Writes each operation to the trace, then hands it to the surface it wraps.
class TracingSurface final : public Surface {
 public:
  TracingSurface(Int16 Index, Surface& Inner, std::ostream& Trace);

  void Move(Single Left, Int16 Top, Int16 Width, Int16 Height) override;
  void Cls() override;
  const Picture& Image() const override { return picture_; }
  void PaintPicture(const Picture& Source, Single X1, Single Y1, Int16 Width1, Int16 Height1,
                    Int16 X2, Int16 Y2, Int16 Width2, Int16 Height2) override;
  void ZOrder() override;
  // CurrentX and CurrentY are set in pairs; the pair makes one `pos` line.
  void CurrentX(Single X) override;
  void CurrentY(Single Y) override;
  void DrawWidth(Int16 Width) override;
  void Line(Single X, Single Y, Colour Color) override;

 private:
  struct TracedPicture : Picture {
    TracedPicture(Int16 Index, const Picture& Inner) : index(Index), inner(Inner) {}
    Int16 index;
    const Picture& inner;
  };

  std::ostream& Write(const char* operation);

  Int16 index_;
  Surface& inner_;
  std::ostream& trace_;
  TracedPicture picture_;
  Single current_x_;
};
