#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "settings/Environment.h"
#include "show/Clock.h"
#include "show/Show.h"
#include "show/ShowEnv.h"

namespace moonglow {

// Pixel writes per second the show thread keeps to: MOONGLOW_PIXEL_RATE in
// `env` when it is set to a positive whole number, else 200,000.
std::uint64_t DefaultPixelRate(const TEnvironment& env);

// The show thread. Created suspended; Resume starts it. Suspension is
// cooperative: Suspend returns only once the thread is parked between two slot
// visits, after which it writes no pixel and reads no setting until resumed.
// The thread wakes every other display frame to draw that stretch's share of
// the writes, then tells the env's frame sink, if any; Suspend and Terminate
// cut its sleep short, so either is answered within one quantum of drawing.
// Terminate ends it: a parked thread ends at its park point without touching
// the canvas or the settings again. The destructor terminates and joins.
class TFireThread {
 public:
  // `pixelRate` pixel writes per second (0: unpaced). The palette is built here.
  TFireThread(TShowEnv& env, IClock& clock, std::uint64_t pixelRate);
  ~TFireThread();
  TFireThread(const TFireThread&) = delete;
  TFireThread& operator=(const TFireThread&) = delete;

  void Resume();
  void Suspend();
  void Terminate();
  // Waits for the thread body to return (after Terminate).
  void WaitFor();

  bool Done() const { return FDone.load(std::memory_order_acquire); }
  TFireShow& Show() { return FShow; }

 private:
  void Execute();
  // Parks while suspended; returns false when termination was requested.
  bool Checkpoint(std::unique_lock<std::mutex>& canvasLock);

  // One write per nanosecond is as fast as pacing can express.
  static constexpr std::uint64_t MaxPixelRate = 1000000000;
  // Work quanta per second, and so frames: one every other frame of a 60 Hz
  // display. Each wake-up, and each frame the display server copies, costs
  // more than the few thousand writes drawn for it; at half the display's rate
  // the show costs the machine less than the lightest saver of its kind, and
  // its stars, which leave their trails behind them, still move evenly.
  static constexpr std::uint64_t QuantaPerSecond = 30;
  // The canvas is let go at least this often, whatever the shells draw.
  static constexpr std::uint64_t MaxVisitsPerQuantum = 16384;
  static constexpr std::int64_t MaxLagNanoseconds = 250000000;
  // Frames go to the env's sink at most this often: half a quantum, so that a
  // paced quantum that ends a little early still hands on its frame.
  static constexpr std::int64_t MinFrameNanoseconds = 1000000000 / QuantaPerSecond / 2;

  TShowEnv& FEnv;
  IClock& FClock;
  std::uint64_t FPixelRate;
  TFireShow FShow;
  std::mutex FStateMutex;
  std::condition_variable FStateChanged;
  bool FSuspendRequested = true;
  bool FParked = false;
  bool FTerminateRequested = false;
  bool FEnded = false;                    // the thread body has returned
  std::atomic<bool> FAttention{true};     // a suspend is pending
  std::atomic<bool> FTerminating{false};  // checked before each pass
  std::atomic<bool> FDone{false};
  std::thread FThread;
};

}  // namespace moonglow
