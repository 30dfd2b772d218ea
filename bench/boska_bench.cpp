// What a frame costs: plant growth alone, whole plant frames and copy-only
// frames at three sizes, and the memcpy of one frame's pixels as the floor
// the copy is measured against. Each runs five times; the medians are what
// counts, and the copy is reported as a ratio to the memcpy of the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "animation/form.h"
#include "surface/offscreen/offscreen_window.h"
#include "surface/picture/image_surface.h"
#include "surface/random.h"

namespace {

constexpr std::uint32_t kSeed = 1;

// A surface that draws nothing: what is left is the arithmetic. It keeps
// the pieces it is given when asked to.
class NullSurface final : public Surface, public Picture {
 public:
  void Move(Single, Int16, Int16, Int16) override {}
  void Cls() override {}
  const Picture& Image() const override { return *this; }
  void PaintPicture(const Picture&, Single, Single, Int16, Int16, Int16, Int16, Int16,
                    Int16) override {}
  void ZOrder() override {}
  void CurrentX(Single X) override { x_ = X; }
  void CurrentY(Single Y) override { y_ = Y; }
  void DrawWidth(Int16 Width) override { width_ = Width.Value(); }
  void Line(Single X, Single Y, Colour Color) override {
    ++lines;
    if (pieces) pieces->push_back({x_, y_, X, Y, width_, static_cast<std::uint8_t>(Color & 0xFF)});
    x_ = X, y_ = Y;
  }
  long lines = 0;
  std::vector<LinePiece>* pieces = nullptr;

 private:
  double x_ = 0, y_ = 0, width_ = 1;
};

class NullWindow final : public Platform {
 public:
  explicit NullWindow(float Width = 1920, float Height = 1080) : width_(Width), height_(Height) {}
  void Run(WindowEvents&) override {}
  Single ScaleWidth() override { return width_; }
  Single ScaleHeight() override { return height_; }
  Surface& pb(Int16 Index) override { return surfaces_[Index.Value()]; }
  void DoEvents() override {}
  void WaitEvents(double) override {}
  Single Timer() override { return 0.0F; }
  void Randomize(Single Seed) override { random_.Randomize(Seed); }
  Single Rnd() override { return random_.Next(); }
  long Lines() const { return surfaces_[0].lines + surfaces_[1].lines; }
  void Record(std::vector<LinePiece>& Pieces) { surfaces_[0].pieces = &Pieces; }

