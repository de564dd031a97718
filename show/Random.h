#pragma once

#include <cstdint>

namespace moonglow {

// The show's random source: a linear congruential generator that belongs to
// this program, so a seed gives the same show on every platform. One lives in
// each show; a fresh one starts at state 1.
class TRandom {
 public:
  // One value 0..32767.
  std::int32_t Draw() {
    State = State * 22695477u + 1u;
    return static_cast<std::int32_t>((State >> 16) & 0x7FFF);
  }
  void Seed(std::uint32_t s) { State = s; }
  std::uint32_t State = 1;
};

}  // namespace moonglow
