#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "rig.h"
#include "stroke_trace.h"

namespace {

using testing::ElementsAre;

TEST(OtDo, InterpolatesAndRoundsHalvesToEven) {
  EXPECT_EQ(Form::OtDo(7, -3, 0.0F), 7);
  EXPECT_EQ(Form::OtDo(7, -3, 1.0F), -3);
  EXPECT_EQ(Form::OtDo(0, 5, 0.5F), 2);
  EXPECT_EQ(Form::OtDo(0, 7, 0.5F), 4);
  EXPECT_EQ(Form::OtDo(-3, 4, 0.5F), 0);
  // 0.1 enters as the single just above it, so 5 × 0.1 lies above the tie.
  EXPECT_EQ(Form::OtDo(0, 5, 0.1F), 1);
}

TEST(OtDo, OverflowsAtTheDifferenceEvenWhenTheResultWouldFit) {
  EXPECT_THROW(Form::OtDo(-20000, 20000, 0.5F), OverflowError);
  EXPECT_THROW(Form::OtDo(0, 30000, 1.5F), OverflowError);
  EXPECT_EQ(Form::OtDo(-16000, 16000, 0.5F), 0);
}

using StrokeRig = DrawingRig;

TEST(DrawLine, WorkedExampleTapersAndEndsExactly) {
  // Joint displacements (2r - 1) × 3 for r = 0, 0.75, 0.5, 0.25, …
  StrokeRig rig({0.0F, 0.75F, 0.5F, 0.25F, 0.125F, 0.875F, 0.5F, 0.5F});
  rig.f.DrawLine(100, 400, 100, 300, 10, 9, 3);
  EXPECT_THAT(rig.Trace(),
              ElementsAre("pos 1 100 400",                          //
                          "width 1 10", "line 1 97 381.5 6250335",  //
                          "width 1 10", "line 1 100 358.5 6250335", "width 1 9",
                          "line 1 97.75 342.25 6250335", "width 1 9", "line 1 100 320 6250335",
                          "width 1 9", "line 1 100 300 6250335"));
  EXPECT_EQ(rig.random.Used(), 8U);
}

TEST(DrawLine, WidthsStepFromTheStartWidthToTheEndWidth) {
  const auto widths = [](Int16 w1, Int16 w2) {
    StrokeRig rig(std::vector<float>(8, 0.5F));
    rig.f.DrawLine(0, 0, 50, 50, w1, w2, 0);
    const Stroke stroke = Strokes(rig.Trace()).at(0);
    std::vector<int> result;
    for (const Piece& piece : stroke.pieces) result.push_back(piece.width);
    return result;
  };
  EXPECT_THAT(widths(32, 28), ElementsAre(31, 30, 30, 29, 28));
  EXPECT_THAT(widths(32, 29), ElementsAre(31, 31, 30, 30, 29));
  EXPECT_THAT(widths(6, 6), ElementsAre(6, 6, 6, 6, 6));
}

TEST(DrawLine, RootBranchesAreNotDisplacedButStillTakeTheirNumbers) {
  StrokeRig rig({0.0F, 0.99999994F, 0.1F, 0.9F, 0.3F, 0.7F, 0.0F, 0.0F});
  rig.f.DrawLine(10, 100, 10, 100, 4, 2, 0);
  EXPECT_THAT(
      rig.Trace(),
      ElementsAre("pos 1 10 100", "width 1 4", "line 1 10 100 6250335", "width 1 3",
                  "line 1 10 100 6250335", "width 1 3", "line 1 10 100 6250335", "width 1 2",
                  "line 1 10 100 6250335", "width 1 2", "line 1 10 100 6250335"));
  EXPECT_EQ(rig.random.Used(), 8U);
}

TEST(DrawLine, ASinglePieceIsStraightAndTakesNoNumber) {
  StrokeRig rig({});
  rig.f.Segs = 1;
  rig.f.DrawLine(1, 2, 30, 40, 9, 5, 7);
  EXPECT_THAT(rig.Trace(), ElementsAre("pos 1 1 2", "width 1 5", "line 1 30 40 6250335"));
}

TEST(DrawLine, ZeroPiecesFailAfterTheStartPointBeforeDrawing) {
  StrokeRig rig({});
  rig.f.Segs = 0;
  EXPECT_THROW(rig.f.DrawLine(1, 2, 30, 40, 9, 5, 7), FloatingPointError);
  EXPECT_THAT(rig.Trace(), ElementsAre("pos 1 1 2"));
}

TEST(DrawLine, JointsStayWithinTheJitterOfTheirPoints) {
  // Level 7: J = 7; the extreme numbers push a joint by just under +7 or
  // exactly -7.
  StrokeRig rig({0.99999994F, 0.0F, 0.0F, 0.99999994F, 0.5F, 0.5F, 0.25F, 0.75F});
  rig.f.DrawLine(0, 0, 100, -200, 20, 10, 7);
  const Stroke stroke = Strokes(rig.Trace()).at(0);
  const double points[][2] = {{20, -40}, {40, -80}, {60, -120}, {80, -160}};
  for (int joint = 0; joint < 4; ++joint) {
    EXPECT_LE(std::abs(stroke.pieces[joint].x - points[joint][0]), 7.0) << joint;
    EXPECT_LE(std::abs(stroke.pieces[joint].y - points[joint][1]), 7.0) << joint;
  }
  EXPECT_EQ(stroke.pieces[1].x, 33);
  EXPECT_EQ(stroke.pieces[2].x, 60);
  EXPECT_EQ(stroke.pieces[3].y, -156.5);
  EXPECT_EQ(stroke.pieces[4].x, 100);
  EXPECT_EQ(stroke.pieces[4].y, -200);
}

TEST(DrawLine, ASurfaceErrorEndsTheStrokeKeepingWhatWasDrawn) {
  StrokeRig rig(std::vector<float>(8, 0.5F));
  rig.f.Gray = 300;  // no such colour component
  EXPECT_THROW(rig.f.DrawLine(0, 0, 10, 10, 3, 2, 0), SurfaceError);
  EXPECT_THAT(rig.Trace(), ElementsAre("pos 1 0 0", "width 1 3"));
}

}  // namespace