 private:
  float width_, height_;
  Generator random_{kSeed};
  NullSurface surfaces_[2];
};

void BM_PlantGrowthArithmetic(benchmark::State& state) {
  NullWindow window;
  Form f(window);
  f.StartUp();
  for (auto _ : state) f.NextVetw(500, 0, 32, 0.0F, 0);
  state.counters["lines"] =
      benchmark::Counter(double(window.Lines()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PlantGrowthArithmetic)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A line as the animation draws it, black for counting.
void Draw(ImageSurface& Picture, const LinePiece& Line, bool Black = false) {
  Picture.DrawWidth(static_cast<std::int16_t>(Line.Width));
  Picture.CurrentX(static_cast<float>(Line.X0));
  Picture.CurrentY(static_cast<float>(Line.Y0));
  const Int16 gray = Black ? 0 : Line.Gray;
  Picture.Line(static_cast<float>(Line.X1), static_cast<float>(Line.Y1), RGB(gray, gray, gray));
}

// One plant's pieces drawn on a white picture of the size, and as the
// floor's measure the pieces and the pixels they cover (each pixel as often
// as pieces cover it), counted by drawing each alone.
void BM_PlantStrokes(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  NullWindow window(static_cast<float>(width), static_cast<float>(height));
  Form f(window);
  f.StartUp();
  std::vector<LinePiece> pieces;
  window.Record(pieces);
  f.Gray = 95;
  f.NextVetw(RoundToInt16(width / 3.5), 0, 32, 0.0F, 0);

  ImageSurface picture(0, 0, width, height, [] {});
  long covered = 0;
  for (const LinePiece& p : pieces) {
    picture.Cls();
    Draw(picture, p, true);
    const PixelRows rows = picture.Rows();
    const Box ink = picture.Ink();
    for (int y = ink.Top; y < ink.Bottom; ++y) {
      covered += std::count_if(rows.Row(y) + ink.Left, rows.Row(y) + ink.Right,
                               [](std::uint8_t pixel) { return pixel != 255; });
    }
  }
  for (auto _ : state) {
    state.PauseTiming();
    picture.Cls();
    picture.Rows();
    state.ResumeTiming();
    for (const LinePiece& p : pieces) Draw(picture, p);
    picture.Rows();
  }
  using benchmark::Counter;
  state.counters["pieces"] = double(pieces.size());
  state.counters["covered"] = double(covered);
  state.counters["per_pixel"] =
      Counter(double(covered), Counter::kIsIterationInvariantRate | Counter::kInvert);
  state.counters["per_piece"] =
      Counter(double(pieces.size()), Counter::kIsIterationInvariantRate | Counter::kInvert);
}

// Before each frame of the cold benchmarks, as the running program meets
// its frames: memory the size of a large cache written elsewhere, as the
// display server and everything else pass through the caches, and then a
// pause. The running program sleeps 0.9 s between frames; after a pause of
// a third of that a 3840 × 2160 copy costs what it costs there (on this
// virtual machine the processor's address translations come back cold,
// which a write elsewhere alone does not do).
void MeetTheFrameCold() {
  static std::vector<unsigned char> elsewhere(std::size_t(64) << 20);
  for (std::size_t at = 0; at < elsewhere.size(); at += 64) ++elsewhere[at];
  benchmark::ClobberMemory();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// A frame on the off-screen window: clear, shrunk copy and, with a plant,
// 2,486 strokes of five pieces. The work follows the picture's ink, so the
// picture is kept as the animation keeps it, with a plant every third frame
// (timed or not); Cold frames start with nothing of it cached.
void Frames(benchmark::State& state, bool plant, bool cold = false) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  Generator random(kSeed);
  OffscreenWindow window({.Width = width, .Height = height, .Frames = 1L << 40}, random);
  Form f(window);
  f.StartUp();
  for (int frame = 0; frame < 6; ++frame) f.Frame();
  for (auto _ : state) {
    state.PauseTiming();
    while ((f.FrameNo % 3 == 0) != plant) f.Frame();  // until the next frame is of the kind timed
    if (cold) MeetTheFrameCold();
    state.ResumeTiming();
    f.Frame();
  }
  state.SetLabel(std::to_string(width) + "x" + std::to_string(height));
}

void BM_PlantFrame(benchmark::State& state) { Frames(state, true); }
void BM_CopyFrame(benchmark::State& state) { Frames(state, false); }
void BM_PlantFrameCold(benchmark::State& state) { Frames(state, true, true); }
void BM_CopyFrameCold(benchmark::State& state) { Frames(state, false, true); }

// The floor for the copy: one frame's pixels (a byte each), copied once.
void BM_MemcpyFrame(benchmark::State& state) {
  const std::size_t bytes = std::size_t(state.range(0)) * std::size_t(state.range(1));
  std::vector<unsigned char> from(bytes, 1), to(bytes, 0);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({494, 441})->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
  b->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_PlantStrokes)->Apply(Sizes);
BENCHMARK(BM_PlantFrame)->Apply(Sizes);
BENCHMARK(BM_CopyFrame)->Apply(Sizes);
// A fixed count: the evictions and pauses between frames take far longer
// than the frames.
BENCHMARK(BM_PlantFrameCold)->Apply(Sizes)->Iterations(10);
BENCHMARK(BM_CopyFrameCold)->Apply(Sizes)->Iterations(10);
BENCHMARK(BM_MemcpyFrame)->Apply(Sizes);

// The console report, then each copy-only frame's median over the median
// memcpy of the same size.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") {
        medians_[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
      }
    }
  }

  void PrintRatios() const {
    for (const char* size : {"494/441", "1920/1080", "3840/2160"}) {
      const auto copy = medians_.find(std::string("BM_CopyFrame/") + size);
      const auto floor = medians_.find(std::string("BM_MemcpyFrame/") + size);
      if (copy == medians_.end() || floor == medians_.end()) continue;
      std::printf("copy-only frame / memcpy at %s: %.2f ms / %.3f ms = %.1f x\n", size,
                  copy->second, floor->second, copy->second / floor->second);
    }
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
