#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "rig.h"
#include "stroke_trace.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

struct PlantRig : DrawingRig {
  using DrawingRig::DrawingRig;

  // Grows a node until it is complete or the numbers run out.
  std::vector<Stroke> Grow(Int16 X, Int16 Y, Int16 Fat, Single Alfa, Int16 N) {
    try {
      f.NextVetw(X, Y, Fat, Alfa, N);
    } catch (const RandomExhausted&) {
    }
    return Strokes(Trace());
  }
};

constexpr std::size_t kNumbersPerPlant = 9947 + 8 * 2486;

TEST(NextVetw, APlantFromWidth32Has2486StrokesOverLevels0To16) {
  // Every number 0: every branch has length 0 and every joint lies exactly J
  // left of the node, so each stroke tells its level.
  PlantRig rig(std::vector<float>(kNumbersPerPlant, 0.0F));
  const std::vector<Stroke> strokes = rig.Grow(300, 0, 32, 0.0F, 0);
  EXPECT_EQ(rig.random.Used(), kNumbersPerPlant);
  ASSERT_EQ(strokes.size(), 2486U);
  std::map<int, int> per_level;
  for (const Stroke& stroke : strokes) ++per_level[stroke.JitterLeft()];
  std::vector<int> counts;
  for (const auto& [level, count] : per_level) counts.push_back(count);
  EXPECT_EQ(per_level.rbegin()->first, 16);
  EXPECT_THAT(counts, ElementsAreArray(
                          {2, 4, 8, 16, 32, 64, 128, 252, 396, 472, 448, 332, 184, 96, 36, 12, 4}));
}

TEST(NextVetw, BranchWidthsFollowTheTaperBelowItsDecimal) {
  const auto root_widths = [](Int16 fat) {
    PlantRig rig(std::vector<float>(kNumbersPerPlant, 0.0F));
    std::vector<int> widths;
    for (const Stroke& stroke : rig.Grow(300, 0, fat, 0.0F, 0)) {
      if (stroke.JitterLeft() == 0) widths.push_back(stroke.pieces.back().width);
    }
    return widths;
  };
  EXPECT_THAT(root_widths(32), ElementsAre(28, 21));
  EXPECT_THAT(root_widths(30), ElementsAre(26, 20));
  EXPECT_THAT(root_widths(20), ElementsAre(17, 13));
  EXPECT_THAT(root_widths(10), ElementsAre(8, 6));
  EXPECT_THAT(root_widths(2), ElementsAre(1, 1));
}

TEST(NextVetw, ANodeOfWidth1TakesThreeNumbersAndDrawsNothing) {
  PlantRig rig(std::vector<float>(10, 0.5F));
  EXPECT_TRUE(rig.Grow(10, 10, 1, 0.0F, 3).empty());
  EXPECT_EQ(rig.random.Used(), 3U);
}

TEST(NextVetw, RootLengthsRoundHalvesToEven) {
  // count, r1 = 0.5 (straight up), r2, eight stroke numbers
  const auto first_stroke_end = [](float r2) {
    std::vector<float> numbers = {0.5F, 0.5F, r2};
    numbers.resize(11, 0.5F);
    PlantRig rig(numbers);
    const Stroke stroke = rig.Grow(100, 0, 32, 0.0F, 0).at(0);
    return stroke.y1 - stroke.pieces.back().y;
  };
  EXPECT_EQ(first_stroke_end(0.0625F), 22);  // 22.5
  EXPECT_EQ(first_stroke_end(0.1875F), 68);  // 67.5
  EXPECT_EQ(first_stroke_end(0.0F), 0);
}

