#pragma once

#include <cstdint>
#include <memory>

#include "show/ShowEnv.h"

namespace moonglow {

class TFire;

// The five shell kinds.
enum class TFireKind : std::int32_t { Kiku, Kiku3, Botan, Hiyuusei, Hachi };

// A new shell of `kind`; its constructor reseeds env.Random.
std::unique_ptr<TFire> NewFire(TFireKind kind, TShowEnv& env);

}  // namespace moonglow
