#!/bin/sh
# The portable core includes only the standard library: any header of a
# toolkit or an operating system there is a mistake.
root=$(cd "$(dirname "$0")/.." && pwd)
bad=$(grep -n '#include' "$root"/app/*.h "$root"/app/*.cpp "$root"/settings/*.h "$root"/settings/*.cpp \
  "$root"/show/*.h "$root"/show/*.cpp "$root"/shells/*.h "$root"/shells/*.cpp |
  grep -v -E '#include "(app|settings|show|shells)/[A-Za-z0-9_]+\.h"' |
  grep -v -E '#include <(algorithm|array|atomic|cassert|cerrno|cfenv|charconv|chrono|climits|cmath|condition_variable|cstddef|cstdint|cstdio|cstdlib|cstring|ctime|exception|filesystem|fstream|functional|initializer_list|iomanip|ios|iosfwd|istream|iterator|limits|map|memory|mutex|new|numeric|optional|ostream|random|set|span|sstream|stdexcept|string|string_view|system_error|thread|tuple|type_traits|unordered_map|utility|variant|vector)>')
if [ -n "$bad" ]; then
  echo "core files include headers outside the standard library:"
  echo "$bad"
  exit 1
fi
echo "core includes: standard library only"
