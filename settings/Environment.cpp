#include "settings/Environment.h"

#include <cstdlib>

namespace moonglow {

TEnvironment ProcessEnvironment() {
  return [](std::string_view name) -> std::optional<std::string> {
    const char* value = std::getenv(std::string(name).c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  };
}

std::string VariableOrEmpty(const TEnvironment& env, std::string_view name) {
  if (!env) return {};
  return env(name).value_or(std::string());
}

}  // namespace moonglow
