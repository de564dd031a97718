#include "posix/Module.h"

#include <dlfcn.h>

#include <system_error>

namespace moonglow {

std::vector<std::filesystem::path> ModulePlaces(const std::filesystem::path& executable,
                                                const std::string& name,
                                                const std::filesystem::path& installedDir) {
  const std::filesystem::path folder = executable.parent_path();
  return {folder / name, (folder / installedDir / name).lexically_normal()};
}

void* OpenModule(const std::string& name, const std::filesystem::path& installedDir,
                 std::string& problem) {
  // The executable's own file, with every link resolved: the copy that
  // xscreensaver's folder links to finds its module where the real one does.
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::vector<std::filesystem::path> places =
      error ? std::vector<std::filesystem::path>{installedDir / name}
            : ModulePlaces(executable, name, installedDir);
  // The first place that has the file is the one whose failure is told; with
  // none, the last place's "no such file".
  std::filesystem::path tried = places.back();
  for (const std::filesystem::path& place : places) {
    if (std::filesystem::exists(place, error)) {
      tried = place;
      break;
    }
  }
  if (void* module = ::dlopen(tried.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
  const char* why = ::dlerror();
  // The loader's reason names the file it tried.
  problem = "cannot load " + name + ": " + (why ? why : tried.string());
  return nullptr;
}

void* ModuleSymbol(void* module, const std::string& name, const char* symbol,
                   std::string& problem) {
  ::dlerror();
  if (void* address = ::dlsym(module, symbol)) return address;
  const char* why = ::dlerror();
  problem = name + " has no " + symbol + ": " + (why ? why : "unknown error");
  return nullptr;
}

}  // namespace moonglow
