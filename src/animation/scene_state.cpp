#include "animation/form.h"

void Form::StartUp() {
  window_.Randomize(window_.Timer());
  ScrW = RoundToInt16(window_.ScaleWidth());
  ScrH = RoundToInt16(window_.ScaleHeight());
  pb(0).Move(0.0F, 0, ScrW, ScrH);
  pb(1).Move(0.0F, 0, ScrW, ScrH);

  MaxSpread = ToSingle(3.141593 / 2);
  SpreadCut = ToSingle(0.8);
  MaxLen = 360;
  Segs = 5;
  MaxJitter = 10;
  JitterK = ToSingle(1.0);
  BranchVar = ToSingle(0.0);
  Taper = ToSingle(0.9);
}
