#!/bin/sh
# Checks the include check itself on a copy of the core: it passes the tree as
# it is and fails each kind of break it is there to catch.
set -u
src="$(cd "$(dirname "$0")/../.." && pwd)"
check="$src/tools/check-core-includes.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "check-core-includes-test: $*" >&2; exit 1; }

fresh() {
  rm -rf "$dir/tree"
  mkdir "$dir/tree"
  cp -R "$src/app" "$src/settings" "$src/show" "$src/shells" "$dir/tree/"
}

# expect_failure WHAT FILE LINE PATTERN: FILE with LINE added must fail, naming PATTERN.
expect_failure() {
  fresh
  printf '%s\n' "$3" >>"$dir/tree/$2"
  if sh "$check" "$dir/tree" >"$dir/out" 2>&1; then fail "$1 passed"; fi
  grep -q "$4" "$dir/out" || fail "$1: no line naming '$4' in: $(cat "$dir/out")"
}

fresh
sh "$check" "$dir/tree" >"$dir/out" 2>&1 || fail "the tree as it is fails: $(cat "$dir/out")"

expect_failure "settings on app" settings/IniFile.h '#include "app/RunMode.h"' \
  'settings/IniFile.h (settings): includes app/RunMode.h (app)'
expect_failure "primitive on shells" show/Trace.cpp '#include "shells/Fire.h"' \
  'show/Trace.cpp (show primitives): includes shells/Fire.h (shells)'
expect_failure "shells on the show loop" shells/Fire.h '#include "show/Show.h"' \
  'shells/Fire.h (shells): includes show/Show.h (show loop)'
expect_failure "show loop on app" show/FireThread.cpp '#include "app/Main.h"' \
  'show/FireThread.cpp (show loop): includes app/Main.h (app)'
expect_failure "a toolkit header" shells/Fire.cpp '#include <QtGui/QImage>' 'QImage'
expect_failure "an unknown header" shells/Kinds.cpp '#include "show/Nowhere.h"' \
  'show/Nowhere.h, which is in no layer'
fresh
printf '#pragma once\n' >"$dir/tree/show/Stray.h"
if sh "$check" "$dir/tree" >"$dir/out" 2>&1; then fail "a show file in no layer passed"; fi
grep -q 'show/Stray.h: in no layer' "$dir/out" || fail "no line naming show/Stray.h"

# Downward and sideways includes stay allowed.
fresh
printf '#include "settings/IniFile.h"\n#include "show/Canvas.h"\n' >>"$dir/tree/app/Main.cpp"
printf '#include "shells/Numeric.h"\n' >>"$dir/tree/shells/Trail.h"
sh "$check" "$dir/tree" >"$dir/out" 2>&1 || fail "a downward include fails: $(cat "$dir/out")"
echo "check-core-includes-test: ok"
