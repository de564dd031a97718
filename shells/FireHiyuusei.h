#pragma once

#include <cstdint>

#include "shells/Fire.h"

namespace moonglow {

// Flying stars: they leave the burst point in all directions but feel no air
// drag and get a random kick every time step, so each wanders off on a path
// of its own while the burst runs slowly through the palette.
class TFireHiyuusei : public TFire {
 public:
  explicit TFireHiyuusei(TShowEnv& env);

  void InitColors() override;
  void NextColor() override;
  void Explode() override;
  void BurstStep() override;
  void FadeStep() override;

  // One time step of the star at Cursor.
  void Drift();
};

// One time step of the star at Cursor under gravity alone, then a random kick
// of `kick` times the star's launch speed. The two components of the kick
// take separately drawn angles, so it is not a unit direction. Speed keeps
// the launch speed for the whole burst: it is read here, never written.
void DriftStar(TFire& fire, long double kick);

}  // namespace moonglow
