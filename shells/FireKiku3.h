#pragma once

#include <array>
#include <cstdint>

#include "shells/Fire.h"

namespace moonglow {

// Chrysanthemum: four concentric rings of different speeds that change
// colour together in four timed phases (white, then three colours drawn per
// burst). When the rocket is shown, three cycles in ten skip it and become a
// fountain: a narrow jet of fast stars thrown up from the bottom edge.
class TFireKiku3 : public TFire {
 public:
  // The seven colours a chrysanthemum table repeats, 0x00BBGGRR.
  static constexpr std::array<TColorRef, 7> Kiku3Colors = {
      0x00FFFFFF,  // white
      0x0000FF00,  // green
      0x0000FFFF,  // yellow
      0x0000FFFF,  // yellow
      0x000000FF,  // red
      0x0000FFFF,  // yellow
      0x00FF0000,  // blue
  };

  explicit TFireKiku3(TShowEnv& env);

  void InitColors() override;
  void NextColor() override;
  void Explode() override;
  void BurstStep() override;
  void FadeStep() override;

  double RingV1 = 0;  // speeds of rings 1..3; ring 0 flies at V0
  double RingV2 = 0;
  double RingV3 = 0;
  // Colour phase p runs from Tick PhaseTicks[p] on and shows colour index
  // PhaseColors[p] (1..7). Phase 0 is always white from the burst on.
  std::array<std::int32_t, 4> PhaseColors{1, 0, 0, 0};
  std::array<std::int32_t, 4> PhaseTicks{};
  bool Fountain = false;  // this cycle is a fountain from the ground

 protected:
  void BeginLaunch() override;

 private:
  void SetUpRingStar(std::int32_t i, std::int32_t angleStep);
  void SetUpFountainStar(std::int32_t i);
};

}  // namespace moonglow
