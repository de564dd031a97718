#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings/Environment.h"

namespace moonglow::testing {

// An environment that holds `variables` and nothing else.
inline TEnvironment EnvironmentOf(std::map<std::string, std::string, std::less<>> variables) {
  return [variables = std::move(variables)](std::string_view name) -> std::optional<std::string> {
    const auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
  };
}

}  // namespace moonglow::testing
