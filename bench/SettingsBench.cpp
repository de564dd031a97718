// Benchmarks of the settings file on huge inputs: a 50 MB file of six million
// short lines read and written in one batch, and 50 MB of binary junk read,
// saved and read again. A scanner that went quadratic would show here first.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "settings/IniFile.h"
#include "settings/ProfileFile.h"

namespace {

using namespace moonglow;
namespace fs = std::filesystem;

fs::path ScratchFile(const char* name) {
  const fs::path dir = fs::temp_directory_path() /
                       ("moonglow-bench-" + std::to_string(std::chrono::steady_clock::now()
                                                               .time_since_epoch()
                                                               .count()));
  fs::create_directories(dir);
  return dir / name;
}

void Spit(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void BM_ShortLines50MbReadAndBatchedWrite(benchmark::State& state) {
  std::string big;
  big.reserve(51 << 20);
  big += "[Environment]\n";
  for (int i = 0; big.size() < (50u << 20); ++i) big += "k" + std::to_string(i % 1000) + "=v\n";
  big += "FireCount=7\n[Theme]\nAllCastPer=12\n";
  const fs::path file = ScratchFile("big.ini");
  for (auto _ : state) {
    state.PauseTiming();
    Spit(file, big);
    state.ResumeTiming();
    TProfileFile ini(file.string());
    benchmark::DoNotOptimize(ini.ReadInteger("Environment", "FireCount", 0));
    ini.BeginUpdate();
    for (int i = 0; i < 20; ++i) {
      ini.WriteInteger("Environment", "FireCount", i);
      ini.WriteInteger("Theme", "New" + std::to_string(i), i);
      ini.WriteInteger("Fresh", "K" + std::to_string(i), i);
    }
    ini.EndUpdate();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(big.size()));
  fs::remove_all(file.parent_path());
}
BENCHMARK(BM_ShortLines50MbReadAndBatchedWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Junk50MbReadSaveRead(benchmark::State& state) {
  std::mt19937 gen(7);
  std::string junk(50u << 20, '\0');
  for (char& c : junk) c = static_cast<char>(gen());
  junk += "\n[Environment]\nFireCount=8\n";
  const fs::path file = ScratchFile("junk.ini");
  for (auto _ : state) {
    state.PauseTiming();
    Spit(file, junk);
    state.ResumeTiming();
    TMyIniFile s(file.string());
    s.ReadSettings();
    s.WriteSettings(true);
    s.ReadSettings();
    benchmark::DoNotOptimize(s.FireCount);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(junk.size()));
  fs::remove_all(file.parent_path());
}
BENCHMARK(BM_Junk50MbReadSaveRead)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
