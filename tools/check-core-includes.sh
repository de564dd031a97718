#!/bin/sh
# Keeps the portable core portable and its layers pointing one way.
#
# 1. The core includes only the standard library: any header of a toolkit or
#    an operating system there is a mistake.
# 2. A lower layer never includes a higher one. The layers, lowest first:
#      1 settings          settings/*
#      2 show primitives   show/Random.h, show/Palette.*, show/Canvas.*,
#                          show/Clock.*, show/ShowEnv.h (with the pacing
#                          write), show/Trace.*
#      3 shells            shells/*
#      4 show loop/thread  show/Show.*, show/FireThread.*, show/Headless.*
#      5 app               app/*
#    The front ends (qt/, wayland/, win32/, and posix/ which the Linux ones
#    share) sit above them all and may include any of them. A new file in show/ must be given its layer here.
#
# Usage: check-core-includes.sh [ROOT]   (ROOT: the source tree, default this one)
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

bad=$(grep -n '#include' app/*.h app/*.cpp settings/*.h settings/*.cpp \
  show/*.h show/*.cpp shells/*.h shells/*.cpp |
  grep -v -E '#include "(app|settings|show|shells)/[A-Za-z0-9_]+\.h"' |
  grep -v -E '#include <(algorithm|array|atomic|bit|cassert|cerrno|cfenv|charconv|chrono|climits|cmath|condition_variable|cstddef|cstdint|cstdio|cstdlib|cstring|ctime|exception|filesystem|fstream|functional|initializer_list|iomanip|ios|iosfwd|istream|iterator|limits|map|memory|mutex|new|numeric|optional|ostream|random|set|span|sstream|stdexcept|string|string_view|system_error|thread|tuple|type_traits|unordered_map|utility|variant|vector)>')
if [ -n "$bad" ]; then
  echo "core files include headers outside the standard library:"
  echo "$bad"
  exit 1
fi
echo "core includes: standard library only"

# The layer of a core file, by its path from the root; 0 when it has none.
layer_of() {
  case $1 in
    settings/*) echo 1 ;;
    show/Random.h | show/Palette.h | show/Palette.cpp | show/Canvas.h | show/Canvas.cpp | \
      show/Clock.h | show/Clock.cpp | show/ShowEnv.h | show/Trace.h | show/Trace.cpp) echo 2 ;;
    shells/*) echo 3 ;;
    show/Show.h | show/Show.cpp | show/FireThread.h | show/FireThread.cpp | show/Headless.h | \
      show/Headless.cpp) echo 4 ;;
    app/*) echo 5 ;;
    *) echo 0 ;;
  esac
}

layer_name() {
  case $1 in
    1) echo "settings" ;;
    2) echo "show primitives" ;;
    3) echo "shells" ;;
    4) echo "show loop" ;;
    5) echo "app" ;;
  esac
}

failed=0
for file in app/*.h app/*.cpp settings/*.h settings/*.cpp show/*.h show/*.cpp \
  shells/*.h shells/*.cpp; do
  [ -f "$file" ] || continue
  own=$(layer_of "$file")
  if [ "$own" -eq 0 ]; then
    echo "$file: in no layer (give it one in tools/check-core-includes.sh)"
    failed=1
    continue
  fi
  for header in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
    theirs=$(layer_of "$header")
    if [ "$theirs" -eq 0 ]; then
      echo "$file: includes $header, which is in no layer"
      failed=1
    elif [ "$theirs" -gt "$own" ]; then
      echo "$file ($(layer_name "$own")): includes $header ($(layer_name "$theirs")), a higher layer"
      failed=1
    fi
  done
done
if [ "$failed" -ne 0 ]; then
  echo "core layers: a lower layer includes a higher one"
  exit 1
fi
echo "core layers: every include points down"
