// Benchmarks of the show engine: one peony cycle, the whole show, and the
// presenter's share of the work (taking the dirty tiles of a full-HD frame and
// copying them out).

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "settings/IniFile.h"
#include "shells/FireBotan.h"
#include "show/FireThread.h"

namespace {

using namespace moonglow;

struct TBenchWorld {
  TCanvas Canvas{800, 600};
  TMyIniFile Settings{""};
  TShowEnv Env{Canvas, Settings, Saver, 12345u};
  TBenchWorld() {
    Settings.LoadDefaults();
    Settings.FirstRun = false;
    BuildPalette(Env.Palette);
  }
};

// One launch-less peony burst from Explode to the end of its fade, at the
// default settings (about 190 stars, 41..51 sweeps).
void BM_PeonyBurstCycle(benchmark::State& state) {
  TBenchWorld world;
  TFireBotan peony(world.Env);
  std::int64_t steps = 0;
  for (auto _ : state) {
    peony.Finished = 0;
    while (!peony.Finished) {
      peony.Step();
      ++steps;
    }
  }
  state.counters["steps/cycle"] =
      benchmark::Counter(static_cast<double>(steps) / static_cast<double>(state.iterations()));
  state.counters["writes/s"] =
      benchmark::Counter(static_cast<double>(world.Canvas.Writes()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PeonyBurstCycle)->Unit(benchmark::kMicrosecond);

// The whole show at the default settings, unpaced: slot visits per second.
void BM_WholeShow(benchmark::State& state) {
  TBenchWorld world;
  TFireShow show(world.Env);
  show.ChooseTheme();
  const std::int64_t visits = state.range(0);
  for (auto _ : state) {
    for (std::int64_t n = 0; n < visits; ++n) show.Visit();
  }
  state.SetItemsProcessed(state.iterations() * visits);
  state.counters["writes/s"] =
      benchmark::Counter(static_cast<double>(world.Canvas.Writes()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeShow)->Arg(100000)->Unit(benchmark::kMillisecond);

// A 1920 × 1080 frame with `range(0)` pixels changed since the last present,
// spread over the screen: take the dirty tiles and copy them into the
// window's own image, as the Qt presenter does at every refresh.
void BM_PresentFullHd(benchmark::State& state) {
  constexpr std::int32_t W = 1920, H = 1080;
  TCanvas canvas(W, H);
  std::vector<std::uint32_t> image(static_cast<std::size_t>(W) * H);
  const std::int64_t changed = state.range(0);
  std::uint32_t lcg = 1;
  std::size_t copied = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::int64_t i = 0; i < changed; ++i) {
      lcg = lcg * 22695477u + 1u;
      canvas.SetPixel((lcg >> 8) % W, (lcg >> 20) % H, 0xFFFFFF);
    }
    state.ResumeTiming();
    std::lock_guard<std::mutex> lock(canvas.Mutex());
    for (const TRect& r : canvas.TakeDirty()) {
      const auto width = static_cast<std::size_t>(r.Right - r.Left);
      for (std::int32_t y = r.Top; y < r.Bottom; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * W + static_cast<std::size_t>(r.Left);
        std::memcpy(&image[at], canvas.Pixels() + at, width * sizeof(std::uint32_t));
        copied += width;
      }
    }
    benchmark::DoNotOptimize(image.data());
  }
  state.counters["pixels copied/frame"] =
      benchmark::Counter(static_cast<double>(copied) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PresentFullHd)->Arg(200)->Arg(3300)->Arg(50000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