TEST(NextVetw, ABranchStraightUpFromTheRootAndItsNode) {
  // r2 = 100 / 360 as a single gives length 100.
  std::vector<float> numbers = {0.5F, 0.5F, 100.0F / 360};
  numbers.resize(11, 0.5F);
  numbers.resize(22, 0.5F);  // the node (100, 100): count, r1, r2 and a stroke
  PlantRig rig(numbers);
  const std::vector<Stroke> strokes = rig.Grow(100, 0, 32, 0.0F, 0);
  ASSERT_EQ(strokes.size(), 2U);
  EXPECT_EQ(strokes[0].x1, 100);
  EXPECT_EQ(strokes[0].y1, 441);
  EXPECT_EQ(strokes[0].pieces.back().x, 100);
  EXPECT_EQ(strokes[0].pieces.back().y, 341);
  EXPECT_EQ(strokes[0].pieces.back().width, 28);
  // The node at the branch's end grows level 1 from (100, 100) with width 28.
  EXPECT_EQ(strokes[1].x1, 100);
  EXPECT_EQ(strokes[1].y1, 341);
  EXPECT_EQ(strokes[1].pieces.back().width, 25);
}

TEST(NextVetw, DirectionsTurnByUpToTheSpreadAroundAlfa) {
  const auto end_of_branch = [](Single alfa, float r1) {
    std::vector<float> numbers = {0.5F, r1, 100.0F / 360};
    numbers.resize(11, 0.5F);
    PlantRig rig(numbers);
    const Stroke stroke = rig.Grow(100, 50, 32, alfa, 0).at(0);
    return std::pair(stroke.pieces.back().x, stroke.pieces.back().y);
  };
  const Single quarter = ToSingle(3.141593 / 2);
  // r1 = 0.5 keeps the direction: a quarter turn runs level.
  EXPECT_EQ(end_of_branch(quarter, 0.5F), std::pair(200.0, 391.0));
  EXPECT_EQ(end_of_branch(ToSingle(-double(quarter)), 0.5F), std::pair(0.0, 391.0));
  // r1 = 0 turns left by the whole spread at level 0, about 0.314 radians:
  // sin 0.314 × 100 = 30.9, cos 0.314 × 100 = 95.1.
  EXPECT_EQ(end_of_branch(0.0F, 0.0F), std::pair(69.0, 441.0 - 145.0));
}

TEST(ChVetok, CountsTwoSlotsWhateverTheNumberWithTheStartUpValues) {
  PlantRig rig({0.0F, 0.5F, 0.99999994F});
  EXPECT_EQ(rig.f.ChVetok(0), 2);
  EXPECT_EQ(rig.f.ChVetok(5), 2);
  EXPECT_EQ(rig.f.ChVetok(16), 2);
}

TEST(ChVetok, WeighsTheSignOfTheRandomTermByBranchVar) {
  PlantRig rig({0.5F, 0.9F, 0.96F, 0.0F, 0.5F});
  rig.f.BranchVar = 1.0F;
  EXPECT_EQ(rig.f.ChVetok(0), 1);  // below 0.794: one fewer
  EXPECT_EQ(rig.f.ChVetok(0), 2);
  EXPECT_EQ(rig.f.ChVetok(0), 3);  // from 0.952: one more
  EXPECT_EQ(rig.f.ChVetok(9), 3);  // from level 9 always more
  rig.f.BranchVar = 3.0F;
  EXPECT_EQ(rig.f.ChVetok(0), -1);
}

TEST(NextVetw, ANodeWithoutSlotsTakesOneNumber) {
  PlantRig rig({0.5F, 0.5F});
  rig.f.BranchVar = 3.0F;
  EXPECT_TRUE(rig.Grow(100, 0, 32, 0.0F, 0).empty());
  EXPECT_EQ(rig.random.Used(), 1U);
}

TEST(NextVetw, AnErrorAbandonsTheRestOfThePlantKeepingWhatWasDrawn) {
  // With MaxLen 32767 the trunk reaches y 32439; the next level's branch
  // would end beyond 16 bits.
  std::vector<float> numbers = {0.5F, 0.5F, 0.99F};
  numbers.resize(11, 0.5F);
  numbers.insert(numbers.end(), {0.5F, 0.5F, 0.99F});
  PlantRig rig(numbers);
  rig.f.MaxLen = 32767;
  EXPECT_THROW(rig.f.NextVetw(100, 0, 32, 0.0F, 0), OverflowError);
  const std::vector<Stroke> strokes = Strokes(rig.Trace());
  ASSERT_EQ(strokes.size(), 1U);
  EXPECT_EQ(strokes[0].pieces.size(), 5U);
  EXPECT_EQ(strokes[0].pieces.back().y, 441 - 32439);
}

}  // namespace
