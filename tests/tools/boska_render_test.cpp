// boska-render as a user runs it.
#include <cairo.h>
#include <gif_lib.h>
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
        {kRender, "--png", "/proc"},
        {kRender, "--gif", "/nonexistent/folder/boska.gif"},
        {kRender, "--gif", "/proc"}}) {
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

// A PNG's pixels, one gray byte each.
std::vector<std::uint8_t> PngGrays(const std::string& Path) {
  cairo_surface_t* image = cairo_image_surface_create_from_png(Path.c_str());
  const int width = cairo_image_surface_get_width(image);
  const int stride = cairo_image_surface_get_stride(image);
  std::vector<std::uint8_t> grays;
  for (int y = 0; y < cairo_image_surface_get_height(image); ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(image) + y * stride);
    for (int x = 0; x < width; ++x) grays.push_back(row[x] & 0xFF);
  }
  cairo_surface_destroy(image);
  return grays;
}

// Each frame as a PNG and all of them as one GIF. Each frame of the GIF,
// drawn over those before it, is the PNG of the same frame; the palette is
// the grays, frames show 0.9 s and loop for ever, and those that change less
// than the whole picture hold less. A GIF that fills up is a run-time error.
TEST(BoskaRender, WritesEachFramesPictureAndTheAnimation) {
  const auto folder = std::filesystem::temp_directory_path() / "boska-render-pngs";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string file = folder / "boska.gif";
  const Finished run = RunToEnd({kRender, "--frames", "3", "--seed", "1", "--size", "200x150",
                                 "--png", folder, "--gif", file});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* name : {"frame-0001.png", "frame-0002.png", "frame-0003.png"}) {
    EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "frame-0004.png"));
  int error = 0;
  GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  ASSERT_EQ(gif->ImageCount, 3);
  ASSERT_EQ(gif->SColorMap->ColorCount, 256);
  for (int i = 0; i < 256; ++i) {
    const GifColorType color = gif->SColorMap->Colors[i];
    EXPECT_EQ(color.Red | color.Green << 8 | color.Blue << 16, i * 0x010101) << i;
  }
  const ExtensionBlock* looping = gif->SavedImages[0].ExtensionBlocks;
  ASSERT_GE(gif->SavedImages[0].ExtensionBlockCount, 2);
  EXPECT_EQ(std::string(looping[0].Bytes, looping[0].Bytes + looping[0].ByteCount), "NETSCAPE2.0");
  EXPECT_EQ(std::vector<int>(looping[1].Bytes, looping[1].Bytes + 3), (std::vector<int>{1, 0, 0}));
  std::vector<std::uint8_t> shown(200 * 150);
  int smaller = 0;
  for (int i = 0; i < gif->ImageCount; ++i) {
    GraphicsControlBlock control;
    DGifSavedExtensionToGCB(gif, i, &control);
    EXPECT_EQ(control.DelayTime, 90);
    const GifImageDesc& frame = gif->SavedImages[i].ImageDesc;
    smaller += frame.Width * frame.Height < 200 * 150;
    for (int y = 0; y < frame.Height; ++y) {
      std::copy_n(gif->SavedImages[i].RasterBits + y * frame.Width, frame.Width,
                  shown.begin() + (frame.Top + y) * 200 + frame.Left);
    }
    EXPECT_EQ(shown, PngGrays(folder / ("frame-000" + std::to_string(i + 1) + ".png"))) << i;
  }
  EXPECT_GT(smaller, 0);
  DGifCloseFile(gif, &error);
  const Finished full = RunToEnd({kRender, "--frames", "3", "--gif", "/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "boska: surface error: cannot write /dev/full: No space left on device\n");
  std::filesystem::remove_all(folder);
}

}  // namespace
