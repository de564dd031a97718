// Benchmarks of the show engine: one burst cycle of each kind at the default
// and at the heaviest settings, the whole show, and the presenter's share of
// the work (taking the dirty tiles of a full-HD frame and copying them out).

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Present.h"
#include "shells/Fire.h"
#include "shells/Kinds.h"
#include "show/Headless.h"

namespace {

using namespace moonglow;

// The default settings with the first run over, and no trace to keep.
struct TBenchWorld : THeadlessShow {
  TBenchWorld() : THeadlessShow({.Seed = 12345u, .Trace = false}) { Settings.FirstRun = false; }
};

// One burst cycle of kind range(0), from Explode (or the rocket's launch
// when the kind shows one) to the end of its fade. range(1) = 1 runs the
// heaviest settings a settings file allows for the stars and trails: 500
// stars, 599 trail points.
void BM_BurstCycle(benchmark::State& state) {
  TBenchWorld world;
  const auto kind = static_cast<TFireKind>(state.range(0));
  if (state.range(1) == 1) {
    for (TFireParam* p : {&world.Settings.Kiku, &world.Settings.Kiku3, &world.Settings.Botan,
                          &world.Settings.Hiyuusei, &world.Settings.Hachi}) {
      p->SeedCount = 500;
      p->FireLength = 599;
    }
  }
  std::unique_ptr<TFire> shell = NewFire(kind, world.Env);
  std::int64_t steps = 0;
  for (auto _ : state) {
    shell->Finished = false;
    while (!shell->Finished) {
      shell->Step();
      ++steps;
    }
  }
  state.SetLabel(std::string(shell->KindName) + (state.range(1) == 1 ? " heaviest" : " default"));
  state.counters["steps/cycle"] =
      benchmark::Counter(static_cast<double>(steps) / static_cast<double>(state.iterations()));
  state.counters["writes/s"] =
      benchmark::Counter(static_cast<double>(world.Canvas.Writes()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BurstCycle)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMillisecond);

// The whole show at the default settings, unpaced: slot visits per second.
void BM_WholeShow(benchmark::State& state) {
  TBenchWorld world;
  world.Start();
  const std::int64_t visits = state.range(0);
  for (auto _ : state) world.Run(static_cast<std::uint64_t>(visits));
  state.SetItemsProcessed(state.iterations() * visits);
  state.counters["writes/s"] =
      benchmark::Counter(static_cast<double>(world.Canvas.Writes()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeShow)->Arg(100000)->Unit(benchmark::kMillisecond);

// A 1920 × 1080 frame with `range(0)` pixels changed since the last present,
// spread over the screen: take the dirty rectangles and copy them into the
// window's own image, as the Windows presenter does at every refresh. The
// counters tell how much each frame hands to the toolkit.
void BM_PresentFullHd(benchmark::State& state) {
  constexpr std::int32_t W = 1920, H = 1080;
  TCanvas canvas(W, H);
  std::vector<std::uint32_t> image(static_cast<std::size_t>(W) * H);
  const std::int64_t changed = state.range(0);
  std::uint32_t lcg = 1;
  std::size_t copied = 0, rects = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::int64_t i = 0; i < changed; ++i) {
      lcg = lcg * 22695477u + 1u;
      canvas.SetPixel((lcg >> 8) % W, (lcg >> 20) % H, 0xFFFFFF);
    }
    state.ResumeTiming();
    for (const TRect& r : TakeFrame(canvas, image.data(), W)) {
      ++rects;
      copied +=
          static_cast<std::size_t>(r.Right - r.Left) * static_cast<std::size_t>(r.Bottom - r.Top);
    }
    benchmark::DoNotOptimize(image.data());
  }
  state.counters["pixels copied/frame"] =
      benchmark::Counter(static_cast<double>(copied) / static_cast<double>(state.iterations()));
  state.counters["rectangles/frame"] =
      benchmark::Counter(static_cast<double>(rects) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PresentFullHd)->Arg(200)->Arg(3300)->Arg(50000)->Unit(benchmark::kMicrosecond);

// The first-run show on a full-HD canvas, one frame's writes (a sixtieth of
// a second at the default rate) drawn untimed, then the rectangles taken as a
// presenter does every frame: merged tiles as the Qt painter takes them
// (argument 0) or changed rows as the X11 presenter does (argument 1). The
// cost of taking them, and what they hand on.
void BM_TakeChangesOfTheShow(benchmark::State& state) {
  const bool byRows = state.range(0) != 0;
  THeadlessShow headless({.Width = 1920, .Height = 1080, .Seed = 12345u, .Trace = false});
  TCanvas& canvas = headless.Canvas;
  TFireShow& show = headless.Show;
  headless.Start();
  // Into the show, past the first rockets.
  while (canvas.Writes() < 4000000) show.Visit();
  canvas.TakeDirty();
  std::size_t area = 0, rects = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::uint64_t until = canvas.Writes() + 200000 / 60;
    while (canvas.Writes() < until) show.Visit();
    state.ResumeTiming();
    for (const TRect& r : byRows ? TakeChangedRows(canvas) : TakeChanges(canvas)) {
      ++rects;
      area +=
          static_cast<std::size_t>(r.Right - r.Left) * static_cast<std::size_t>(r.Bottom - r.Top);
    }
  }
  const auto frames = static_cast<double>(state.iterations());
  state.counters["pixels/frame"] = benchmark::Counter(static_cast<double>(area) / frames);
  state.counters["rectangles/frame"] = benchmark::Counter(static_cast<double>(rects) / frames);
}
BENCHMARK(BM_TakeChangesOfTheShow)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
