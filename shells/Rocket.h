#pragma once

#include "shells/Fire.h"

namespace moonglow {

// The rocket a shell sends up before its burst when its kind's DrawLaunch is
// set: two points rising from the bottom edge near the middle of the screen,
// each leaving a 350-point trail that thins out as it climbs. Step runs these
// in the states Launch, Rising and TrailFade.

// Launch: the rocket's column, speed and a fall-back burst point; then Rising.
void StartLaunch(TFire& fire);

// Rising: moves and draws the point at Cursor, erasing one scrambled earlier
// trail point. At the peak (or when the rise times out) the burst point is set
// and the state turns to TrailFade.
void RiseStep(TFire& fire);

// TrailFade: erases one scrambled trail point of each rising point a call,
// sweep after sweep until the whole trail has gone; then Burst.
void TrailFadeStep(TFire& fire);

}  // namespace moonglow
