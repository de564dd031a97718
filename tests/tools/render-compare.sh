#!/bin/sh
# The Windows render tool must draw what the Linux one draws: same trace, same
# PNG, byte for byte, for a few seeds and settings (the first run's defaults, a
# later run with other weights, the preview). A difference means the Windows
# compiler or runtime changed the show's arithmetic.
#
#   render-compare.sh WINE_RUN WINDOWS_TOOL LINUX_TOOL
set -u
wine_run=$1
windows_tool=$2
linux_tool=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "render-compare: $*" >&2; exit 1; }

printf '[Environment]\nFirstRun=0\n[Theme]\nAllCastPer=15\nShidarePer=5\nHanaichiPer=40\nBotanPer=10\nRanbuPer=30\n' \
  >"$dir/weights.ini"

# Both tools run in the scratch folder with relative names: the same
# arguments mean the same files to Linux and to wine.
cd "$dir" || exit 1
n=0
for args in "--seed 11" "--seed 4000000000 --size 211x97" "--seed 12 --ini weights.ini" \
            "--seed 13 --ini weights.ini --preview" "--seed 14 --preview"; do
  n=$((n + 1))
  # shellcheck disable=SC2086
  "$linux_tool" $args --steps 250000 --trace --out "linux-$n.png" >"linux-$n.txt" 2>/dev/null ||
    fail "Linux run '$args' failed"
  # shellcheck disable=SC2086
  "$wine_run" "$windows_tool" $args --steps 250000 --trace --out "windows-$n.png" \
    >"windows-$n.txt" 2>"windows-$n.err" || fail "Windows run '$args' failed: $(cat "windows-$n.err")"
  grep -q '^burst ' "linux-$n.txt" || fail "'$args' traced no burst"
  cmp -s "linux-$n.txt" "windows-$n.txt" ||
    fail "'$args': traces differ: $(diff "linux-$n.txt" "windows-$n.txt" | head -n 4)"
  cmp -s "linux-$n.png" "windows-$n.png" || fail "'$args': PNGs differ"
  echo "same: $args"
done
echo "render-compare: ok"
