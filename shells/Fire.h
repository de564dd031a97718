#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "settings/IniFile.h"
#include "show/ShowEnv.h"

namespace moonglow {

// One shell: an optional rocket rising from the bottom edge, a burst of up to
// 500 stars, their flight and their erasure. The show loop calls Step once per
// pass; one Step does the work of one star (or a small batch while erasing), so
// all slots advance side by side, star by star.
//
// Coordinates are shell coordinates: x to the right from the left edge, y up
// from the bottom edge; a point is drawn at window row Height − y. Positions in
// pixels, speeds in pixels per simulated second, Dt in seconds.
//
// Fields are public on purpose: the kinds and the tests work on them directly.
class TFire {
 public:
  static constexpr std::int32_t MaxStars = 500;
  static constexpr std::int32_t MaxTrail = 600;

  enum TState : std::int32_t {
    Launch = -1,     // StartLaunch sets up the rocket
    Rising = -2,     // RiseStep moves and draws the rocket
    TrailFade = -3,  // TrailFadeStep erases the rocket's trail
    Burst = 1,       // Explode sets up the stars
    Burning = 2,     // BurstStep moves and draws one star per call
    Fading = 3,      // FadeStep erases the burst, then Finished
  };

  // Reseeds env.Random with env.SeedCounter (then +1) and reads the size of
  // env.Canvas and the global physics settings.
  explicit TFire(TShowEnv& env);
  virtual ~TFire() = default;
  TFire(const TFire&) = delete;
  TFire& operator=(const TFire&) = delete;

  virtual void InitColors() = 0;
  virtual void NextColor() = 0;
  virtual void Explode() = 0;
  virtual void BurstStep() = 0;
  virtual void FadeStep() = 0;
  // One visit of the show loop: the launch phases when the rocket is shown,
  // then Explode, BurstStep or FadeStep by State, then Tick += 1.
  void Step();

  // A random integer 1..n (n = 0 counts as 1), as a 16-bit value.
  std::int16_t RandomUpTo(std::int32_t n);
  // Colors[index] at shell point (x, y); three pixels when BigSeed = 1.
  void PlotStar(std::int32_t x, std::int32_t y, std::int32_t index);
  // The trail-slot permutation: each star visits slots 0..n−1 once per n calls.
  void InitOrder(std::int16_t n);
  std::int16_t NextOrder(std::int32_t star);
  // The slot NextOrder(star) will answer next, without moving on.
  std::int16_t PeekOrder(std::int32_t star) const;
  // Cache hints, which change nothing that is drawn. The show steps each
  // shell in turn, so a star's next step comes several visits after its
  // neighbour's; asking for its memory meanwhile saves waiting for it then.
  // Star j's next step: the trail cell it will erase and the line it will be
  // drawn on, give or take a pixel.
  void PrefetchStep(std::int32_t j) const;
  // The line of the point star j's next step erases. Its trail cell must be
  // asked for a step earlier (PrefetchStep), as it is read here.
  void PrefetchErase(std::int32_t j) const;
  // One time step of the star at Cursor, with and without air resistance.
  void Integrate();
  void FreeFall();
  // FreeFall's arithmetic without its speed update, then a random kick of
  // `kick` times the star's launch speed. The two components of the kick take
  // separately drawn angles, so it is not a unit direction. Speed keeps the
  // launch speed for the whole burst: it is read here, never written.
  void KickedFreeFall(long double kick);
  // The trail slot for the current Tick: Tick mod TrailLen, never negative.
  std::int32_t TrailSlot() const;

  // This burst as the trace tells of it.
  TBurstRecord BurstRecord() const;

  // The kind's parameter block in the settings record.
  const TFireParam& Param() const { return *FParam; }

