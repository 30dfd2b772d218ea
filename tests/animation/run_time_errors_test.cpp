// The three run-time errors, raised through the real frame code: each ends
// the run with status 1 and a report naming it, and what was drawn before it
// stays drawn.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "animation/program.h"
#include "rig.h"

namespace {

using testing::StartsWith;

// A surface that fails on its Nth line, as a platform whose drawing breaks.
class FailingSurface final : public Surface {
 public:
  FailingSurface(Surface& Inner, int FailingLine) : inner_(Inner), failing_line_(FailingLine) {}
  void Move(Single L, Int16 T, Int16 W, Int16 H) override { inner_.Move(L, T, W, H); }
  void Cls() override { inner_.Cls(); }
  const Picture& Image() const override { return inner_.Image(); }
  void PaintPicture(const Picture& P, Single X1, Single Y1, Int16 W1, Int16 H1, Int16 X2, Int16 Y2,
                    Int16 W2, Int16 H2) override {
    inner_.PaintPicture(P, X1, Y1, W1, H1, X2, Y2, W2, H2);
  }
  void ZOrder() override { inner_.ZOrder(); }
  void CurrentX(Single X) override { inner_.CurrentX(X); }
  void CurrentY(Single Y) override { inner_.CurrentY(Y); }
  void DrawWidth(Int16 W) override { inner_.DrawWidth(W); }
  void Line(Single X, Single Y, Colour C) override {
    if (++lines_ == failing_line_) throw SurfaceError("the line could not be drawn");
    inner_.Line(X, Y, C);
  }

 private:
  Surface& inner_;
  int failing_line_;
  int lines_ = 0;
};

class BrokenWindow : public ScriptedWindow {
 public:
  using ScriptedWindow::ScriptedWindow;
  Surface& pb(Int16 Index) override {
    if (!failing_[0]) {
      for (std::int16_t i = 0; i < 2; ++i) failing_[i].emplace(ScriptedWindow::pb(i), 100);
    }
    return *failing_[Index.Value()];
  }
  long NonWhitePixels(int index) {
    const PixelRows rows = PictureWindow::Image(static_cast<std::int16_t>(index)).Rows();
    long count = 0;
    for (int y = 0; y < rows.Height; ++y)
      for (int x = 0; x < rows.Width; ++x) count += rows.Row(y)[x] != 255;
    return count;
  }

 private:
  std::optional<FailingSurface> failing_[2];
};

TEST(RunTimeErrors, AnOverflowAtStartUpMovesNoSurface) {
  Rig rig;
  rig.window.Width = 32767.5F;
  std::ostringstream errors;
  EXPECT_EQ(RunBoska(rig.window, errors), 1);
  EXPECT_EQ(errors.str(), "boska: overflow error: 32767.5 does not fit in 16 bits\n");
  EXPECT_TRUE(rig.Trace().empty());
}

TEST(RunTimeErrors, AStrokeOfNoPiecesIsAFloatingPointError) {
  Rig rig(std::vector<float>(100, 0.5F));
  std::ostringstream errors;
  const int status = EndOf(
      [&] {
        rig.f.StartUp();
        rig.f.Segs = 0;
        for (;;) rig.f.Frame();
      },
      errors);
  EXPECT_EQ(status, 1);
  EXPECT_THAT(errors.str(), StartsWith("boska: floating-point error: "));
  const std::vector<std::string> trace = rig.Trace();
  EXPECT_EQ(trace.back(), "pos 1 141 441");  // 494 / 3.5: the first stroke starts, nothing drawn
}

TEST(RunTimeErrors, AFailingSurfaceEndsTheRunKeepingWhatWasDrawn) {
  Generator random(3);
  std::ostringstream errors, trace;
  BrokenWindow window({.Frames = 1L << 30, .Trace = &trace}, random);
  EXPECT_EQ(RunBoska(window, errors), 1);
  EXPECT_EQ(errors.str(), "boska: surface error: the line could not be drawn\n");
  EXPECT_EQ(window.FramesShown(), 0);
  // 99 pieces of the first plant stay on the surface it was drawn on.
  EXPECT_GT(window.NonWhitePixels(1), 1000);
}

}  // namespace
