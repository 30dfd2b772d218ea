// The window object f: its fields are the scene state, its methods the
// operations of the animation. The platform behind it is reached only
// through the Platform interface.
#pragma once

#include "numbers.h"
#include "surface/platform.h"

class Form final : public WindowEvents {
 public:
  explicit Form(Platform& Window) : window_(Window) {}

  // Start-up, then the frame loop, which only ends with the program.
  [[noreturn]] void Form_Activate() override;
  void pb_KeyDown(Int16 Index, Int16 KeyCode, Int16 Shift) override;
  void pb_MouseDown(Int16 Index, Int16 Button, Int16 Shift, Single X, Single Y) override;

  // Start-up (scene_state.cpp): seeds the random source, reads the drawing
  // size, lays both surfaces over it and sets the tuning values.
  void StartUp();

  // Frame loop (frame_loop.cpp).
  void Frame();
  void Pausa();

  // Plant growth (plant_growth.cpp).
  void NextVetw(Int16 X, Int16 Y, Int16 Fat, Single Alfa, Int16 N);
  Int16 ChVetok(Int16 NN);

  // Branch stroke (branch_stroke.cpp).
  void DrawLine(Int16 X1, Int16 Y1, Int16 X2, Int16 Y2, Int16 W1, Int16 W2, Int16 NN);
  // The value at fraction Otn of the way from A to B, rounded ties-to-even.
  static Int16 OtDo(Int16 A, Int16 B, Single Otn) {
    const Int16 d = B - A;
    return RoundToInt16(Finite(double(d) * Otn + double(A)));
  }

  // The scene state, zero until start-up.
  Int16 ScrW;
  Int16 ScrH;
  Single MaxSpread;
  Single SpreadCut;
  Int16 MaxLen;
  Int16 Segs;
  Int16 MaxJitter;
  Single JitterK;
  Single BranchVar;
  Single Taper;
  Int16 Cur;
  Int16 Gray;
  Int16 FrameNo;
  Single LastTick;

 private:
  Surface& pb(Int16 Index) { return window_.pb(Index); }

  Platform& window_;
};
