#pragma once

#include "settings/OptDlgModel.h"

namespace moonglow {

// A value of its own in every control of the options dialog, one its box
// shows and the file's rules read back unchanged: what the front ends' tests
// carry from their widgets to the file.
inline TControlValues DistinctControls() {
  TControlValues values{};
  for (std::size_t i = 0; i < ControlCount; ++i) {
    const TControlDef& c = ControlTable()[i];
    const int n = static_cast<int>(i);
    values[i] = c.Kind == TControlKind::SpinBox  ? c.Max - c.Step * (1 + n % 3)
                : c.Kind == TControlKind::Slider ? 10 * (n % 11)
                                                 : n % (c.Max + 1);
  }
  return values;
}

}  // namespace moonglow
