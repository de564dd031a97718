#pragma once

// The Qt front end is a module of its own (QtModuleName), loaded only by the
// runs that take it, so a run that never uses Qt never loads its libraries.
// This header is all the program and the module share, and has no Qt.

#include "app/Entry.h"

namespace moonglow {

class TEndSignals;

// What the program has made before it chose the Qt front end.
struct TQtRun {
  int Argc;
  char** Argv;
  IPlatform* Platform;
  const TProcessIo* Io;
  const TEndSignals* EndSignals;
};

// The module's one exported function: runs the entry sequence on Qt and
// returns the exit code.
using TQtMain = int (*)(const TQtRun* run);
constexpr const char* QtModuleName = "moonglow-qt.so";
constexpr const char* QtMainSymbol = "moonglow_qt_main";

}  // namespace moonglow

extern "C" int moonglow_qt_main(const moonglow::TQtRun* run);
