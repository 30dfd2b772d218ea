#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "animation/program.h"
#include "rig.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

// A rig after start-up whose plants end at once: with Taper 0 every branch
// would be thinner than 1, so a plant takes four random numbers (position,
// slot count, two directions) and draws nothing.
struct BarePlants : Rig {
  explicit BarePlants(int Frames, int Width = 494, int Height = 441)
      : Rig(std::vector<float>(4 * Frames, 0.5F), Width, Height) {
    f.StartUp();
    f.Taper = 0.0F;
    Trace();
  }
};

TEST(Frame, FirstFrameDrawsOnPb1AndGrowsAPlant) {
  BarePlants rig(1);
  rig.f.Frame();
  EXPECT_THAT(rig.Trace(),
              ElementsAre("frame 1", "cls 1", "paint 1 0 100 50 394 341 0 0 494 441", "zorder 1"));
  EXPECT_EQ(rig.random.Used(), 4U);
  EXPECT_EQ(rig.f.Gray, 95);
}

TEST(Frame, FramesBetweenPlantsOnlyCopyOnTheOtherSurface) {
  BarePlants rig(1);
  rig.f.Frame();
  rig.Trace();
  rig.f.Frame();
  EXPECT_THAT(rig.Trace(),
              ElementsAre("frame 2", "cls 0", "paint 0 1 100 50 394 341 0 0 494 441", "zorder 0"));
  EXPECT_EQ(rig.random.Used(), 4U);
}

TEST(Frame, GrowsPlantsInFrames1_4_7WithTheGrayCycle) {
  const int expected_grays[] = {95,  20,  115, 40,  135, 60,  155, 80,  5,   100, 25,  120,
                                45,  140, 65,  160, 85,  10,  105, 30,  125, 50,  145, 70,
                                165, 90,  15,  110, 35,  130, 55,  150, 75,  0,   95};
  BarePlants rig(35);
  std::vector<int> grays;
  for (int frame = 1; frame <= 103; ++frame) {
    const std::size_t used = rig.random.Used();
    rig.f.Frame();
    const bool grew = rig.random.Used() != used;
    EXPECT_EQ(grew, frame % 3 == 1) << "frame " << frame;
    if (grew) grays.push_back(rig.f.Gray.Value());
  }
  EXPECT_THAT(grays, ElementsAreArray(expected_grays));
}

TEST(Frame, KeepsThePlantScheduleWhenTheCounterComesToItsLimit) {
  BarePlants rig(4);
  rig.f.FrameNo = 32762;  // frame 32763 comes next
  std::vector<int> counters, grew;
  for (int frame = 0; frame < 7; ++frame) {
    const std::size_t used = rig.random.Used();
    rig.f.Frame();
    counters.push_back(rig.f.FrameNo.Value());
    grew.push_back(rig.random.Used() != used);
  }
  // Frames 32763 to 32769 of the run: plants in 32764 and 32767.
  EXPECT_THAT(counters, ElementsAre(32763, 32764, 32765, 32766, 1, 2, 3));
  EXPECT_THAT(grew, ElementsAre(0, 1, 0, 0, 1, 0, 0));
}

// The first stroke's start is the plant's position: (X, ScrH).
std::string FirstStrokeStart(float draw, int width) {
  Rig rig({draw, 0.5F, 0.5F, 0.5F}, width, 441);
  rig.f.StartUp();
  rig.FrameUntilRandomsRunOut();
  for (const std::string& line : rig.Trace()) {
    if (line.starts_with("pos ")) return line;
  }
  return "";
}

TEST(Frame, PutsThePlantBetweenAQuarterAndAThirdOfTheWidth) {
  EXPECT_EQ(FirstStrokeStart(0.0F, 1024), "pos 1 341 441");
  EXPECT_EQ(FirstStrokeStart(0.5F, 1024), "pos 1 293 441");
  EXPECT_EQ(FirstStrokeStart(0.99999994F, 1024), "pos 1 256 441");
}

