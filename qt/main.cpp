#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
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
  moonglow::TQtToolkit toolkit(argc > 0 ? argv[0] : nullptr, platform, &endSignals);
  moonglow::TProcessIo io;
  io.Environment = [](std::string_view name) -> std::optional<std::string> {
    const char* value = std::getenv(std::string(name).c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  };
  io.Out = &std::cout;
  io.Err = &std::cerr;
  return moonglow::RunEntry(std::vector<std::string>(argv, argv + argc), platform, toolkit, io);
}
