#include "app/RunMode.h"

namespace moonglow {

const char* RunModeName(TRunMode mode) {
  switch (mode) {
    case Preview:
      return "Preview";
    case Configure:
      return "Configure";
    case Saver:
      return "Saver";
    case ChangePassword:
      return "ChangePassword";
    case Debug:
      return "Debug";
  }
  return "?";
}

bool EndsFirstRun(TRunMode mode) { return mode == Saver; }

}  // namespace moonglow
