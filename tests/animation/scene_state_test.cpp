#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>

#include "rig.h"

namespace {

using testing::ElementsAre;

std::uint32_t Bits(Single value) { return std::bit_cast<std::uint32_t>(value.Value()); }

TEST(StartUp, SeedsFromTheClockAndLaysBothSurfacesOverTheClientArea) {
  Rig rig;
  rig.window.Clock = {45296.5F};
  rig.f.StartUp();
  ASSERT_EQ(rig.window.Seeds.size(), 1U);
  EXPECT_EQ(rig.window.Seeds[0], 45296.5);
  EXPECT_EQ(rig.f.ScrW, 494);
  EXPECT_EQ(rig.f.ScrH, 441);
  EXPECT_THAT(rig.Trace(), ElementsAre("move 0 0 0 494 441", "move 1 0 0 494 441"));
}

TEST(StartUp, SetsTheTuningValuesToTheirExactBits) {
  Rig rig;
  rig.f.StartUp();
  EXPECT_EQ(Bits(rig.f.MaxSpread), 0x3FC90FDCU);
  EXPECT_EQ(Bits(rig.f.SpreadCut), 0x3F4CCCCDU);
  EXPECT_EQ(Bits(rig.f.Taper), 0x3F666666U);
  EXPECT_EQ(Bits(rig.f.JitterK), 0x3F800000U);
  EXPECT_EQ(Bits(rig.f.BranchVar), 0U);
  EXPECT_EQ(rig.f.MaxLen, 360);
  EXPECT_EQ(rig.f.Segs, 5);
  EXPECT_EQ(rig.f.MaxJitter, 10);
  EXPECT_EQ(rig.f.Cur, 0);
  EXPECT_EQ(rig.f.Gray, 0);
  EXPECT_EQ(rig.f.FrameNo, 0);
  EXPECT_EQ(rig.f.LastTick, 0.0);
}

TEST(StartUp, RoundsTheClientSizeHalfToEven) {
  const struct {
    float width, height;
    int scr_w, scr_h;
  } cases[] = {{1235.5F, 1234.5F, 1236, 1234},  // up from one tie, down from the other
               {1234.5F, 1235.5F, 1234, 1236},
               {1234.4F, 32767.4F, 1234, 32767}};
  for (const auto& size : cases) {
    Rig rig;
    rig.window.Width = size.width;
    rig.window.Height = size.height;
    rig.f.StartUp();
    EXPECT_EQ(rig.f.ScrW, size.scr_w);
    EXPECT_EQ(rig.f.ScrH, size.scr_h);
  }
}

TEST(StartUp, OverflowsBeforeMovingAnySurface) {
  Rig rig;
  rig.window.Width = 32767.5F;
  EXPECT_THROW(rig.f.StartUp(), OverflowError);
  EXPECT_TRUE(rig.Trace().empty());
}

}  // namespace
