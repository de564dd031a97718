#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace moonglow {

// The places a module of the program is looked for, first to last: beside
// `executable` (the build tree), then in `installedDir`, which is taken from
// the executable's folder unless it is absolute (the installed program).
std::vector<std::filesystem::path> ModulePlaces(const std::filesystem::path& executable,
                                                const std::string& name,
                                                const std::filesystem::path& installedDir);

// Loads the module `name` from the first of its places that holds it, with
// every symbol bound at once, and returns the loader's handle; it stays
// loaded for the rest of the process. Null when none loads, with `problem`
// saying which file failed and the loader's reason.
void* OpenModule(const std::string& name, const std::filesystem::path& installedDir,
                 std::string& problem);

// The module's symbol `symbol`; null with `problem` set when it has none.
void* ModuleSymbol(void* module, const std::string& name, const char* symbol, std::string& problem);

}  // namespace moonglow
