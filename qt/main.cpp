#include <string>
#include <vector>

#include "app/Entry.h"
#include "qt/LinuxPlatform.h"
#include "qt/QtToolkit.h"

int main(int argc, char* argv[]) {
  moonglow::TLinuxPlatform platform;
  moonglow::TQtToolkit toolkit(argc > 0 ? argv[0] : nullptr, platform);
  return moonglow::RunEntry(std::vector<std::string>(argv, argv + argc), platform, toolkit);
}
