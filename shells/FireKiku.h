#pragma once

#include "shells/Fire.h"

namespace moonglow {

// Weeping willow: stars spread over a full circle, slow down in the air and
// droop under gravity, each trailing a long tail of recorded points that
// thins out as one scrambled earlier point goes for every point drawn. All
// stars share one colour that drifts through the palette, so a tail carries
// the colour history of its star.
class TFireKiku : public TFire {
 public:
  explicit TFireKiku(TShowEnv& env);

  void InitColors() override;
  void NextColor() override;
  void Explode() override;
  void BurstStep() override;
  void FadeStep() override;
};

}  // namespace moonglow
