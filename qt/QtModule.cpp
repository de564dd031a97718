#include <string>
#include <vector>

#include "qt/QtEntry.h"
#include "qt/QtToolkit.h"

// Everything else in the module is hidden; the program finds this by name.
extern "C" __attribute__((visibility("default"))) int moonglow_qt_main(
    const moonglow::TQtRun* run) {
  const std::vector<std::string> args(run->Argv, run->Argv + run->Argc);
  moonglow::TQtToolkit toolkit(run->Argc > 0 ? run->Argv[0] : nullptr, *run->Platform,
                               run->Io->Environment, run->EndSignals);
  return moonglow::RunEntry(args, *run->Platform, toolkit, *run->Io);
}
