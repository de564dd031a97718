#!/usr/bin/env bash
# The downloads tools/release makes, checked as a user or a distribution
# would check them. Two steps, which tools/test-all runs in its two lanes:
#
#   check-release.sh rebuild DIR
#       Copies the source tree (what git tracks, and new files it does not
#       ignore) to DIR/moonglow and makes the release there, in its own
#       build folders under DIR/builds: a second build in another folder,
#       later, from nothing.
#   check-release.sh check DIR [BUILDS]
#       Makes the release from CI's own build folders (build/, build-win32/,
#       build-win32-i686/, whose tests have run), or from tools/release's
#       folders in BUILDS, into dist/, then checks:
#         - dist/ and the two Windows savers are byte for byte the rebuild's
#           in DIR (diffoscope shows any difference);
#         - lintian finds no error or warning in the package, and
#           hardening-check passes on its program;
#         - the zip holds what it should, its saver is the i686 build that
#           ran the tests under wine, both savers are marked DYNAMIC_BASE and
#           NX_COMPAT, and the i686 one keeps its manifest;
#         - SHA256SUMS matches;
#         - as root, with no moonglow package installed: apt installs the
#           package and purging it leaves none of its files behind.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
mode=${1:-}
dir=${2:-}
first=${3:-}
if [ -z "$dir" ] || { [ "$mode" != rebuild ] && [ "$mode" != check ]; }; then
  echo "usage: check-release.sh rebuild DIR | check DIR [BUILDS]" >&2
  exit 2
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if [ "$mode" = rebuild ]; then
  rm -rf "$dir"
  mkdir -p "$dir/moonglow"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$dir/moonglow") ||
    { echo "FAIL: cannot copy the source tree"; exit 1; }
  # The copy has no git folder of its own: the commit's time comes along.
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct) || exit 1
  export SOURCE_DATE_EPOCH
  start=$SECONDS
  "$dir/moonglow/tools/release" --out "$dir/dist" --builds "$dir/builds" || exit 1
  echo "the rebuild took $((SECONDS - start)) s"
  exit 0
fi

for tool in cmp diffoscope lintian hardening-check unzip x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump \
  i686-w64-mingw32-objcopy sha256sum; do
  command -v "$tool" >/dev/null 2>&1 ||
    { echo "FAIL: $tool is missing (tools/dev names its package)"; exit 1; }
done
[ -d "$dir/dist" ] || { echo "FAIL: no rebuild in $dir (check-release.sh rebuild $dir first)"; exit 1; }

if [ -n "$first" ]; then
  linux=$first/linux win32=$first/win32-i686 win64=$first/win32-x86_64
  "$root/tools/release" --builds "$first" --out "$root/dist" || { echo "FAIL: tools/release"; exit 1; }
else
  linux=$root/build win32=$root/build-win32-i686 win64=$root/build-win32
  "$root/tools/release" --ci-builds --out "$root/dist" || { echo "FAIL: tools/release --ci-builds"; exit 1; }
fi
dist=$root/dist
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Byte for byte the same as the rebuild; diffoscope says where not.
same() {
  if cmp "$1" "$2"; then
    echo "same bytes: ${1#"$root"/}"
  else
    fail "$1 and $2 differ:"
    diffoscope --no-progress --text - "$1" "$2" | head -n 300
  fi
}
shipped=$(cd "$dist" && ls)
[ "$(cd "$dir/dist" && ls)" = "$shipped" ] || fail "the rebuild made other files: $(ls "$dir/dist")"
for file in $shipped; do
  same "$dist/$file" "$dir/dist/$file"
done
same "$win32/win32/moonglow.scr" "$dir/builds/win32-i686/win32/moonglow.scr"
same "$win64/win32/moonglow.scr" "$dir/builds/win32-x86_64/win32/moonglow.scr"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux/CMakeCache.txt")
deb=$dist/moonglow_${version}_$(dpkg --print-architecture).deb
zip=$dist/moonglow-$version-windows.zip
[ -f "$deb" ] || fail "no $(basename "$deb") in dist/"
[ -f "$zip" ] || fail "no $(basename "$zip") in dist/"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match dist/"

# lintian: any error or warning fails; what else it says is shown.
lintian -I --pedantic --fail-on error,warning "$deb" >"$work/lintian" 2>&1 || {
  cat "$work/lintian"
  fail "lintian finds errors or warnings in the package"
}
grep -v 'running with root privileges' "$work/lintian" || echo "lintian: nothing to say"

