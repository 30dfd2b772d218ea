#include "animation/form.h"

namespace {

// A fraction for OtDo: the quotient in double precision, stored as a single.
Single Fraction(Int16 Numerator, Int16 Denominator) {
  return ToSingle(Finite(double(Numerator) / double(Denominator)));
}

}  // namespace

// Draws the branch as Segs pieces: each inner joint lies within J of its
// point on the straight line, J growing with the level NN; the last piece
// ends exactly at (X2, Y2). Each piece has the width of its far end.
void Form::DrawLine(Int16 X1, Int16 Y1, Int16 X2, Int16 Y2, Int16 W1, Int16 W2, Int16 NN) {
  Surface& Pic = pb(Cur);
  Pic.CurrentX(ToSingle(X1));
  Pic.CurrentY(ToSingle(Y1));

  // The jitter depends on the level alone, the same for every joint.
  const Single t = Fraction(NN, 10);
  const Int16 q = OtDo(MaxJitter, 0, t);
  const Single J = ToSingle(Finite(double(MaxJitter) - double(q) * JitterK));

  const Int16 L = Segs - 1;
  Int16 i = 1;
  for (; i <= L; i = i + 1) {
    const Single f = Fraction(i, Segs);
    Pic.DrawWidth(OtDo(W1, W2, f));
    const Int16 px = OtDo(X1, X2, f);
    const Single r1 = window_.Rnd();
    const Int16 py = OtDo(Y1, Y2, f);
    const Single r2 = window_.Rnd();
    const Colour Color = RGB(Gray, Gray, Gray);
    const Single x = ToSingle(Finite(double(px) + (2 * r1 - 1) * J));
    const Single y = ToSingle(Finite(double(py) + (2 * r2 - 1) * J));
    Pic.Line(x, y, Color);
  }

  const Single f = Fraction(i, Segs);
  Pic.DrawWidth(OtDo(W1, W2, f));
  const Int16 px = OtDo(X1, X2, f);
  const Int16 py = OtDo(Y1, Y2, f);
  Pic.Line(ToSingle(px), ToSingle(py), RGB(Gray, Gray, Gray));
}
