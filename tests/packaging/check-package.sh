#!/bin/sh
# Checks what the Debian package installs: the files it lists, the
# xscreensaver settings page, both desktop entries and the manual page, then
# builds the package with cpack and reads it back.
# Usage: check-package.sh SOURCE_DIR BUILD_DIR VERSION MODULE_DIR
# (MODULE_DIR: where the Qt module goes below the prefix)
# Exit 77 (skipped) when a tool it needs is missing.
set -eu

src=$1
build=$2
version=$3
moduledir=$4
pkg=$src/packaging

missing=
for tool in cpack dpkg-deb dpkg-shlibdeps xmllint desktop-file-validate man gzip; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
  echo "SKIPPED: missing tools:$missing (packages cmake, dpkg-dev, libxml2-utils, desktop-file-utils, man-db)"
  exit 77
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The settings page: well-formed, and in the format of xscreensaver's own
# pages. The installed pages are checked against the same schema so it cannot
# drift from what xscreensaver reads.
xmllint --noout "$pkg/moonglow.xml" || fail "moonglow.xml is not well-formed"
xmllint --noout --schema "$pkg/xscreensaver-config.xsd" "$pkg/moonglow.xml" 2>"$work/xsd" ||
  { cat "$work/xsd"; fail "moonglow.xml does not match xscreensaver's settings-page format"; }
installed=$(ls /usr/share/xscreensaver/config/*.xml 2>/dev/null || true)
if [ -n "$installed" ]; then
  # shellcheck disable=SC2086
  xmllint --noout --schema "$pkg/xscreensaver-config.xsd" $installed 2>"$work/xsd" ||
    { grep -v validates "$work/xsd"; fail "the schema refuses xscreensaver's own pages"; }
fi
grep -q '<command arg="--root"/>' "$pkg/moonglow.xml" || fail "the settings page does not run --root"
grep -q 'arg="--pixel-rate %"' "$pkg/moonglow.xml" || fail "no speed slider for --pixel-rate"

# Desktop entries: errors and warnings fail; hints pass (MATE needs the
# unregistered "Screensaver" category).
for entry in moonglow.desktop moonglow-screensaver.desktop; do
  if ! desktop-file-validate "$pkg/$entry" >"$work/dfv" 2>&1 ||
    grep -Eq 'error|warning' "$work/dfv"; then
    cat "$work/dfv"
    fail "$entry does not validate"
  fi
done

# The manual page renders without a single warning.
MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$pkg/moonglow.6" >/dev/null 2>"$work/man" ||
  fail "man cannot render moonglow.6"
if [ -s "$work/man" ]; then
  cat "$work/man"
  fail "moonglow.6 renders with warnings"
fi

# The package itself.
[ -x "$build/qt/moonglow" ] || { echo "FAIL: $build/qt/moonglow is not built"; exit 1; }
if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack" 2>&1); then
  cat "$work/cpack"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/out/moonglow_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
  ls "$work/out"
  echo "FAIL: no $deb"
  exit 1
fi

# Every file it installs, and nothing else: no tests, benchmarks or tools.
dpkg-deb -c "$deb" >"$work/listing"
awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 ($7 == "->" ? " -> " $8 : "") }' "$work/listing" |
  sort >"$work/files"
sort >"$work/expected" <<LIST
usr/bin/moonglow
usr/$moduledir/moonglow-qt.so
usr/libexec/xscreensaver/moonglow -> ../../bin/moonglow
usr/share/applications/moonglow.desktop
usr/share/applications/screensavers/moonglow.desktop
usr/share/doc/moonglow/changelog.gz
usr/share/doc/moonglow/copyright
usr/share/icons/hicolor/32x32/apps/moonglow.png
usr/share/man/man6/moonglow.6.gz
usr/share/xscreensaver/config/moonglow.xml
LIST
if ! diff -u "$work/expected" "$work/files"; then
  fail "the package's files differ from the list above"
fi
grep -q 'rwxr-xr-x .* ./usr/bin/moonglow$' "$work/listing" || fail "usr/bin/moonglow is not executable"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = moonglow ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = x11 ] || fail "Section: $(field Section)"
[ "$(field Suggests)" = "xscreensaver | xsecurelock, swayidle" ] || fail "Suggests: $(field Suggests)"
# Computed from the program's libraries and its Qt module's, not written by
# hand.
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libxcb1 libwayland-client0 libstdc++6 libc6; do
  field Depends | grep -q "$lib" || fail "Depends lacks $lib: $(field Depends)"
done

# The manual page in the package is the one checked above.
dpkg-deb -x "$deb" "$work/root"
gzip -dc "$work/root/usr/share/man/man6/moonglow.6.gz" | cmp -s - "$pkg/moonglow.6" ||
  fail "the packaged manual page differs from packaging/moonglow.6"
# So is the changelog: the one in the repository, not a copy.
gzip -dc "$work/root/usr/share/doc/moonglow/changelog.gz" | cmp -s - "$pkg/changelog" ||
  fail "the packaged changelog differs from packaging/changelog"

# The unpacked program finds its Qt module where the package put it: with no
# display, the Qt front end answers.
env -i PATH=/usr/bin:/bin HOME="$work" MOONGLOW_CONFIG_DIR="$work/config" \
  "$work/root/usr/bin/moonglow" /s >"$work/run" 2>&1 || :
grep -q '^moonglow: no display:' "$work/run" ||
  fail "the packaged program does not reach its Qt module: $(cat "$work/run")"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb") checked"