TEST(Frame, SkipsTheCopyInAClientAreaUnder100Pixels) {
  BarePlants rig(1, 80, 60);
  rig.f.Frame();
  EXPECT_THAT(rig.Trace(),
              ElementsAre("frame 1", "cls 1", "paint 1 0 100 50 -20 -40 0 0 80 60", "zorder 1"));
}

struct Paused : Rig {
  explicit Paused(float last_tick, std::deque<float> clock) {
    f.LastTick = last_tick;
    window.Clock = std::move(clock);
  }
};

TEST(Pausa, WaitsUntilTheClockReachesLastTickPlusNineTenthsAsASingle) {
  Paused rig(100.0F, {100.2F, 100.5F, 100.90000152587890625F, 100.95F});
  rig.f.Pausa();
  ASSERT_EQ(rig.window.Waits.size(), 2U);
  EXPECT_DOUBLE_EQ(rig.window.Waits[0], 100.90000152587890625 - double(100.2F));
  EXPECT_DOUBLE_EQ(rig.window.Waits[1], 100.90000152587890625 - double(100.5F));
  // LastTick is a reading taken after the wait, not the one that ended it.
  EXPECT_EQ(rig.f.LastTick, double(100.95F));
}

// No wait and no event processing when the first reading is already at the
// threshold, long past it, or before the last one (a clock set back).
TEST(Pausa, ReturnsAtOnceWhenTheFirstReadingNeedsNoWait) {
  const struct {
    float last_tick, reading, next;
  } cases[] = {
      {50000.0F, 50000.8984375F, 50001.0F}, {100.0F, 102.5F, 102.5F}, {1000.0F, 990.0F, 990.1F}};
  for (const auto& clock : cases) {
    Paused rig(clock.last_tick, {clock.reading, clock.next});
    rig.f.Pausa();
    EXPECT_TRUE(rig.window.Waits.empty()) << clock.reading;
    EXPECT_EQ(rig.window.EventPasses, 0) << clock.reading;
    EXPECT_EQ(rig.f.LastTick, double(clock.next)) << clock.reading;
  }
}

TEST(Pausa, CarriesOnPastMidnight) {
  // The threshold 86400.4 lies beyond the last reading before midnight.
  Paused rig(86399.5F, {86399.9F, 0.2F, 0.4F, 0.45F});
  rig.f.Pausa();
  ASSERT_EQ(rig.window.Waits.size(), 2U);
  EXPECT_EQ(rig.window.Waits[1], double(ToSingle(86399.5 + 0.9)) - (double(0.2F) + 86400));
  EXPECT_EQ(rig.f.LastTick, double(0.45F));
}

TEST(Pausa, AClockJumpingForwardCostsOneShortPauseAndNoBurst) {
  // An hour forward between two pauses: that pause ends at once, and the
  // next one waits its full 0.9 s again.
  Paused rig(1000.0F, {4600.0F, 4600.0F});
  rig.f.Pausa();
  EXPECT_TRUE(rig.window.Waits.empty());
  rig.window.Clock = {4600.1F, 4600.5F, 4601.0F};
  rig.f.Pausa();
  ASSERT_EQ(rig.window.Waits.size(), 2U);
  EXPECT_NEAR(rig.window.Waits[0], 0.8, 1e-3);
}

TEST(Ending, EitherHandlerEndsTheProgram) {
  Rig rig;
  EXPECT_THROW(rig.f.pb_KeyDown(0, 30, 0), ProgramEnd);
  EXPECT_THROW(rig.f.pb_MouseDown(1, 2, 0, 10.0F, 20.0F), ProgramEnd);
}

TEST(Ending, AKeyDuringThePauseEndsTheRunAtOnceWithStatus0) {
  // One frame with its plant is shown; the key arrives in the pause after it.
  Rig rig(std::vector<float>(30000, 0.5F), 494, 441, 1);
  rig.window.Clock = {0.5F};  // half a second after midnight: the first pause waits
  std::ostringstream errors;
  EXPECT_EQ(RunBoska(rig.window, errors), 0);
  EXPECT_EQ(rig.window.FramesShown(), 1);
  EXPECT_EQ(rig.window.Waits.size(), 1U);
  EXPECT_EQ(errors.str(), "");
}

}  // namespace
