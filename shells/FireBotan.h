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

 private:
  // The steps of Explode. The burst point (unless the rocket set it), star
  // count, lifetime and speed.
  void SetUpBurst();
  // The extra ring: the first quarter of the stars, in colour `color`, at V0
  // on an ellipse of axes a and b turned by `tilt` degrees; a crossed ring
  // turns every other star a further quarter turn.
  void SetUpRingStars(std::int32_t color, std::int32_t tilt, double a, double b, bool crossed);
  // Star i of the rest: an outer star every fifth, a core star every seventh
  // (unless also fifth), else one slower at random; colour k or k + 1.
  void SetUpMainStar(std::int32_t i, std::int32_t k, std::int32_t angleStep);
};

}  // namespace moonglow
