#include "animation/form.h"

void Form::NextVetw(Int16 X, Int16 Y, Int16 Fat, Single Alfa, Int16 N) {
  const Int16 count = ChVetok(N);
  for (Int16 b = 1; b <= count; b = b + 1) {
    const Single r1 = window_.Rnd();
    const double spread = Finite((1 - (1 - double(N) / 10) * SpreadCut) * MaxSpread);
    const Single a = ToSingle(Finite((r1 + r1 - 1) * spread + Alfa));
    const Int16 w = FloorToInt16(Finite(double(Fat) / (double(b - 1) / 3 + 1) * Taper));
    if (w < 1) continue;

    const Single r2 = window_.Rnd();
    const Int16 len = RoundToInt16(Finite(double(MaxLen) / double(N + 1) * r2));
    const SineCosine direction = SinCos(double(a));
    const Int16 xe = RoundToInt16(Finite(double(X) + double(len) * direction.sin));
    const Int16 ye = RoundToInt16(Finite(double(Y) + double(len) * direction.cos));
    const Int16 Y2 = ScrH - ye;
    const Int16 Y1 = ScrH - Y;
    DrawLine(X, Y1, xe, Y2, Fat, w, N);
    NextVetw(xe, ye, w, a, N + 1);
  }
}

Int16 Form::ChVetok(Int16 NN) {
  const Single r = window_.Rnd();
  const double v = Finite((r * 6.3 - 5) + (double(NN) / 9) * 6.3);
  const Int16 s = v < 0 ? -1 : v < 1 ? 0 : 1;
  return RoundToInt16(Finite(double(s) * BranchVar + 2));
}
