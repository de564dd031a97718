#pragma once

#include <cstdint>

#include "shells/Fire.h"

namespace moonglow {

// The peony: points of light without tails. A core of slower stars in one
// colour, outer stars in another, and in about three bursts in ten an extra
// elliptical ring (sometimes two crossed ones). When its time is up the stars
// stop and vanish one at a time in scrambled order.
class TFireBotan : public TFire {
 public:
  explicit TFireBotan(TShowEnv& env);

  void InitColors() override;
  void NextColor() override;
  void Explode() override;
  void BurstStep() override;
  void FadeStep() override;

  double CoreSpeed = 0;                   // a third of V0: the bound between core and outer stars
  std::int32_t SeedColor[MaxStars] = {};  // colour index per star, fixed at the burst
};

}  // namespace moonglow
