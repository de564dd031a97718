#include "show/FireThread.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "settings/IniFile.h"
#include "shells/Fire.h"
#include "shells/Kinds.h"

namespace moonglow {

namespace {

struct TThemeInfo {
  const char* Name;
  std::int32_t BudgetBase;  // launches of a theme: this plus 0..4
};

constexpr TThemeInfo Themes[5] = {
    {"AllCast", 20}, {"Shidare", 10}, {"Hanaichi", 25}, {"Botan", 25}, {"Ranbu", 20},
};

std::int32_t ThemeWeight(const TMyIniFile& settings, std::int32_t theme) {
  switch (theme) {
    case 0:
      return settings.AllCastPer;
    case 1:
      return settings.ShidarePer;
    case 2:
      return settings.HanaichiPer;
    case 3:
      return settings.BotanPer;
    case 4:
      return settings.RanbuPer;
  }
  return 0;
}

// The settings record keeps FireCount within the slot table; a record built
// by hand must not take the loop past it.
std::int32_t SlotCount(const TMyIniFile& settings) {
  return std::clamp(settings.FireCount, 1, TFireShow::MaxSlots);
}

}  // namespace

const char* ThemeName(TTheme theme) {
  const auto t = static_cast<std::int32_t>(theme);
  return t >= 0 && t < 5 ? Themes[t].Name : "?";
}

TFireShow::TFireShow(TShowEnv& env) : Env(env) { BuildPalette(Env.Palette); }

TFireShow::~TFireShow() = default;

void TFireShow::ChooseTheme() {
  TMyIniFile& settings = Env.Settings;
  if (settings.FirstRun) {
    // The very first show opens with weeping willows.
    settings.FirstRun = false;
    StartTheme(TTheme::Shidare);
    return;
  }
  std::int64_t most = 0;
  for (std::int32_t t = 0; t < 5; ++t)
    most = std::max<std::int64_t>(most, ThemeWeight(settings, t));
  Env.Random.Seed(ThemeSeed);
  ThemeSeed += 1u;
  // A theme qualifies when its weight reaches a threshold drawn once; among
  // those that qualify each is about equally likely.
  const std::int64_t threshold = Env.Random.Draw() % (most + 1);
  std::int32_t theme;
  do {
    theme = Env.Random.Draw() % 50 / 10;
  } while (ThemeWeight(settings, theme) < threshold);
  StartTheme(static_cast<TTheme>(theme));
}

void TFireShow::StartTheme(TTheme theme) {
  LiveShells = 0;
  const auto t = static_cast<std::int32_t>(theme);
  if (t < 0 || t >= 5) return;
  LaunchesLeft = Env.Random.Draw() % 5 + Themes[t].BudgetBase;
  if (Env.Trace) Env.Trace->Theme(Themes[t].Name, LaunchesLeft);
  const std::int32_t count = SlotCount(Env.Settings);
  for (std::int32_t i = 0; i < count; ++i) {
    // Each shell reseeds the generator, so the draw for the next slot's kind
    // follows from the previous shell's seed.
    TFireKind kind = TFireKind::Botan;
    switch (theme) {
      case TTheme::AllCast: {
        const std::int32_t n = Env.Random.Draw() % 100;
        kind = n < 20   ? TFireKind::Kiku
               : n < 40 ? TFireKind::Kiku3
               : n < 60 ? TFireKind::Botan
               : n < 80 ? TFireKind::Hiyuusei
                        : TFireKind::Hachi;
        break;
      }
      case TTheme::Shidare:
        kind = TFireKind::Kiku;
        break;
      case TTheme::Hanaichi:
        kind = Env.Random.Draw() % 100 < 50 ? TFireKind::Kiku3 : TFireKind::Botan;
        break;
      case TTheme::Botan:
        kind = TFireKind::Botan;
        break;
      case TTheme::Ranbu:
        kind = Env.Random.Draw() % 100 < 50 ? TFireKind::Hiyuusei : TFireKind::Hachi;
        break;
    }
    Slots[i] = NewFire(kind, Env);
    LiveShells += 1;
  }
}

bool TFireShow::Visit() {
  if (PassSlot >= SlotCount(Env.Settings)) PassSlot = 0;
  const std::int32_t i = PassSlot;
  Env.VisitingSlot = i;
  std::unique_ptr<TFire>& shell = Slots[i];
  if (!shell) {
    Env.Pace();
  } else if (shell->Finished == 1) {
    LaunchesLeft -= 1;
    if (LaunchesLeft > 0) {
      shell->Finished = 0;
    } else {
      shell.reset();
      LiveShells -= 1;
      // The last shell of the theme is gone: the next theme refills every
      // slot, and this pass goes on with the new shells.
      if (LiveShells < 1) ChooseTheme();
    }
  } else {
    shell->Step();
  }
  PassSlot = i + 1;
  if (PassSlot >= SlotCount(Env.Settings)) {
    PassSlot = 0;
    return true;
  }
  return false;
}

void TFireShow::FreeShells() {
  for (auto& shell : Slots) shell.reset();
}

std::uint64_t DefaultPixelRate() {
  constexpr std::uint64_t Fallback = 200000;
  const char* text = std::getenv("MOONGLOW_PIXEL_RATE");
  if (!text || !*text) return Fallback;
  std::uint64_t rate = 0;
  const char* end = text + std::strlen(text);
  const auto [ptr, ec] = std::from_chars(text, end, rate);
  if (ec != std::errc() || ptr != end || rate == 0) return Fallback;
  return rate;
}

TFireThread::TFireThread(TShowEnv& env, IClock& clock, std::uint64_t pixelRate)
    : FEnv(env),
      FClock(clock),
      FPixelRate(std::min<std::uint64_t>(pixelRate, MaxPixelRate)),
      FShow(env),
      FThread([this] { Execute(); }) {}

TFireThread::~TFireThread() {
  Terminate();
  WaitFor();
}

void TFireThread::Resume() {
  std::lock_guard<std::mutex> lock(FStateMutex);
  FSuspendRequested = false;
  FAttention.store(false, std::memory_order_release);
  FStateChanged.notify_all();
}

void TFireThread::Suspend() {
  std::unique_lock<std::mutex> lock(FStateMutex);
  if (FEnded) return;
  FSuspendRequested = true;
  FAttention.store(true, std::memory_order_release);
  FStateChanged.wait(lock, [this] { return FParked || FEnded; });
}

void TFireThread::Terminate() {
  std::lock_guard<std::mutex> lock(FStateMutex);
  FTerminateRequested = true;
  FTerminating.store(true, std::memory_order_release);
  FStateChanged.notify_all();
}

void TFireThread::WaitFor() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

bool TFireThread::Checkpoint(std::unique_lock<std::mutex>& canvasLock) {
  std::unique_lock<std::mutex> lock(FStateMutex);
  if (FSuspendRequested && !FTerminateRequested) {
    // Let the painter in while parked; the caller takes the canvas again.
    if (canvasLock.owns_lock()) canvasLock.unlock();
    FParked = true;
    FStateChanged.notify_all();
    FStateChanged.wait(lock, [this] { return !FSuspendRequested || FTerminateRequested; });
    FParked = false;
  }
  return !FTerminateRequested;
}

void TFireThread::Execute() {
  // The shells' arithmetic must yield infinities and NaNs, never traps.
  std::fenv_t fenv;
  std::feholdexcept(&fenv);

  std::unique_lock<std::mutex> canvasLock(FEnv.Canvas.Mutex(), std::defer_lock);
  if (Checkpoint(canvasLock)) {
    canvasLock.lock();
    FShow.ChooseTheme();

    // Pacing: the show keeps to FPixelRate pixel writes per second. `owed`
    // counts the writes since `base`, folded into whole seconds so it never
    // overflows however long the show runs.
    const std::uint64_t quantum = std::max<std::uint64_t>(3, FPixelRate / 1000);
    std::int64_t base = FClock.NowNanoseconds();
    std::uint64_t owed = 0;
    bool passStart = true;
    bool stop = false;
    while (!stop) {
      if (!canvasLock.owns_lock()) canvasLock.lock();
      const std::uint64_t firstWrite = FEnv.Canvas.Writes();
      std::uint64_t visits = 0;
      for (;;) {
        if (FAttention.load(std::memory_order_acquire)) {
          if (!Checkpoint(canvasLock)) {
            stop = true;
            break;
          }
          if (!canvasLock.owns_lock()) {
            // Resumed after a park: take the canvas back and start pacing
            // afresh, so the show does not rush to make up the pause.
            canvasLock.lock();
            base = FClock.NowNanoseconds();
            owed = 0;
          }
        }
        // Termination is tested before each pass, never within one.
        if (passStart && FTerminating.load(std::memory_order_acquire)) {
          stop = true;
          break;
        }
        passStart = FShow.Visit();
        ++visits;
        if (FEnv.Canvas.Writes() - firstWrite >= quantum || visits >= MaxVisitsPerQuantum) break;
      }
      const std::uint64_t written = FEnv.Canvas.Writes() - firstWrite;
      if (canvasLock.owns_lock()) canvasLock.unlock();
      if (stop || FPixelRate == 0) continue;

      // A stretch of visits that draw nothing still costs time, so the loop
      // never spins a core flat out.
      owed += std::max<std::uint64_t>(written, visits / 8);
      while (owed >= FPixelRate) {
        owed -= FPixelRate;
        base += 1000000000;
      }
      const std::int64_t due = base + static_cast<std::int64_t>(owed * 1000000000u / FPixelRate);
      std::int64_t now = FClock.NowNanoseconds();
      if (now - due > MaxLagNanoseconds) {
        // Far behind (a slow machine or a stall): drop the debt.
        base = now;
        owed = 0;
        continue;
      }
      // Sleep in short pieces so a suspend request is answered promptly.
      while (now < due && !FAttention.load(std::memory_order_acquire)) {
        FClock.SleepUntil(std::min(due, now + MaxSleepNanoseconds));
        now = FClock.NowNanoseconds();
      }
    }
  }
  if (canvasLock.owns_lock()) canvasLock.unlock();
  FShow.FreeShells();
  {
    std::lock_guard<std::mutex> lock(FStateMutex);
    FEnded = true;
    FStateChanged.notify_all();
  }
  FDone.store(true, std::memory_order_release);
}

}  // namespace moonglow
