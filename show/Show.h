#pragma once

#include <cstdint>
#include <memory>

#include "show/ShowEnv.h"

namespace moonglow {

class TFire;

// The themes, numbered as the weights are stored.
enum class TTheme : std::int32_t { AllCast = 0, Shidare = 1, Hanaichi = 2, Botan = 3, Ranbu = 4 };
const char* ThemeName(TTheme theme);

// The show loop without a thread: theme choice, launch budget, the slots and
// one slot visit at a time. The render tool and the tests drive it directly;
// TFireThread runs it on its own thread.
class TFireShow {
 public:
  static constexpr std::int32_t MaxSlots = 10;

  // Builds env.Palette.
  explicit TFireShow(TShowEnv& env);
  ~TFireShow();

  // Picks the next theme by the weights (or Shidare on the first run).
  void ChooseTheme();
  void StartTheme(TTheme theme);

  // One slot visit of the current pass: pace an empty slot, relaunch or free
  // a finished shell, or step a live one. Returns true when this visit ended
  // the pass (the next visit starts a new pass at slot 0).
  bool Visit();

  // Frees every shell (the end of the thread body); reads no setting.
  void FreeShells();

  TShowEnv& Env;
  std::unique_ptr<TFire> Slots[MaxSlots];
  std::int32_t LaunchesLeft = 0;
  std::int32_t LiveShells = 0;
  std::uint32_t ThemeSeed = 1;  // advanced at every weighted theme choice
  std::int32_t PassSlot = 0;    // the slot the next visit works on
};

}  // namespace moonglow
