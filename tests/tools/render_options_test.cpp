#include "render_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(RenderOptions, ReadsEveryOption) {
  const RenderOptions options = ParseRenderOptions(
      {"--size", "1280x720", "--frames", "7", "--seed", "42", "--png", "out", "--trace", "--time"});
  EXPECT_EQ(options.Width, 1280);
  EXPECT_EQ(options.Height, 720);
  EXPECT_EQ(options.Frames, 7);
  EXPECT_EQ(options.Seed, 42U);
  EXPECT_EQ(options.PngDir, "out");
  EXPECT_TRUE(options.Trace);
  EXPECT_TRUE(options.Time);
  const RenderOptions defaults = ParseRenderOptions({});
  EXPECT_EQ(defaults.Width, 494);
  EXPECT_EQ(defaults.Height, 441);
  EXPECT_FALSE(defaults.Seed.has_value());
}

TEST(RenderOptions, RejectsBadArgumentsWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {{"--size", "1280"},
                                                     {"--size", "0x10"},
                                                     {"--size", "10x40000"},
                                                     {"--size", "12x"},
                                                     {"--size", "x12"},
                                                     {"--size", "-5x10"},
                                                     {"--frames", "-1"},
                                                     {"--frames", "1e3"},
                                                     {"--frames"},
                                                     {"--seed", "4294967296"},
                                                     {"--seed", "abc"},
                                                     {"--bogus"},
                                                     {"--seed", "1", "--random", "file"}};
  for (const auto& arguments : bad) {
    try {
      ParseRenderOptions(arguments);
      ADD_FAILURE() << "accepted " << arguments[0];
    } catch (const BadInput& error) {
      EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
    }
  }
}

TEST(RenderOptions, QuotesTheUsersTextOnOneShortLine) {
  try {
    ParseRenderOptions({"--size", "12\nx5"});
    FAIL();
  } catch (const BadInput& error) {
    EXPECT_STREQ(error.what(), "width must be a whole number from 1 to 32767, not '12\\x0A'");
  }
  try {
    ParseRenderOptions({"--size", "12x" + std::string(100, '9')});
    FAIL();
  } catch (const BadInput& error) {
    EXPECT_EQ(error.what(), "height must be a whole number from 1 to 32767, not '" +
                                std::string(40, '9') + "...'");
  }
  try {
    ParseRenderOptions({"--frames\r\n"});
    FAIL();
  } catch (const BadInput& error) {
    EXPECT_STREQ(error.what(), "unknown argument '--frames\\x0D\\x0A' (try --help)");
  }
}

TEST(RandomNumbers, ReadsOneDecimalALineRoundedToSingle) {
  const std::vector<float> numbers = ReadRandomNumbers("0\n0.5\n0.1\n0.99999994\r\n");
  ASSERT_EQ(numbers.size(), 4U);
  EXPECT_EQ(numbers[1], 0.5F);
  EXPECT_EQ(numbers[2], 0.1F);
  EXPECT_EQ(numbers[3], 0.99999994F);
  EXPECT_TRUE(ReadRandomNumbers("").empty());
}

TEST(RandomNumbers, RejectsWhatIsNotANumberInZeroToOne) {
  for (const std::string& text : std::vector<std::string>{
           "abc\n", "0.5x\n", "nan\n", "inf\n", "-0.1\n", "1\n", "0.99999998\n", "0.5\n\n0.5\n",
           " 0.5\n", std::string(100, '0') + "\n"}) {
    EXPECT_THROW(ReadRandomNumbers(text), BadInput) << text;
  }
}

TEST(RandomNumbers, NamesTheLineAtFault) {
  try {
    ReadRandomNumbers("0.1\n0.2\n2\n");
    FAIL();
  } catch (const BadInput& error) {
    EXPECT_STREQ(error.what(), "line 3 of the random file is outside [0, 1): '2'");
  }
}

TEST(RandomFile, RejectsFoldersAndMissingFiles) {
  const auto folder = std::filesystem::temp_directory_path();
  EXPECT_THROW(ReadRandomFile(folder.string()), BadInput);
  EXPECT_THROW(ReadRandomFile((folder / "boska-no-such-file").string()), BadInput);
  const auto path = folder / "boska-random-test.txt";
  std::ofstream(path) << "0.25\n0.75\n";
  EXPECT_EQ(ReadRandomFile(path.string()), (std::vector<float>{0.25F, 0.75F}));
  std::filesystem::remove(path);
}

}  // namespace
