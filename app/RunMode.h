#pragma once

#include <cstdint>

namespace moonglow {

// What the command line asked the program to do. The values are those the
// screen-saver machinery has always used, so they are stored as written.
enum TRunMode : std::int32_t {
  Preview = 0,         // draw as a child of the preview window given by /p
  Configure = 1,       // the options dialog
  Saver = 2,           // the full-screen saver
  ChangePassword = 3,  // the operating system's change-password dialog
  Debug = -1,          // the saver window without the full-screen set-up
};

const char* RunModeName(TRunMode mode);

// Only the end of a full-screen show ends the first-run state: the settings
// written at the end of this run store FirstRun = 0.
bool EndsFirstRun(TRunMode mode);

}  // namespace moonglow
