#!/bin/sh
# Every tracked C++ source and header must be formatted as the committed
# .clang-format says. Lists the files that are not; fix one with
# `clang-format -i FILE`.
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
command -v clang-format >/dev/null 2>&1 || { echo "check-format: clang-format is not installed" >&2; exit 1; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files '*.cpp' '*.h')
else
  # Not a clone (an unpacked archive): the sources outside any build tree.
  files=$(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||' | sort)
fi
[ -n "$files" ] || { echo "check-format: no C++ files found" >&2; exit 1; }

checked=0
off=""
for file in $files; do
  checked=$((checked + 1))
  clang-format --style=file --dry-run -Werror "$file" >/dev/null 2>&1 || off="$off $file"
done
if [ -n "$off" ]; then
  echo "check-format: not formatted as .clang-format says (clang-format -i FILE):"
  for file in $off; do echo "  $file"; done
  exit 1
fi
echo "check-format: $checked files formatted"
