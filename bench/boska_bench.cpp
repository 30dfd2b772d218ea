// What a frame costs: plant growth alone, whole plant frames and copy-only
// frames at three sizes, and the memcpy of one frame's pixels as the floor
// the copy is measured against. Each runs five times; the medians are what
// counts, and the copy is reported as a ratio to the memcpy of the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "animation/form.h"
#include "surface/offscreen/offscreen_window.h"
#include "surface/random.h"

namespace {

constexpr std::uint32_t kSeed = 1;

// A surface that draws nothing: what is left is the arithmetic.
class NullSurface final : public Surface, public Picture {
 public:
  void Move(Single, Int16, Int16, Int16) override {}
  void Cls() override {}
  const Picture& Image() const override { return *this; }
  void PaintPicture(const Picture&, Single, Single, Int16, Int16, Int16, Int16, Int16,
                    Int16) override {}
  void ZOrder() override {}
  void CurrentX(Single) override {}
  void CurrentY(Single) override {}
  void DrawWidth(Int16) override {}
  void Line(Single, Single, Colour) override { ++lines; }
  long lines = 0;
};

class NullWindow final : public Platform {
 public:
  void Run(WindowEvents&) override {}
  Single ScaleWidth() override { return 1920.0F; }
  Single ScaleHeight() override { return 1080.0F; }
  Surface& pb(Int16 Index) override { return surfaces_[Index.Value()]; }
  void DoEvents() override {}
  void WaitEvents(double) override {}
  Single Timer() override { return 0.0F; }
  void Randomize(Single Seed) override { random_.Randomize(Seed); }
  Single Rnd() override { return random_.Next(); }
  long Lines() const { return surfaces_[0].lines + surfaces_[1].lines; }

 private:
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

// A frame on the off-screen window: clear, shrunk copy and, with a plant,
// 2,486 strokes of five pieces. The work follows the picture's ink, so the
// picture is kept as the animation keeps it, with a plant every third frame
// (timed or not).
void Frames(benchmark::State& state, bool plant) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  Generator random(kSeed);
  OffscreenWindow window({.Width = width, .Height = height, .Frames = 1L << 40}, random);
  Form f(window);
  f.StartUp();
  for (int frame = 0; frame < 6; ++frame) f.Frame();
  for (auto _ : state) {
    state.PauseTiming();
    while ((f.FrameNo % 3 == 0) != plant) f.Frame();  // until the next frame is of the kind timed
    state.ResumeTiming();
    f.Frame();
  }
  state.SetLabel(std::to_string(width) + "x" + std::to_string(height));
}

void BM_PlantFrame(benchmark::State& state) { Frames(state, true); }
void BM_CopyFrame(benchmark::State& state) { Frames(state, false); }

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

BENCHMARK(BM_PlantFrame)->Apply(Sizes);
BENCHMARK(BM_CopyFrame)->Apply(Sizes);
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