  // Steps of Explode that the kinds share.
  // Star size for a burst: SeedSize 2 draws RandomUpTo(1000) > 500.
  void ChooseBigSeed();
  // A preview draws in a window a few inches wide: quarter the burst's
  // lifetime and speed.
  void ScaleForPreview();
  // A burst of no stars (SeedCount 1 in a hand-edited file) has no angle step
  // to spread them round the circle: report it and let the fade close the
  // cycle. Returns true when Explode must stop here.
  bool StopEmptyBurst();
  // Star i of a burst spread round the circle: Speed[i] = speed, its
  // velocity in the direction Angle, its place (x, y) (the burst point when
  // not given) recorded in trail slot 0; then Angle turns on by `angleStep`
  // and up to DNoise degrees more.
  void SetUpSpreadStar(std::int32_t i, float speed, std::int32_t angleStep);
  void SetUpSpreadStar(std::int32_t i, float speed, std::int32_t angleStep, float x, float y);
  // The stars are set up: Tick 0, Burning, and tell the trace.
  void StartBurning();
  // The fade has erased everything: ready for the next cycle, and tell the
  // show this one is over.
  void EndCycle();

  TShowEnv& Env;
  TMyIniFile& Settings;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  TState State = Burst;
  std::int32_t Tick = 0;
  double Gravity = 0;
  double Dt = 0;
  double Drag = 0;
  double V0 = 0;
  float Speed[MaxStars] = {};
  float VX[MaxStars] = {};
  float VY[MaxStars] = {};
  float X[MaxStars] = {};
  float Y[MaxStars] = {};
  // The trail ring: the point each star left in each slot, (0, 0) where it
  // never left one. Stale points of an earlier burst stay until overwritten,
  // as the fades rely on. Kept as rows grown only as far as a burst writes,
  // so a shell holds what its star count and trail length need rather than
  // the largest ring the settings allow. k < MaxTrail, j < MaxStars.
  float TrailXAt(std::int32_t k, std::int32_t j) const {
    const auto& row = FTrail[static_cast<std::size_t>(k)];
    return static_cast<std::size_t>(j) < row.size() ? row[static_cast<std::size_t>(j)].X : 0.0f;
  }
  float TrailYAt(std::int32_t k, std::int32_t j) const {
    const auto& row = FTrail[static_cast<std::size_t>(k)];
    return static_cast<std::size_t>(j) < row.size() ? row[static_cast<std::size_t>(j)].Y : 0.0f;
  }
  void SetTrail(std::int32_t k, std::int32_t j, float x, float y) {
    TTrailPoint& p = TrailCell(k, j);
    p.X = x;
    p.Y = y;
  }
  void SetTrailX(std::int32_t k, std::int32_t j, float x) { TrailCell(k, j).X = x; }
  // Bytes the trail ring holds now.
  std::size_t TrailBytes() const;
  std::int32_t BigSeed = 0;
  std::int32_t SeedNum = 0;
  std::int32_t TrailLen = 0;
  double Lifetime = 0;
  std::array<TColorRef, 256> Colors{};
  double ColorIndex = 0;
  std::int16_t Order[MaxStars] = {};
  std::int16_t OrderSpan = 0;
  std::int16_t OrderCount = 0;
  double BurstX = 0;
  double BurstY = 0;
  std::int32_t Index = 0;
  double Angle = 0;
  std::int32_t FadeSweeps = 0;
  std::int32_t Cursor = 0;
  std::int32_t Slot = 0;
  const char* KindName = "";
  bool Finished = false;  // a cycle has ended; the show clears it to run the next

 protected:
  // The kind's constructor tail: name, time step, colours, first state.
  void SetUpKind(const char* kindName, const TFireParam& param);
  // The Launch phase of Step: the rocket's set-up, unless a kind sends some
  // cycles up another way.
  virtual void BeginLaunch();
  // Tells the trace that Explode has set up (or given up on) this burst.
  void TraceBurst();

 private:
  struct TTrailPoint {
    float X = 0, Y = 0;
  };
  TTrailPoint& TrailCell(std::int32_t k, std::int32_t j) {
    auto& row = FTrail[static_cast<std::size_t>(k)];
    if (static_cast<std::size_t>(j) >= row.size()) GrowTrailRow(row, j);
    return row[static_cast<std::size_t>(j)];
  }
  void GrowTrailRow(std::vector<TTrailPoint>& row, std::int32_t j);
  // Prefetch for a coming PlotStar(Trunc(x), Trunc(y), ...).
  void PrefetchPoint(float x, float y) const;

  const TFireParam* FParam = nullptr;
  std::array<std::vector<TTrailPoint>, MaxTrail> FTrail;
};

}  // namespace moonglow
