#include "animation/form.h"

namespace {

// FrameNo goes back to 0 after this frame instead of overflowing; as a
// multiple of 3 it keeps a plant in every third frame.
constexpr Int16 kFrameCycle = 32766;

}  // namespace

void Form::Form_Activate() {
  StartUp();
  for (;;) Frame();
}

void Form::Frame() {
  window_.DoEvents();
  Cur = 1 - Cur;
  pb(Cur).Cls();
  pb(Cur).PaintPicture(pb(1 - Cur).Image(), 100.0F, 50.0F, ScrW - 100, ScrH - 100, 0, 0, ScrW,
                       ScrH);
  FrameNo = FrameNo % kFrameCycle + 1;
  if (FrameNo % 3 == 1) {
    Gray = (Gray + 95) % 170;
    const Single r = window_.Rnd();
    const Int16 X = RoundToInt16(Finite(double(ScrW) / (r + 3.0F)));
    NextVetw(X, 0, 32, 0.0F, 0);
  }
  pb(Cur).ZOrder();
  Pausa();
}

// Waits until the clock reaches LastTick + 0.9 s, rounded to single. The
// clock restarts at midnight, so a reading below LastTick is taken as the next
// day's; a clock set back by hand or by time sync then ends one pause early
// instead of stalling the animation.
void Form::Pausa() {
  const auto Unwrapped = [this](Single Reading) {
    return Reading < LastTick ? Reading + kSecondsPerDay : double(Reading);
  };
  const Single s = ToSingle(LastTick + 0.9);
  for (Single t = window_.Timer(); s > Unwrapped(t); t = window_.Timer()) {
    window_.WaitEvents(s - Unwrapped(t));
  }
  LastTick = window_.Timer();
}

void Form::pb_KeyDown(Int16, Int16, Int16) { End(); }

void Form::pb_MouseDown(Int16, Int16, Int16, Single, Single) { End(); }
