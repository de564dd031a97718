#include "show/FireThread.h"

#include <algorithm>
#include <cfenv>
#include <string>

#include "settings/Parse.h"

namespace moonglow {

std::uint64_t DefaultPixelRate(const TEnvironment& env) {
  constexpr std::uint64_t Fallback = 200000;
  const std::string digits = VariableOrEmpty(env, "MOONGLOW_PIXEL_RATE");
  const TScannedInteger rate = ScanInteger(digits);
  if (!rate.Fills(digits.size()) || rate.Magnitude == 0) return Fallback;
  return rate.Magnitude;
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
  FClock.Wake();
  FStateChanged.wait(lock, [this] { return FParked || FEnded; });
}

void TFireThread::Terminate() {
  std::lock_guard<std::mutex> lock(FStateMutex);
  FTerminateRequested = true;
  FTerminating.store(true, std::memory_order_release);
  FClock.Wake();
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
    const std::uint64_t quantum = std::max<std::uint64_t>(3, FPixelRate / QuantaPerSecond);
    std::int64_t base = FClock.NowNanoseconds();
    std::uint64_t owed = 0;
    std::int64_t lastFrame = base - MinFrameNanoseconds;
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
      if (stop) continue;
      if (FEnv.Frames) {
        // Once a quantum when paced; a show run faster than it can be
        // watched still hands on no more frames than a fast display shows.
        const std::int64_t now = FClock.NowNanoseconds();
        if (now - lastFrame >= MinFrameNanoseconds) {
          lastFrame = now;
          FEnv.Frames->FrameDrawn(FEnv.Canvas);
        }
      }
      if (FPixelRate == 0) continue;

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
      // Suspend and Terminate wake the clock, so one sleep to the due time
      // still answers them at once.
      while (now < due && !FAttention.load(std::memory_order_acquire) &&
             !FTerminating.load(std::memory_order_acquire)) {
        FClock.SleepUntil(due);
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