# Debian 12's C start files (crt1.o, crti.o) carry no control-flow (CET)
# marks, so no program linked there can have them, and its dpkg-buildflags
# asks for none: that one check is left out.
dpkg-deb -x "$deb" "$work/root"
hardening-check --nocfprotection "$work/root/usr/bin/moonglow" || fail "hardening-check"

# The zip: the four files, the tested i686 saver among them.
unzip -q "$zip" -d "$work/zip" || fail "unzip"
members=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$members" = "LICENSE.txt README.txt RUNTIME-NOTICES.txt moonglow.scr " ] ||
  fail "the zip holds: $members"
cmp "$work/zip/moonglow.scr" "$win32/win32/moonglow.scr" ||
  fail "the zip's moonglow.scr is not the i686 build the tests ran"
grep -q "Moonglow $version" "$work/zip/README.txt" || fail "README.txt does not name version $version"
grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$work/zip/RUNTIME-NOTICES.txt" ||
  fail "RUNTIME-NOTICES.txt lacks the GCC run-time library exception"
grep -q 'winpthreads' "$work/zip/RUNTIME-NOTICES.txt" || fail "RUNTIME-NOTICES.txt lacks winpthreads' notice"

# The PE headers: no time stamp, loadable anywhere, data not executable.
for scr in "$work/zip/moonglow.scr:i686:pei-i386" "$win64/win32/moonglow.scr:x86_64:pei-x86-64"; do
  file=${scr%%:*} rest=${scr#*:}
  arch=${rest%%:*} format=${rest#*:}
  TZ=UTC "$arch-w64-mingw32-objdump" -p "$file" >"$work/pe" 2>&1 || { fail "objdump -p ($arch)"; continue; }
  grep -q "file format $format" "$work/pe" || fail "the $arch saver is not $format"
  grep -q '^Time/Date.*1970' "$work/pe" || fail "the $arch saver's header has a link time: $(grep Time/Date "$work/pe")"
  hex=$(awk '$1 == "DllCharacteristics" { print $2 }' "$work/pe")
  characteristics=$((0x${hex:-0}))
  [ $((characteristics & 0x40)) -ne 0 ] || fail "the $arch saver is not marked DYNAMIC_BASE"
  [ $((characteristics & 0x100)) -ne 0 ] || fail "the $arch saver is not marked NX_COMPAT"
done
i686-w64-mingw32-objcopy -O binary --only-section=.rsrc "$work/zip/moonglow.scr" "$work/rsrc" ||
  fail "no resources in the i686 saver"
grep -q 'Microsoft.Windows.Common-Controls' "$work/rsrc" || fail "the i686 saver has no manifest"
grep -q '<requestedExecutionLevel' "$work/rsrc" &&
  fail "the i686 saver's manifest asks for an execution level: Windows would stop redirecting its settings file"

# Installed and purged again, nothing of it stays.
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the package (needs root)"
elif dpkg-query -W -f='${Status}' moonglow 2>/dev/null | grep -q 'ok installed'; then
  echo "skipped: installing the package: a moonglow package is installed here already"
else
  # The folders the package shares with others, which must stay.
  dpkg-deb -c "$deb" | awk '$1 ~ /^d/ { sub(/^\./, "", $6); sub(/\/$/, "", $6); print $6 }' |
    while read -r folder; do [ -z "$folder" ] || [ ! -d "$folder" ] || echo "$folder"; done >"$work/before"
  if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt" 2>&1; then
    dpkg -L moonglow >"$work/listed"
    [ -x /usr/bin/moonglow ] || fail "apt install put no /usr/bin/moonglow"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq moonglow >>"$work/apt" 2>&1 ||
      { cat "$work/apt"; fail "apt-get purge moonglow"; }
    while read -r path; do
      [ "$path" = /. ] && continue
      if [ -e "$path" ] || [ -L "$path" ]; then
        grep -qxF "$path" "$work/before" || fail "left behind after the purge: $path"
      fi
    done <"$work/listed"
    echo "installed and purged: $(grep -c . "$work/listed") paths listed, none left behind"
  else
    cat "$work/apt"
    fail "apt-get install $deb"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "release $version checked: $(cd "$dist" && ls | tr '\n' ' ')"
