#include <iostream>
#include <string>
#include <vector>

#include "app/Entry.h"
#include "qt/EndSignals.h"
#include "qt/LinuxPlatform.h"
#include "qt/QtToolkit.h"

int main(int argc, char* argv[]) {
  // First of all, before the application object: a saver host may stop the
  // saver at any moment, even while it is starting.
  const moonglow::TEndSignals endSignals;
  moonglow::TLinuxPlatform platform;
  moonglow::TProcessIo io;
  io.Environment = moonglow::ProcessEnvironment();
  moonglow::TQtToolkit toolkit(argc > 0 ? argv[0] : nullptr, platform, io.Environment, &endSignals);
  io.Out = &std::cout;
  io.Err = &std::cerr;
  return moonglow::RunEntry(std::vector<std::string>(argv, argv + argc), platform, toolkit, io);
}
