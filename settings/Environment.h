#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace moonglow {

// The process environment as the program sees it: the value of a variable, or
// nothing when it is unset. Whatever depends on a variable is given one, so
// it can be tried on any environment without touching the process's own; an
// empty one reads as if no variable were set.
using TEnvironment = std::function<std::optional<std::string>(std::string_view name)>;

// The process's own environment, read when asked. The only reader of it: the
// front ends' entry points hand it to everything else.
TEnvironment ProcessEnvironment();

// The value of `name` in `env`, empty when it is unset or `env` is empty.
std::string VariableOrEmpty(const TEnvironment& env, std::string_view name);

}  // namespace moonglow
