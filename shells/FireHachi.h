#pragma once

#include <cstdint>

#include "shells/Fire.h"

namespace moonglow {

// Bees: stars that move like flying stars with twice the kick, and are drawn
// a few pixels off their true position in a direction that turns by 30
// degrees a step, so each traces small loops as it buzzes along.
class TFireHachi : public TFire {
 public:
  explicit TFireHachi(TShowEnv& env);

  void InitColors() override;
  void NextColor() override;
  void Explode() override;
  void BurstStep() override;
  void FadeStep() override;

  // One time step of the star at Cursor: the flying stars' drift with a
  // kick of a fifth of its launch speed.
  void Drift();

  // Each star's whirl angle in degrees.
  double Spin[MaxStars] = {};
};

}  // namespace moonglow
