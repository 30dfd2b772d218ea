// boska-render as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "one_line.h"
#include "process.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;

const std::string kRender = BOSKA_RENDER_PATH;

std::string WriteTemp(const std::string& name, const std::string& text) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path) << text;
  return path.string();
}

TEST(BoskaRender, PrintsItsVersionAndHelp) {
  const Finished version = RunToEnd({kRender, "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "boska-render 1.00\n");
  const Finished help = RunToEnd({kRender, "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("--random FILE"));
}

TEST(BoskaRender, BadInputIsOneLineAndStatus2) {
  const std::string exhausted = WriteTemp("boska-short.txt", "0.5\n0.5\n");
  const std::string malformed = WriteTemp("boska-malformed.txt", "0.5\nhalf\n");
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{kRender, "--frames", "x"},
        {kRender, "--size", "100"},
        {kRender, "--random", exhausted},
        {kRender, "--random", malformed},
        {kRender, "--random", "/nonexistent/random"},
        {kRender, "--png", "/nonexistent/folder"},
        {kRender, "--png", "/proc"}}) {
    const Finished run = RunToEnd(command);
    EXPECT_EQ(run.status, 2) << command[1];
    EXPECT_THAT(run.err, OneLineStartingWith("boska-render: "));
  }
}

TEST(BoskaRender, SameSeedSameTraceOtherSeedOtherTrace) {
  const Finished a = RunToEnd({kRender, "--frames", "4", "--seed", "7", "--trace"});
  const Finished b = RunToEnd({kRender, "--frames", "4", "--seed", "7", "--trace"});
  const Finished c = RunToEnd({kRender, "--frames", "4", "--seed", "8", "--trace"});
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out, c.out);
  EXPECT_THAT(a.out, StartsWith("move 0 0 0 494 441\nmove 1 0 0 494 441\nframe 1\ncls 1\n"));
  // Two plants (frames 1 and 4) of 2,486 strokes, five pieces each.
  std::size_t lines = 0;
  for (std::size_t at = a.out.find("\nline "); at != std::string::npos;
       at = a.out.find("\nline ", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 2U * 2486 * 5);
}

// golden/trace.txt was worked out from golden/random.txt by golden/model.py,
// a separate model of the design in Python; the program must match it to the
// last digit until the numbers run out.
TEST(BoskaRender, TraceMatchesTheIndependentModel) {
  const std::string golden = BOSKA_GOLDEN_DIR;
  const Finished run =
      RunToEnd({kRender, "--frames", "1", "--random", golden + "/random.txt", "--trace"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "boska-render: the random numbers ran out\n");
  const std::string expected = Slurp(golden + "/trace.txt");
  ASSERT_GT(std::count(expected.begin(), expected.end(), '\n'), 1000);
  EXPECT_EQ(run.out, expected);
}

TEST(BoskaRender, TimesPlantAndCopyOnlyFramesApart) {
  const Finished run = RunToEnd({kRender, "--frames", "7", "--seed", "2", "--time"});
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.out, testing::MatchesRegex("494x441: plant frames median [0-9.]+ ms, max "
                                             "[0-9.]+ ms \\(3\\); copy-only frames median "
                                             "[0-9.]+ ms, max [0-9.]+ ms \\(4\\)\n"));
}

TEST(BoskaRender, MemoryStaysFlatOverALongRun) {
#ifdef BOSKA_SANITIZED
  GTEST_SKIP() << "the sanitizers' own memory";
#endif
  const auto peak = [](const char* frames) {
    const Finished run = RunToEnd({kRender, "--frames", frames, "--seed", "4"});
    EXPECT_EQ(run.status, 0);
    return run.peak_kilobytes;
  };
  EXPECT_LT(std::abs(peak("1500") - peak("150")), 1024L) << "kB";
}

TEST(BoskaRender, WritesEachFramesPicture) {
  const auto folder = std::filesystem::temp_directory_path() / "boska-render-pngs";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const Finished run =
      RunToEnd({kRender, "--frames", "3", "--seed", "1", "--size", "200x150", "--png", folder});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* name : {"frame-0001.png", "frame-0002.png", "frame-0003.png"}) {
    EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "frame-0004.png"));
  std::filesystem::remove_all(folder);
}

}  // namespace
