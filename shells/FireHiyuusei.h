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

  // One time step of the star at Cursor: free fall and a kick of a tenth of
  // its launch speed.
  void Drift();
};

}  // namespace moonglow
